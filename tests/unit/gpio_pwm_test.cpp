// SPDX-License-Identifier: Apache-2.0
// The GPIO and PWM libraries against sysfs trees of plain files in a temporary folder.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/gpio/gpio.h"
#include "platform/pwm/pwm.h"
#include "tests/unit/test_support.h"

namespace {

// A temporary folder, removed afterwards; every test also checks that the library
// left no descriptor open.
class SysfsTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = make_temp_dir("sysfs_test");
        ASSERT_FALSE(root_.empty());
        fds_ = open_fd_count();
        put("export", "");
    }
    void TearDown() override {
        EXPECT_EQ(open_fd_count(), fds_) << "descriptor left open";
        ASSERT_EQ(system(("rm -rf '" + root_ + "'").c_str()), 0);
    }
    void put(const std::string& rel, const std::string& text) {
        std::string p = root_ + "/" + rel;
        for (size_t i = root_.size() + 1; (i = p.find('/', i)) != std::string::npos; i++)
            mkdir(p.substr(0, i).c_str(), 0755);
        std::ofstream(p) << text;
    }
    std::string get(const std::string& rel) const {
        std::stringstream s;
        s << std::ifstream(root_ + "/" + rel).rdbuf();
        return s.str();
    }
    std::string root_;
    int fds_ = 0;
};

class Gpio : public SysfsTree {
protected:
    void SetUp() override {
        SysfsTree::SetUp();
        gpio_set_sysfs_root(root_.c_str());
    }
    void line(int n, const std::string& direction, const std::string& value) {
        put("gpio" + std::to_string(n) + "/direction", direction);
        put("gpio" + std::to_string(n) + "/value", value);
    }
};

// direction, value file, level read
class GpioRead : public Gpio,
                 public ::testing::WithParamInterface<std::tuple<std::string, std::string, int>> {};

TEST_P(GpioRead, ReturnsTheLevelAndLeavesDirectionAndExportAlone) {
    auto [direction, value, level] = GetParam();
    line(9, direction, value);
    EXPECT_EQ(gpio_read(9), level);
    EXPECT_EQ(get("gpio9/direction"), direction);
    EXPECT_EQ(get("gpio9/value"), value);
    EXPECT_EQ(get("export"), "");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, GpioRead,
    ::testing::Values(std::make_tuple("in\n", "1\n", 1), std::make_tuple("out\n", "0\n", 0),
                      std::make_tuple("in\n", "x\n", -1), std::make_tuple("in\n", "12\n", -1),
                      std::make_tuple("out\n", "1x\n", -1), std::make_tuple("out\n", "1", 1),
                      std::make_tuple("in\n", "", -1)));

// direction before, level asked, direction and value after
class GpioWrite
    : public Gpio,
      public ::testing::WithParamInterface<std::tuple<std::string, int, std::string, std::string>> {};

TEST_P(GpioWrite, DrivesTheLineWithoutAGlitch) {
    auto [before, level, direction, value] = GetParam();
    line(3, before, "0\n");
    EXPECT_EQ(gpio_write(3, level), 0);
    EXPECT_EQ(get("gpio3/direction"), direction);
    EXPECT_EQ(get("gpio3/value"), value);
}

INSTANTIATE_TEST_SUITE_P(Lines, GpioWrite,
                         // an input is switched by the direction alone, the kernel setting the level
                         ::testing::Values(std::make_tuple("in\n", 1, "high", "0\n"),
                                           std::make_tuple("in\n", 0, "low", "0\n"),
                                           std::make_tuple("in\n", 2, "high", "0\n"),
                                           // an output gets only its value: no direction write to glitch it
                                           std::make_tuple("out\n", 0, "out\n", "0"),
                                           // a shorter text replaces a longer one whole
                                           std::make_tuple("high", 0, "low", "0\n")));

TEST_F(Gpio, MissingLineIsExportedAndFailsWhenNothingAppears) {
    EXPECT_EQ(gpio_read(200), -1);
    EXPECT_EQ(get("export"), "200");
    EXPECT_EQ(gpio_write(201, 1), -1);
    EXPECT_EQ(get("export"), "201");
    EXPECT_EQ(gpio_set_input(202), -1);
    EXPECT_EQ(get("export"), "202");
    EXPECT_EQ(gpio_write(-1, 1), -1);
    EXPECT_EQ(get("export"), "202");
}

class Pwm : public SysfsTree {
protected:
    void SetUp() override {
        SysfsTree::SetUp();
        put("npwm", "2\n");
        channel(0, "0\n", "0\n", "0\n");
        pwm_set_sysfs_root(root_.c_str());
    }
    void channel(int n, const std::string& period, const std::string& duty, const std::string& enable) {
        put("pwm" + std::to_string(n) + "/period", period);
        put("pwm" + std::to_string(n) + "/duty_cycle", duty);
        put("pwm" + std::to_string(n) + "/enable", enable);
    }
};

// old period, old duty cycle, period and duty asked, duty cycle written
class PwmWrite : public Pwm, public ::testing::WithParamInterface<std::tuple<int, int, int, int, int>> {};

