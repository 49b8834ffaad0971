// SPDX-License-Identifier: Apache-2.0
// The mtd module: lists the bad erase blocks of every raw-flash partition. It only
// asks; it never marks or erases a block.
#include "modules/tq_mtd.h"

#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <mtd/mtd-user.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>

#include "framework/module.h"
#include "framework/test.h"
#include "framework/usage.h"
#include "osa/osa.h"
#include "platform/common/unique_fd.h"

#define MTD_MODULE_ID 23
#define MTD_PROC_PATH "/proc/mtd"

static_assert(MEMGETBADBLOCK == 0x40084d0b, "the MTD user interface's bad-block request");

mtd_part mtd_parts[MTD_PART_MAX];
int mtd_part_count;

// clang-format off
constexpr auto kMtdOptions = option_table("module name: mtd", {
    {"badblock", required_argument, 'b', "1", "cat badblock info"},
});
// clang-format on

static int mtd_usage(void) {
    return print_module_usage(MTD_MODULE_ID, kMtdOptions);
}

// Its own loop, not option_loop: a bad option is reported and the loop goes on.
int mtd_init_param(int argc, char** argv) {
    int result = -1;
    int opt;
    while ((opt = getopt_long(argc, argv, kMtdOptions.short_options, kMtdOptions.longopts, nullptr)) != -1) {
        if (opt == 'M') {
            continue;
        }
        if (opt == 'b') {
            if (atoi(optarg) == 1) {
                result = 0;
            }
            continue;
        }
        OSA_ERROR("tq_mtd", "mtd_init_param", "Unknow option\n");
        mtd_usage();
    }
    return result;
}

// A hexadecimal field as the kernel prints it; false when there is none or it does not
// fit 32 bits.
static bool mtd_parse_hex(const char** p, uint32_t* value) {
    char* end;
    errno = 0;
    unsigned long long v = strtoull(*p, &end, 16);
    if (end == *p || errno != 0 || v > UINT32_MAX || **p == '-') {
        return false;
    }
    *value = static_cast<uint32_t>(v);
    *p = end;
    return true;
}

bool mtd_parse_line(const char* line, mtd_part* part) {
    const char* colon = strchr(line, ':');
    if (colon == nullptr || colon == line) {
        return false;
    }
    int dev_len = static_cast<int>(colon - line);
    if (snprintf(part->dev, sizeof part->dev, "/dev/%.*s", dev_len, line) >=
        static_cast<int>(sizeof part->dev)) {
        return false;
    }
    const char* p = colon + 1;
    while (*p == ' ' || *p == '\t') {
        p++;
    }
    if (!mtd_parse_hex(&p, &part->size)) {
        return false;
    }
    while (*p == ' ' || *p == '\t') {
        p++;
    }
    if (!mtd_parse_hex(&p, &part->erasesize)) {
        return false;
    }
    // The name is the next blank-delimited token, quotation marks included; a name
    // with a blank keeps its first word, and one too long for the record its start:
    // the partition is still checked, and later offsets still count its size.
    p += strspn(p, " \t");
    size_t name_len = strcspn(p, " \t\r\n");
    if (name_len == 0) {
        return false;
    }
    if (name_len >= sizeof part->name) {
        name_len = sizeof part->name - 1;
    }
    memcpy(part->name, p, name_len);
    part->name[name_len] = '\0';
    return true;
}

// Reads one line into the buffer, its end cut off. Whatever does not fit is read and
// dropped, so that the tail of a long line is never taken for a line of its own; all
// the fields are near its start.
static bool mtd_read_line(FILE* fp, char (&line)[1024]) {
    if (fgets(line, sizeof line, fp) == nullptr) {
        return false;
    }
    size_t len = strlen(line);
    if (len > 0 && line[len - 1] == '\n') {
        line[len - 1] = '\0';
        return true;
    }
    int c;
    while ((c = getc(fp)) != EOF && c != '\n') {
    }
    return true;
}

