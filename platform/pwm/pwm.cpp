// SPDX-License-Identifier: Apache-2.0
#include "platform/pwm/pwm.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "platform/common/unique_fd.h"

static const char* const kDefaultSysfsRoot = "/sys/class/pwm/pwmchip0";
// duty is given in tenths of a percent.
static const long long kDutyFull = 1000;

static char s_root[128] = "/sys/class/pwm/pwmchip0";

void pwm_set_sysfs_root(const char* root) {
    snprintf(s_root, sizeof s_root, "%s", root != nullptr ? root : kDefaultSysfsRoot);
}

// A path cut to the buffer would name some other file: refuse it instead.
static bool checked(int n, size_t size) {
    return n > 0 && static_cast<size_t>(n) < size;
}

static bool chip_path(char (&buf)[192], const char* name) {
    return checked(snprintf(buf, sizeof buf, "%s/%s", s_root, name), sizeof buf);
}

static bool channel_path(char (&buf)[192], int channel, const char* attr) {
    return checked(snprintf(buf, sizeof buf, "%s/pwm%d/%s", s_root, channel, attr), sizeof buf);
}

// O_TRUNC: sysfs ignores it, but in a tree of plain files a shorter number must not
// leave the old tail behind.
static int write_number(const char* path, long long value) {
    char text[24];
    int len = snprintf(text, sizeof text, "%lld", value);
    UniqueFd fd(open(path, O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!fd) {
        return -1;
    }
    return write(fd.get(), text, static_cast<size_t>(len)) == len ? 0 : -1;
}

// The kernel prints each attribute as an unsigned decimal and a newline; anything else
// (a sign, a trailing word, a number past 63 bits) is not a value of the channel.
static int read_number(const char* path, long long* value) {
    UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return -1;
    }
    char text[24];
    ssize_t n = read(fd.get(), text, sizeof text - 1);
    if (n <= 0) {
        return -1;
    }
    text[n] = '\0';
    if (text[0] < '0' || text[0] > '9') {
        return -1;
    }
    char* end = nullptr;
    errno = 0;
    *value = strtoll(text, &end, 10);
    return errno == 0 && (strcmp(end, "\n") == 0 || *end == '\0') ? 0 : -1;
}

static int read_attr(int channel, const char* attr, long long* value) {
    char path[192];
    return channel_path(path, channel, attr) ? read_number(path, value) : -1;
}

static int write_attr(int channel, const char* attr, long long value) {
    char path[192];
    return channel_path(path, channel, attr) ? write_number(path, value) : -1;
}

static int export_channel(int channel) {
    if (channel < 0) {
        return -1;
    }
    char path[192];
    long long npwm = 0;
    if (chip_path(path, "npwm") && read_number(path, &npwm) == 0 && channel >= npwm) {
        return -1;
    }
    if (!channel_path(path, channel, "period")) {
        return -1;
    }
    if (access(path, F_OK) == 0) {
        return 0;
    }
    char export_path[192];
    if (!chip_path(export_path, "export")) {
        return -1;
    }
    // EBUSY: exported already, by someone else since the look above; so it is there.
    if (write_number(export_path, channel) != 0 && errno != EBUSY) {
        return -1;
    }
    return access(path, F_OK) == 0 ? 0 : -1;
}

int pwm_read(int channel) {
    long long period = 0;
    long long duty_cycle = 0;
    long long enable = 0;
    if (export_channel(channel) != 0 || read_attr(channel, "period", &period) != 0 ||
        read_attr(channel, "duty_cycle", &duty_cycle) != 0 || read_attr(channel, "enable", &enable) != 0) {
        return -1;
    }
    // The kernel never holds a duty cycle past the period: such a reading is no state
    // of the channel. A fresh channel has neither.
    if (duty_cycle > period || enable > 1) {
        return -1;
    }
    // 128 bits: the duty cycle times 1000 must not overflow for any 63-bit value.
    long long tenths =
        period > 0 ? static_cast<long long>(static_cast<__int128>(duty_cycle) * kDutyFull / period) : 0;
    printf("pwm%d: period %lld ns, duty cycle %lld ns (%lld.%lld%%), enable %lld\n", channel, period,
           duty_cycle, tenths / 10, tenths % 10, enable);
    return 0;
}

int pwm_write(int channel, int period, int duty) {
    if (period <= 0 || duty < 0 || export_channel(channel) != 0) {
        return -1;
    }
    long long duty_cycle = static_cast<long long>(period) * duty / kDutyFull;
    if (duty_cycle > period) {
        duty_cycle = period;
    }
    long long old_period = 0;
    if (read_attr(channel, "period", &old_period) != 0) {
        return -1;
    }
    // The kernel refuses any write that would leave the channel with no period or with
    // a duty cycle longer than the period. A duty cycle that fits an old period goes
    // first; otherwise (a fresh channel has none) the period goes first, past the old
    // duty cycle, which the old period already held.
    int ret;
    if (old_period > 0 && duty_cycle <= old_period) {
        ret = write_attr(channel, "duty_cycle", duty_cycle);
        ret = ret != 0 ? ret : write_attr(channel, "period", period);
    } else {
        ret = write_attr(channel, "period", period);
        ret = ret != 0 ? ret : write_attr(channel, "duty_cycle", duty_cycle);
    }
    return ret != 0 ? ret : write_attr(channel, "enable", 1);
}

int pwm_close(void) {
    return 0;
}
