// SPDX-License-Identifier: Apache-2.0
// The cpu monitor's readers on any text: the input is two readings of /proc/stat
// (split at the first NUL byte), each also read as /proc/self/stat. Whatever the
// counters say, every share printed is a number from 0 to 100.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz/input_stream.h"
#include "modules/tq_cpu.h"

static bool read_counters(const uint8_t* data, size_t size, cpu_counters* cur) {
    if (size == 0) {
        return false;
    }
    // The process times are not printed: their reader only has to stand any text.
    InputStream self(data, size);
    cpu_read_self_stat(self.get(), cur);
    InputStream stat(data, size);
    return cpu_read_stat(stat.get(), cur) == 0;
}

static void check_share(double share, const char* what) {
    // A share is a part over a whole that holds it; rounding may pass 100 by an ulp.
    if (!(share >= -1e-9 && share <= 100.0 + 1e-9)) {
        fprintf(stderr, "cpu counters: %s share %f out of 0..100\n", what, share);
        abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* split = static_cast<const uint8_t*>(memchr(data, '\0', size));
    if (split == nullptr) {
        return 0;
    }
    size_t first = static_cast<size_t>(split - data);
    cpu_counters before = {};
    cpu_counters after = {};
    if (!read_counters(data, first, &before) || !read_counters(split + 1, size - first - 1, &after)) {
        return 0;
    }
    cpu_counters prev = {};
    cpu_load load = {};
    cpu_update(&prev, before, &load);
    cpu_update(&prev, after, &load);
    check_share(load.cpu, "busy");
    check_share(load.sys, "sys");
    check_share(load.user, "user");
    check_share(load.iowait, "wait");
    check_share(load.steal, "steal");
    return 0;
}