void mtd_load_parts(FILE* fp) {
    char line[1024];
    uint32_t next_offset = 0;
    mtd_part_count = 0;
    while (mtd_read_line(fp, line)) {
        if (strstr(line, "mtd") == nullptr) {
            continue;
        }
        mtd_part part;
        memset(&part, 0, sizeof part);
        if (!mtd_parse_line(line, &part)) {
            OSA_ERROR("tq_mtd", "tq_badblock_check", "%s line not understood, skipped: %s\n", MTD_PROC_PATH,
                      line);
            continue;
        }
        part.offset = next_offset;
        next_offset += part.size;
        if (mtd_part_count == MTD_PART_MAX) {
            OSA_ERROR("tq_mtd", "tq_badblock_check", "more than %d partitions, %s not checked\n",
                      MTD_PART_MAX, part.dev);
            continue;
        }
        mtd_parts[mtd_part_count++] = part;
    }
}

void mtd_scan_part(mtd_part* part) {
    part->bad_count = 0;
    // An erase size of 0 would never move on to the next block, and one below the
    // smallest erase block of any flash only makes billions of requests for nothing.
    // Such a partition is not checked, but it keeps its place in the flash map.
    if (part->erasesize < MTD_MIN_ERASE_SIZE) {
        OSA_ERROR("tq_mtd", "tq_badblock_check", "%s erase size is %#x, not checked\n", part->dev,
                  part->erasesize);
        return;
    }
    UniqueFd fd(open(part->dev, O_RDONLY | O_CLOEXEC));
    if (!fd) {
        OSA_ERROR("tq_mtd", "tq_badblock_check", "%s open failed\n", part->dev);
        return;
    }
    // 64-bit, so that the last block of a partition that ends at 4 GiB does not wrap
    // the offset back to 0.
    for (uint64_t o = 0; o < part->size; o += part->erasesize) {
        loff_t block = static_cast<loff_t>(o);
        // A stop request ends the scan as an interrupted request would: this partition
        // and every one after it say they were not checked to the end, and the blocks
        // found so far are still reported.
        int ret = g_exit_flag != 0 ? -1 : ioctl(fd.get(), MEMGETBADBLOCK, &block);
        if (ret < 0) {
            OSA_printf("ioctl MEMGETBADBLOCK failed, %s, error=%d\n", part->dev, ret);
            break;
        }
        if (ret > 0) {
            if (part->bad_count < MTD_BAD_MAX) {
                part->bad_addr[part->bad_count] = part->offset + static_cast<uint32_t>(o);
            }
            part->bad_count++;
        }
    }
    if (part->bad_count > MTD_BAD_MAX) {
        OSA_ERROR("tq_mtd", "tq_badblock_check", "%s has %u bad blocks, the first %d are listed\n", part->dev,
                  part->bad_count, MTD_BAD_MAX);
    }
}

void mtd_report(void) {
    uint32_t total = 0;
    for (int i = 0; i < mtd_part_count; i++) {
        const mtd_part& part = mtd_parts[i];
        if (part.bad_count == 0) {
            continue;
        }
        OSA_printf("%s (%s) : \n", part.dev, part.name);
        uint32_t listed = part.bad_count < MTD_BAD_MAX ? part.bad_count : MTD_BAD_MAX;
        for (uint32_t k = 0; k < listed; k++) {
            OSA_printf("Bad block found at : %08x\n", part.bad_addr[k]);
        }
        total += part.bad_count;
    }
    OSA_printf("\nTotal bad block : %d\n", static_cast<int>(total));
}

int tq_badblock_check(void) {
    {
        UniqueFile fp(fopen(MTD_PROC_PATH, "re"));
        if (!fp) {
            OSA_ERROR("tq_mtd", "tq_badblock_check", "%s open failed\n", MTD_PROC_PATH);
            return -1;
        }
        mtd_load_parts(fp.get());
    }
    for (int i = 0; i < mtd_part_count; i++) {
        mtd_scan_part(&mtd_parts[i]);
    }
    mtd_report();
    return 0;
}

static int mtd_test_main(int argc, char** argv) {
    if (mtd_init_param(argc, argv) < 0) {
        return -1;
    }
    tq_badblock_check();
    return 0;
}

// Nothing stays open between runs, so there is nothing to release.
static int mtd_exit(void) {
    return 0;
}

MODULE_REGISTRATION(mtd, MTD_MODULE_ID, mtd_exit, kMtdOptions)
