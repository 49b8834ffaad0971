// SPDX-License-Identifier: Apache-2.0
// Appends records to the shared log the way the program does, for tests and the
// benchmark that run several processes at once.
//
//   osa_log_driver append COUNT TAG     COUNT records "TAG NNNNNN\n", one OSA_log each
//   osa_log_driver reopen TAG           append, OSA_logExit, append again
//   osa_log_driver hold                 take the log semaphore and die holding it
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sem.h>

#include "osa/osa.h"

static int append(const char* tag, int i) {
    char rec[64];
    int n = snprintf(rec, sizeof rec, "%s %06d\n", tag, i);
    return OSA_log(rec, static_cast<uint32_t>(n));
}

int main(int argc, char** argv) {
    if (argc >= 4 && strcmp(argv[1], "append") == 0) {
        int count = atoi(argv[2]);
        int failed = 0;
        for (int i = 0; i < count; i++) {
            failed += append(argv[3], i) != 0;
        }
        return failed != 0;
    }
    if (argc >= 3 && strcmp(argv[1], "reopen") == 0) {
        int r = append(argv[2], 0);
        OSA_logExit();
        r |= append(argv[2], 1);
        return r != 0;
    }
    if (argc >= 2 && strcmp(argv[1], "hold") == 0) {
        if (OSA_logInit() != 0) {
            return 1;
        }
        OSA_IpcSem sem{};
        if (OSA_ipcSemOpen(&sem, OSA_ipcMakeKey(OSA_LOG_KEY_PATH, OSA_LOG_KEY_ID), 1, 0, 1, 0) != 0) {
            return 1;
        }
        return OSA_ipcSemWait(&sem, 0, -1) == 0 ? 0 : 1;
    }
    fprintf(stderr, "usage: osa_log_driver append COUNT TAG | reopen TAG | hold\n");
    return 2;
}
