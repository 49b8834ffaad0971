// SPDX-License-Identifier: Apache-2.0
// Small helpers the unit tests share.
#pragma once

#include <dirent.h>
#include <stdlib.h>

#include <string>

// How many descriptors the process has open now: a library under test must leave as
// many as it found.
inline int open_fd_count() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (readdir(d) != nullptr) {
        n++;
    }
    closedir(d);
    return n;
}

// A fresh folder under /tmp named after the test's subject; empty on failure.
inline std::string make_temp_dir(const char* subject) {
    std::string tmpl = std::string("/tmp/") + subject + "_XXXXXX";
    return mkdtemp(&tmpl[0]) != nullptr ? tmpl : std::string();
}
