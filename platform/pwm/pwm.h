// SPDX-License-Identifier: Apache-2.0
// PWM channels of the board, over the kernel's sysfs PWM interface (pwmchip0).
#pragma once

extern "C" {

// Prints the channel's period, duty cycle (ns and %) and enable state; 0, or -1.
int pwm_read(int channel);
// Programs the channel: period in nanoseconds, duty in tenths of a percent (1000 is
// the whole period), then enables it; 0, or -1.
int pwm_write(int channel, int period, int duty);
// Releases nothing: channels stay exported and keep running after the process ends.
int pwm_close(void);
}

// Where the PWM chip's sysfs folder is; tests point it at a folder.
void pwm_set_sysfs_root(const char* root);
