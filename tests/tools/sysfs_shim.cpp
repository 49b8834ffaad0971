// SPDX-License-Identifier: Apache-2.0
// Preloaded into the simulated camera's processes: gives the plain files that stand in
// for the kernel's sysfs GPIO and PWM trees the kernel's answers to writes (Linux 6.1,
// gpiolib-sysfs and the PWM core's sysfs interface), so that what the program meets
// there is what it meets on the camera:
//
//   /sys/class/gpio/export          a line already exported: EBUSY; one the chip lacks
//                                   (no gpioN folder, or not a number): EINVAL
//   /sys/class/gpio/gpioN/direction "high", "low", "out" make it an output at that level
//                                   (direction then reads "out"), "in" an input; else EINVAL
//   /sys/class/gpio/gpioN/value     EPERM while the line is an input; reads "0\n" or "1\n"
//   /sys/class/pwm/pwmchipN/export  a channel already exported: EBUSY; one at or past
//                                   npwm, or missing: ENODEV
//   .../pwmM/period, duty_cycle     EINVAL when the channel would be left with no period
//   .../pwmM/enable                 or a duty cycle longer than it; enable takes 0 or 1
//
// The tree is laid out with every line and channel exported already (sim/fixtures), so
// a missing one is one the chip does not have. An attribute holds what the kernel would
// show, newline included, and a write replaces it whole: O_TRUNC is ignored on open, as
// sysfs ignores it, so that a refused write leaves the old value. What export and
// unexport were last given is kept in them for a test to see. Everything else goes to
// the real calls.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kGpio[] = "/sys/class/gpio/";
const char kPwm[] = "/sys/class/pwm/pwmchip";

template <typename Fn>
Fn real(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

ssize_t real_write(int fd, const void* buf, size_t len) {
    static auto fn = real<ssize_t (*)(int, const void*, size_t)>("write");
    return fn(fd, buf, len);
}

bool starts(const char* s, const char* prefix) {
    return strncmp(s, prefix, strlen(prefix)) == 0;
}

bool emulated(const char* path) {
    return path != nullptr && (starts(path, kGpio) || starts(path, kPwm));
}

// Replaces the whole file with the text (a plain file standing in for an attribute).
bool put(const char* path, const char* text) {
    static auto open_fn = real<int (*)(const char*, int, ...)>("open");
    int fd = open_fn(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    size_t len = strlen(text);
    bool ok = real_write(fd, text, len) == static_cast<ssize_t>(len);
    close(fd);
    return ok;
}

bool get(const char* path, char* buf, size_t size) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ssize_t n = read(fd, buf, size - 1);
    close(fd);
    buf[n > 0 ? n : 0] = '\0';
    return n >= 0;
}

// The kernel's kstrto*: base 0, one trailing newline allowed, nothing else.
bool number(const char* text, long long* value) {
    char* end = nullptr;
    errno = 0;
    *value = strtoll(text, &end, 0);
    return end != text && errno == 0 && (*end == '\0' || (end[0] == '\n' && end[1] == '\0'));
}

// sysfs_streq: equal but for one trailing newline on either side.
bool streq(const char* text, const char* word) {
    size_t n = strlen(word);
    return strncmp(text, word, n) == 0 && (text[n] == '\0' || (text[n] == '\n' && text[n + 1] == '\0'));
}

bool exists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0;
}

// The folder of an attribute, and a sibling attribute's path.
void sibling(char (&out)[512], const char* path, const char* name) {
    const char* slash = strrchr(path, '/');
    snprintf(out, sizeof out, "%.*s/%s", static_cast<int>(slash - path), path, name);
}

int gpio_write(const char* path, const char* attr, const char* text) {
    long long n = 0;
    char other[512];
    if (strcmp(attr, "export") == 0) {
        put(path, text);
        if (!number(text, &n)) {
            return EINVAL;
        }
        snprintf(other, sizeof other, "%sgpio%lld", kGpio, n);
        return exists(other) ? EBUSY : EINVAL;
    }
    if (strcmp(attr, "direction") == 0) {
        const char* level = streq(text, "high")                          ? "1\n"
                            : (streq(text, "low") || streq(text, "out")) ? "0\n"
                                                                         : nullptr;
        if (level != nullptr) {
            sibling(other, path, "value");
            put(other, level);
            put(path, "out\n");
            return 0;
        }
        return streq(text, "in") && put(path, "in\n") ? 0 : EINVAL;
    }
    if (strcmp(attr, "value") == 0) {
        char direction[16];
        sibling(other, path, "direction");
        if (!get(other, direction, sizeof direction) || !streq(direction, "out")) {
            return EPERM;
        }
        if (!number(text, &n)) {
            return EINVAL;
        }
        put(path, n != 0 ? "1\n" : "0\n");
        return 0;
    }
    put(path, text);
    return 0;
}

