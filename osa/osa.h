// SPDX-License-Identifier: Apache-2.0
// Platform support layer: print lock, System V semaphores, time and sleep.
#pragma once

#include <pthread.h>
#include <stdint.h>
#include <sys/types.h>

#include "osa/osa_log.h"
#include "osa/osa_mutex.h"
#include "osa/osa_print.h"

// Serialises every write to standard output (one lock per output call).
extern pthread_mutex_t g_print_lock;

int OSA_init(void);
int OSA_exit(void);

// Handle of an open System V semaphore set.
struct OSA_IpcSem {
    int semId;
    unsigned int numSems;
    int maxVal;
};

enum { OSA_IPC_CREATE = 1 };

key_t OSA_ipcMakeKey(const char* path, int id);
int OSA_ipcSemOpen(OSA_IpcSem* sem, key_t key, unsigned int numSems, unsigned int initVal,
                   unsigned int maxVal, int flags);
int OSA_ipcSemWait(OSA_IpcSem* sem, unsigned int index, int wait);
int OSA_ipcSemPost(OSA_IpcSem* sem, unsigned int index, int wait);
int OSA_ipcSemGetVal(OSA_IpcSem* sem, unsigned int index);

// Whether the process has been asked to stop (a technician's Ctrl-C). The stop flag is
// the framework's, which this layer cannot see, so the framework hands it this query at
// start-up; a wait that could last for ever asks it between its slices. Until a query
// is set, nothing asks to stop.
void OSA_setStopQuery(int (*stop_requested)(void));
int OSA_stopRequested(void);

// Milliseconds of a monotonic clock, reduced to 32 bits; take differences as int32_t.
int OSA_getTimeMs(void);
// One nanosleep; a signal handler running during it ends it early.
void OSA_sleepMillis(uint32_t ms);

// Exported for code outside the program; nothing inside calls it.
extern "C" int CheckIPAddr(const char* ip);
