// SPDX-License-Identifier: Apache-2.0
// Preloaded in end-to-end tests (sim/camera): answers the MTD bad-block request for
// the simulated camera's flash partitions, which are regular files there, the way the
// kernel's MTD layer would for a flash with the bad blocks the test names.
//
//   MTD_SHIM="mtd1@0x20000,mtd2@*,mtd3!0x40000"
//
// "@OFFSET": that erase block is bad; "@*": every block of the partition is bad;
// "!OFFSET": the request for that block fails (-1, EIO). Other blocks are good.
// Without MTD_SHIM, and for every other request, the real ioctl answers.
#include <dlfcn.h>
#include <errno.h>
#include <mtd/mtd-user.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

enum Answer { GOOD, BAD, FAIL };

// What the test said about one block of the partition whose device path is `dev`.
Answer lookup(const char* dev, long long offset) {
    const char* rules = getenv("MTD_SHIM");
    const char* base = strrchr(dev, '/');
    base = base != nullptr ? base + 1 : dev;
    size_t base_len = strlen(base);
    while (rules != nullptr && *rules != '\0') {
        size_t len = strcspn(rules, ",");
        size_t name_len = strcspn(rules, "@!");
        if (name_len < len && name_len == base_len && strncmp(rules, base, name_len) == 0) {
            char kind = rules[name_len];
            const char* value = rules + name_len + 1;
            if (kind == '@' && *value == '*') {
                return BAD;
            }
            if (strtoll(value, nullptr, 0) == offset) {
                return kind == '@' ? BAD : FAIL;
            }
        }
        rules += len;
        if (*rules == ',') {
            rules++;
        }
    }
    return GOOD;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (request == MEMGETBADBLOCK && getenv("MTD_SHIM") != nullptr) {
        char link[64];
        char dev[256];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t n = readlink(link, dev, sizeof dev - 1);
        if (n > 0) {
            dev[n] = '\0';
            if (strncmp(dev, "/dev/mtd", 8) == 0) {
                switch (lookup(dev, *static_cast<long long*>(arg))) {
                    case BAD:
                        return 1;
                    case FAIL:
                        errno = EIO;
                        return -1;
                    case GOOD:
                        return 0;
                }
            }
        }
    }
    using ioctl_fn = int (*)(int, unsigned long, void*);
    static ioctl_fn real = reinterpret_cast<ioctl_fn>(dlsym(RTLD_NEXT, "ioctl"));
    return real(fd, request, arg);
}