long long attr_number(const char* path, const char* name) {
    char other[512];
    char text[32];
    long long value = 0;
    sibling(other, path, name);
    return get(other, text, sizeof text) && number(text, &value) ? value : 0;
}

int pwm_write(const char* path, const char* attr, const char* text) {
    long long n = 0;
    char channel[512];
    if (strcmp(attr, "export") == 0) {
        put(path, text);
        if (!number(text, &n) || n < 0 || n >= attr_number(path, "npwm")) {
            return n < 0 ? EINVAL : ENODEV;
        }
        char name[32];
        snprintf(name, sizeof name, "pwm%lld", n);
        sibling(channel, path, name);
        return exists(channel) ? EBUSY : ENODEV;
    }
    bool period = strcmp(attr, "period") == 0;
    bool duty = strcmp(attr, "duty_cycle") == 0;
    bool enable = strcmp(attr, "enable") == 0;
    if (!period && !duty && !enable) {
        put(path, text);
        return 0;
    }
    if (!number(text, &n) || n < 0 || (enable && n > 1)) {
        return EINVAL;
    }
    // Every write applies the whole state, which must keep a period and a duty cycle
    // no longer than it.
    long long new_period = period ? n : attr_number(path, "period");
    long long new_duty = duty ? n : attr_number(path, "duty_cycle");
    if (new_period == 0 || new_duty > new_period) {
        return EINVAL;
    }
    char shown[32];
    snprintf(shown, sizeof shown, "%lld\n", n);
    put(path, shown);
    return 0;
}

// The kernel's answer to a write of the text to the emulated attribute: 0 or an errno.
int sysfs_write(const char* path, const char* text) {
    const char* attr = strrchr(path, '/') + 1;
    return starts(path, kGpio) ? gpio_write(path, attr, text) : pwm_write(path, attr, text);
}

int strip_trunc(const char* path, int flags) {
    return emulated(path) ? flags & ~O_TRUNC : flags;
}

// A cross build's program gets the shim under the emulator (KERNEL_SHIM_EMULATED set
// beside LD_PRELOAD for it alone); the shell commands it starts are the host's, which
// cannot load this build of it, so they do not inherit it.
__attribute__((constructor)) void leave_children_alone() {
    if (getenv("KERNEL_SHIM_EMULATED") != nullptr) {
        unsetenv("LD_PRELOAD");
        unsetenv("KERNEL_SHIM_EMULATED");
    }
}

}  // namespace

extern "C" ssize_t write(int fd, const void* buf, size_t len) {
    // Attributes take short texts: anything longer is not for them.
    if (len >= 64) {
        return real_write(fd, buf, len);
    }
    char link[64];
    char path[512];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0) {
        return real_write(fd, buf, len);
    }
    path[n] = '\0';
    if (!emulated(path)) {
        return real_write(fd, buf, len);
    }
    char text[64];
    memcpy(text, buf, len);
    text[len] = '\0';
    int err = sysfs_write(path, text);
    if (err != 0) {
        errno = err;
        return -1;
    }
    return static_cast<ssize_t>(len);
}

// open and open64 are handed a mode only when they may create the file.
static mode_t creation_mode(int flags, va_list ap) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(ap, mode_t) : 0;
}

extern "C" int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = creation_mode(flags, ap);
    va_end(ap);
    static auto fn = real<int (*)(const char*, int, ...)>("open");
    return fn(path, strip_trunc(path, flags), mode);
}

extern "C" int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = creation_mode(flags, ap);
    va_end(ap);
    static auto fn = real<int (*)(const char*, int, ...)>("open64");
    return fn(path, strip_trunc(path, flags), mode);
}
