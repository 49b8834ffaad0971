// SPDX-License-Identifier: Apache-2.0
// The shared log on flash, appended to by several processes under one semaphore.
#pragma once

#include <stdint.h>

#define OSA_LOG_PATH "/mnt/nand/debug.log"
#define OSA_LOG_KEY_PATH "/mnt/nand/"
#define OSA_LOG_KEY_ID 's'

int OSA_logInit(void);
int OSA_log(const void* data, uint32_t len);
int OSA_logOpen(void);
int OSA_logClose(void);
int OSA_logExit(void);

// How long a blocked append waits for a semaphore whose holder has died before taking
// it over, and how long it waits for a live holder at most. Tests shorten them.
extern int g_osa_log_stale_ms;
extern int g_osa_log_max_wait_ms;
