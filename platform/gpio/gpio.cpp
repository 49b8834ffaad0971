// SPDX-License-Identifier: Apache-2.0
#include "platform/gpio/gpio.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "platform/common/unique_fd.h"

static const char* const kDefaultSysfsRoot = "/sys/class/gpio";

// Board signals by index; index 4 is the IR-cut filter's line.
int extGpio[] = {
    0,   // system reset button
    1,   // status LED
    2,   // Wi-Fi power
    3,   // speaker amplifier enable
    55,  // IR-cut filter
    56,  // IR LED
    60,  // SD-card detect
    61,  // alarm input
};
const int extGpioCount = sizeof extGpio / sizeof extGpio[0];

static char s_root[128] = "/sys/class/gpio";

void gpio_set_sysfs_root(const char* root) {
    snprintf(s_root, sizeof s_root, "%s", root != nullptr ? root : kDefaultSysfsRoot);
}

// O_TRUNC: sysfs ignores it, but a value shorter than the one before ("low" after
// "high") must not leave the old tail behind in a tree of plain files.
static int write_text(const char* path, const char* text) {
    UniqueFd fd(open(path, O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!fd) {
        return -1;
    }
    size_t len = strlen(text);
    return write(fd.get(), text, len) == static_cast<ssize_t>(len) ? 0 : -1;
}

static int read_text(const char* path, char* buf, size_t size) {
    UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return -1;
    }
    ssize_t n = read(fd.get(), buf, size - 1);
    if (n < 0) {
        return -1;
    }
    buf[n] = '\0';
    return 0;
}

// A path cut to the buffer would name some other file: refuse it instead.
static bool line_path(char (&buf)[192], int gpio, const char* attr) {
    int n = snprintf(buf, sizeof buf, "%s/gpio%d/%s", s_root, gpio, attr);
    return n > 0 && static_cast<size_t>(n) < sizeof buf;
}

static int export_line(int gpio) {
    if (gpio < 0) {
        return -1;
    }
    char path[192];
    if (!line_path(path, gpio, "value")) {
        return -1;
    }
    if (access(path, F_OK) == 0) {
        return 0;
    }
    char export_path[192];
    int n = snprintf(export_path, sizeof export_path, "%s/export", s_root);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof export_path) {
        return -1;
    }
    char number[16];
    snprintf(number, sizeof number, "%d", gpio);
    // EBUSY: exported already, by someone else since the look above; so it is there.
    if (write_text(export_path, number) != 0 && errno != EBUSY) {
        return -1;
    }
    return access(path, F_OK) == 0 ? 0 : -1;
}

static int read_level(int gpio) {
    char path[192];
    char text[16];
    if (!line_path(path, gpio, "value") || read_text(path, text, sizeof text) != 0) {
        return -1;
    }
    // The kernel gives "0\n" or "1\n"; anything else ("12", "1x") is no level.
    if ((text[0] != '0' && text[0] != '1') || (text[1] != '\0' && strcmp(text + 1, "\n") != 0)) {
        return -1;
    }
    return text[0] - '0';
}

int gpio_read(int gpio) {
    if (export_line(gpio) != 0) {
        return -1;
    }
    return read_level(gpio);
}

int gpio_write(int gpio, int level) {
    if (export_line(gpio) != 0) {
        return -1;
    }
    const bool high = level != 0;
    char path[192];
    char direction[16];
    if (!line_path(path, gpio, "direction")) {
        return -1;
    }
    // "high"/"low" switch an input to an output already at the level, with no glitch
    // at the other level in between; the kernel then holds that level.
    if (read_text(path, direction, sizeof direction) == 0 && strncmp(direction, "out", 3) != 0) {
        return write_text(path, high ? "high" : "low");
    }
    // An output, or a line whose direction is fixed (no direction file): its value.
    if (!line_path(path, gpio, "value")) {
        return -1;
    }
    return write_text(path, high ? "1" : "0");
}

int gpio_set_input(int gpio) {
    if (export_line(gpio) != 0) {
        return -1;
    }
    char path[192];
    if (!line_path(path, gpio, "direction") || write_text(path, "in") != 0) {
        return -1;
    }
    return read_level(gpio);
}

int gpio_close(void) {
    return 0;
}
