// GPIO lines of the board, over the kernel's sysfs GPIO interface.
#pragma once

extern "C" {

// The board's pin table: line numbers of the board's signals. Entry 4 is the IR-cut line.
extern int extGpio[];
extern const int extGpioCount;

// The line's level (0 or 1), or -1. Exports the line when needed; never changes its direction.
int gpio_read(int gpio);
// Drives the line as an output at the level (any non-zero level is 1); 0, or -1.
int gpio_write(int gpio, int level);
// Releases nothing: lines stay exported and keep their level after the process ends.
int gpio_close(void);
}

// Where the sysfs GPIO tree is; tests point it at a folder.
void gpio_set_sysfs_root(const char* root);
