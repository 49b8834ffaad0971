// SPDX-License-Identifier: Apache-2.0
#include "osa/osa.h"

#include <errno.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <time.h>

pthread_mutex_t g_print_lock;

static int (*s_stop_query)(void) = nullptr;

int OSA_init(void) {
    int ret = OSA_mutexCreate(&g_print_lock);
    if (ret != 0) {
        OSA_ERROR("osa", "OSA_init", "OSA_mutexCreate()\n");
    }
    return ret;
}

int OSA_exit(void) {
    OSA_mutexDelete(&g_print_lock);
    return 0;
}

key_t OSA_ipcMakeKey(const char* path, int id) {
    return ftok(path, id & 0xff);
}

int OSA_ipcSemOpen(OSA_IpcSem* sem, key_t key, unsigned int numSems, unsigned int initVal,
                   unsigned int maxVal, int flags) {
    sem->numSems = numSems;
    sem->maxVal = static_cast<int>(maxVal);
    if (initVal > maxVal) {
        initVal = maxVal;
    }
    if (flags & OSA_IPC_CREATE) {
        if (numSems > 32) {
            return -1;
        }
        sem->semId = semget(key, static_cast<int>(numSems), IPC_CREAT | IPC_EXCL | 0666);
        if (sem->semId < 0) {
            return -1;
        }
        for (unsigned int i = 0; i < numSems; i++) {
            semctl(sem->semId, static_cast<int>(i), SETVAL, static_cast<int>(initVal));
        }
    } else {
        sem->semId = semget(key, 0, 0666);
    }
    return sem->semId >= 0 ? 0 : -1;
}

static int sem_step(OSA_IpcSem* sem, unsigned int index, short op, int wait) {
    struct sembuf sb;
    sb.sem_num = static_cast<unsigned short>(index);
    sb.sem_op = op;
    sb.sem_flg = wait == 0 ? IPC_NOWAIT : 0;
    return semop(sem->semId, &sb, 1) < 0 ? -1 : 0;
}

int OSA_ipcSemWait(OSA_IpcSem* sem, unsigned int index, int wait) {
    if (index > sem->numSems - 1) {
        return -1;
    }
    return sem_step(sem, index, -1, wait);
}

int OSA_ipcSemPost(OSA_IpcSem* sem, unsigned int index, int wait) {
    if (index > sem->numSems - 1) {
        return -1;
    }
    if (OSA_ipcSemGetVal(sem, index) >= sem->maxVal) {
        return 0;
    }
    return sem_step(sem, index, 1, wait);
}

int OSA_ipcSemGetVal(OSA_IpcSem* sem, unsigned int index) {
    return semctl(sem->semId, static_cast<int>(index), GETVAL);
}

void OSA_setStopQuery(int (*stop_requested)(void)) {
    s_stop_query = stop_requested;
}

int OSA_stopRequested(void) {
    return s_stop_query != nullptr && s_stop_query() != 0;
}

// Callers measure durations, so the clock must not jump when the camera sets its
// time (NTP, the main application's clock sync); the monotonic clock never does.
int OSA_getTimeMs(void) {
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
        return 0;
    }
    uint32_t ms = static_cast<uint32_t>(ts.tv_sec) * 1000u + static_cast<uint32_t>(ts.tv_nsec / 1000000);
    return static_cast<int>(ms);
}

void OSA_sleepMillis(uint32_t ms) {
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    nanosleep(&ts, nullptr);
}
