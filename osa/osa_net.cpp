// SPDX-License-Identifier: Apache-2.0
#include <stdio.h>

#include "osa/osa.h"

extern "C" __attribute__((visibility("default"), used)) int CheckIPAddr(const char* ip) {
    if (ip == nullptr) {
        return 0;
    }
    int n[4];
    char sep[4];
    int got = sscanf(ip, "%d%c%d%c%d%c%d%c", &n[0], &sep[0], &n[1], &sep[1], &n[2], &sep[2], &n[3], &sep[3]);
    if (got != 7) {
        return 0;
    }
    for (int i = 0; i < 3; i++) {
        if (sep[i] != '.') {
            return 0;
        }
    }
    for (int i = 0; i < 4; i++) {
        if (n[i] < 0 || n[i] > 255) {
            return 0;
        }
    }
    return 1;
}
