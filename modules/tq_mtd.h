// SPDX-License-Identifier: Apache-2.0
// The raw-flash bad-block check: the partition table and its steps.
#pragma once

#include <stdint.h>
#include <stdio.h>

#define MTD_PART_MAX 16
#define MTD_BAD_MAX 128
#define MTD_TEXT_SIZE 32
// The smallest erase block of any flash the kernel's MTD layer drives (serial
// data-flash pages); a smaller listed erase size cannot be a real one.
#define MTD_MIN_ERASE_SIZE 256

struct mtd_part {
    char dev[MTD_TEXT_SIZE];   // "/dev/<device name>"
    uint32_t offset;           // flash address: sum of the sizes listed before
    uint32_t size;             // bytes
    uint32_t erasesize;        // bytes
    char name[MTD_TEXT_SIZE];  // name token as listed, quotation marks included
    uint32_t bad_count;        // every bad block found, also those past MTD_BAD_MAX
    uint32_t bad_addr[MTD_BAD_MAX];
};

extern mtd_part mtd_parts[MTD_PART_MAX];
extern int mtd_part_count;

int mtd_init_param(int argc, char** argv);
int tq_badblock_check(void);

// One "/proc/mtd" line: "<device>: <size hex> <erase size hex> <name>". Fills dev,
// size, erasesize and name (a name too long for the record keeps its start); false
// when the line does not have that form or the device path does not fit.
bool mtd_parse_line(const char* line, mtd_part* part);
// Reads the partition table from the stream into mtd_parts.
void mtd_load_parts(FILE* fp);
// Asks the kernel about every erase block of one partition.
void mtd_scan_part(mtd_part* part);
// Prints the bad blocks of every partition and the total.
void mtd_report(void);
