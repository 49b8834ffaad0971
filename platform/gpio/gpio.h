// SPDX-License-Identifier: Apache-2.0
// GPIO lines of the board, over the kernel's sysfs GPIO interface.
#pragma once

extern "C" {

// The board's pin table: line numbers of the board's signals, by the indexes below.
extern int extGpio[];
extern const int extGpioCount;

enum {
    EXT_GPIO_IR_CUT = 4,  // IR-cut filter
    EXT_GPIO_IR_LED = 5,  // IR illuminator
};

// The line's level (0 or 1), or -1. Exports the line when needed; never changes its direction.
int gpio_read(int gpio);
// Drives the line as an output at the level (any non-zero level is 1); 0, or -1.
int gpio_write(int gpio, int level);
// Makes the line an input (exporting it when needed) and returns its level, or -1.
int gpio_set_input(int gpio);
// Releases nothing: lines stay exported and keep their level after the process ends.
int gpio_close(void);
}

// Where the sysfs GPIO tree is; tests point it at a folder.
void gpio_set_sysfs_root(const char* root);
