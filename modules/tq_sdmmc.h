// SPDX-License-Identifier: Apache-2.0
// The SD-card module's state and steps.
#pragma once

#include <stdint.h>

extern const char* sdmmc_dev;
extern uint32_t sdmmc_file_size;
extern uint32_t sdmmc_file_num;

int sdmmc_init_param(int argc, char** argv);
int sdmmc_check_device(void);
// The four figures of the info action, from a file system's block size and its total
// and free block counts.
void sdmmc_print_figures(uint64_t block_size, uint64_t blocks, uint64_t free_blocks);