// The files as the kernel would have held them after each write, replayed in the
// order they were closed: the duty cycle never exceeds the period, enable comes last.
TEST_P(PwmWrite, ProgramsInAnOrderTheKernelAccepts) {
    auto [old_period, old_duty, period, duty, duty_cycle] = GetParam();
    channel(0, std::to_string(old_period), std::to_string(old_duty), "0\n");
    int ino = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(inotify_add_watch(ino, (root_ + "/pwm0").c_str(), IN_CLOSE_WRITE), 0);

    ASSERT_EQ(pwm_write(0, period, duty), 0);
    EXPECT_EQ(get("pwm0/period"), std::to_string(period));
    EXPECT_EQ(get("pwm0/duty_cycle"), std::to_string(duty_cycle));
    EXPECT_EQ(get("pwm0/enable"), "1");

    alignas(struct inotify_event) char buf[4096];
    ssize_t len = read(ino, buf, sizeof buf);
    close(ino);
    std::vector<std::string> order;
    for (ssize_t off = 0; off < len;) {
        auto* ev = reinterpret_cast<struct inotify_event*>(buf + off);
        order.push_back(ev->name);
        off += static_cast<ssize_t>(sizeof *ev + ev->len);
    }
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[2], "enable");
    long long p = old_period, d = old_duty;
    for (const std::string& name : order) {
        p = name == "period" ? period : p;
        d = name == "duty_cycle" ? duty_cycle : d;
        EXPECT_GT(p, 0) << "after writing " << name;
        EXPECT_LE(d, p) << "after writing " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Channels, PwmWrite,
                         ::testing::Values(std::make_tuple(0, 0, 100000, 300, 30000),  // fresh
                                           std::make_tuple(0, 0, 100000, 0, 0),        // fresh, off
                                           std::make_tuple(1000000, 900000, 100000, 300, 30000),  // shrink
                                           std::make_tuple(1000, 500, 100000, 999, 99900),        // grow
                                           std::make_tuple(100000, 50000, 100000, 0, 0),          // off
                                           std::make_tuple(100000, 50000, 100000, 5000, 100000),  // capped
                                           std::make_tuple(0, 0, 2000000000, 999,
                                                           1998000000)));  // no overflow

// channel, period, duty, export file after
class PwmReject : public Pwm, public ::testing::WithParamInterface<std::tuple<int, int, int, std::string>> {};

TEST_P(PwmReject, WritesNothing) {
    auto [n, period, duty, exported] = GetParam();
    EXPECT_EQ(pwm_write(n, period, duty), -1);
    EXPECT_EQ(get("pwm0/period") + get("pwm0/duty_cycle") + get("pwm0/enable"), "0\n0\n0\n");
    EXPECT_EQ(get("export"), exported);
}

INSTANTIATE_TEST_SUITE_P(Requests, PwmReject,
                         ::testing::Values(std::make_tuple(0, 0, 500, ""), std::make_tuple(0, 100000, -1, ""),
                                           std::make_tuple(-1, 100000, 500, ""),
                                           std::make_tuple(2, 100000, 500, ""),     // beyond npwm
                                           std::make_tuple(1, 100000, 500, "1")));  // export made nothing

TEST_F(Pwm, ReadPrintsPeriodDutyAndEnable) {
    channel(1, "3000\n", "2999\n", "1\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(pwm_read(1), 0);
    channel(1, "0\n", "0\n", "0\n");
    EXPECT_EQ(pwm_read(1), 0);
    EXPECT_EQ(pwm_read(5), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "pwm1: period 3000 ns, duty cycle 2999 ns (99.9%), enable 1\n"
              "pwm1: period 0 ns, duty cycle 0 ns (0.0%), enable 0\n");
}

// period, duty_cycle and enable files; what pwm_read prints, nothing when it fails.
class PwmReadValues
    : public Pwm,
      public ::testing::WithParamInterface<std::tuple<std::string, std::string, std::string, std::string>> {};

TEST_P(PwmReadValues, OnlyAStateTheKernelCanHoldIsShown) {
    auto [period, duty, enable, shown] = GetParam();
    channel(1, period, duty, enable);
    testing::internal::CaptureStdout();
    EXPECT_EQ(pwm_read(1), shown.empty() ? -1 : 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), shown);
}

INSTANTIATE_TEST_SUITE_P(
    Values, PwmReadValues,
    ::testing::Values(
        std::make_tuple(
            "9223372036854775807\n", "9223372036854775807\n", "1\n",
            "pwm1: period 9223372036854775807 ns, duty cycle 9223372036854775807 ns (100.0%), enable 1\n"),
        std::make_tuple(
            "9223372036854775807\n", "9223372036854775806", "0\n",
            "pwm1: period 9223372036854775807 ns, duty cycle 9223372036854775806 ns (99.9%), enable 0\n"),
        std::make_tuple("1\n", "9223372036854775807\n", "1\n", ""),   // past the period
        std::make_tuple("100000\n", "-5\n", "1\n", ""),               // negative
        std::make_tuple("0\n", "5\n", "1\n", ""),                     // no period
        std::make_tuple("18446744073709551615\n", "0\n", "1\n", ""),  // past 63 bits
        std::make_tuple("100000\n", "500x\n", "1\n", ""),             // garbage
        std::make_tuple("100000\n", "500\n", "2\n", "")));            // enable is 0 or 1

}  // namespace
