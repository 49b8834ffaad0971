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
#include <vector>

#include "platform/gpio/gpio.h"
#include "platform/pwm/pwm.h"

namespace {

int open_fds() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (readdir(d) != nullptr)
        n++;
    closedir(d);
    return n;
}

// A temporary folder that is removed with everything in it; every test also checks
// that the library left no descriptor open.
class SysfsTree : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/sysfs_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        fds_ = open_fds();
    }
    void TearDown() override {
        EXPECT_EQ(open_fds(), fds_) << "descriptor left open";
        std::string cmd = "rm -rf '" + root_ + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::string path(const std::string& rel) const {
        return root_ + "/" + rel;
    }
    void put(const std::string& rel, const std::string& text) {
        std::string p = path(rel);
        for (size_t i = root_.size() + 1; (i = p.find('/', i)) != std::string::npos; i++)
            mkdir(p.substr(0, i).c_str(), 0755);
        std::ofstream(p) << text;
    }
    std::string get(const std::string& rel) const {
        std::ifstream f(path(rel));
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    bool exists(const std::string& rel) const {
        return access(path(rel).c_str(), F_OK) == 0;
    }
    std::string root_;
    int fds_ = 0;
};

// ---- GPIO ----

class Gpio : public SysfsTree {
protected:
    void SetUp() override {
        SysfsTree::SetUp();
        put("export", "");
        gpio_set_sysfs_root(root_.c_str());
    }
    void TearDown() override {
        gpio_set_sysfs_root(nullptr);
        SysfsTree::TearDown();
    }
    void line(int n, const std::string& direction, const std::string& value) {
        put("gpio" + std::to_string(n) + "/direction", direction);
        put("gpio" + std::to_string(n) + "/value", value);
    }
};

struct ReadRow {
    const char* direction;
    const char* value;
    int level;
};
void PrintTo(const ReadRow& r, std::ostream* os) {
    *os << testing::PrintToString(r.direction) << " " << testing::PrintToString(r.value);
}

class GpioRead : public Gpio, public ::testing::WithParamInterface<ReadRow> {};

TEST_P(GpioRead, ReturnsTheLevelAndLeavesDirectionAndExportAlone) {
    line(9, GetParam().direction, GetParam().value);
    EXPECT_EQ(gpio_read(9), GetParam().level);
    EXPECT_EQ(get("gpio9/direction"), GetParam().direction);
    EXPECT_EQ(get("gpio9/value"), GetParam().value);
    EXPECT_EQ(get("export"), "");
}

INSTANTIATE_TEST_SUITE_P(Lines, GpioRead,
                         ::testing::Values(ReadRow{"in\n", "1\n", 1}, ReadRow{"in\n", "0\n", 0},
                                           ReadRow{"out\n", "1\n", 1}, ReadRow{"in\n", "x\n", -1},
                                           ReadRow{"in\n", "", -1}));

struct WriteRow {
    const char* direction_before;
    int level;
    const char* direction_after;
    const char* value_after;
};
void PrintTo(const WriteRow& r, std::ostream* os) {
    *os << testing::PrintToString(r.direction_before) << " level " << r.level;
}

class GpioWrite : public Gpio, public ::testing::WithParamInterface<WriteRow> {};

TEST_P(GpioWrite, DrivesTheLineWithoutAGlitch) {
    line(3, GetParam().direction_before, "0\n");
    EXPECT_EQ(gpio_write(3, GetParam().level), 0);
    EXPECT_EQ(get("gpio3/direction"), GetParam().direction_after);
    EXPECT_EQ(get("gpio3/value"), GetParam().value_after);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, GpioWrite,
    ::testing::Values(WriteRow{"in\n", 1, "high", "1"}, WriteRow{"in\n", 0, "low", "0"},
                      WriteRow{"in\n", 2, "high", "1"}, WriteRow{"in\n", -1, "high", "1"},
                      // an output only gets its value: no direction write that could glitch
                      WriteRow{"out\n", 1, "out\n", "1"}, WriteRow{"out\n", 0, "out\n", "0"},
                      // a shorter text replaces a longer one whole
                      WriteRow{"high", 0, "low", "0"}));

TEST_F(Gpio, WriteToALineWithAFixedDirectionSetsOnlyTheValue) {
    put("gpio4/value", "0\n");
    EXPECT_EQ(gpio_write(4, 1), 0);
    EXPECT_EQ(get("gpio4/value"), "1");
    EXPECT_FALSE(exists("gpio4/direction"));
}

TEST_F(Gpio, SetInputMakesTheLineAnInputAndReadsIt) {
    line(7, "out\n", "1\n");
    EXPECT_EQ(gpio_set_input(7), 1);
    EXPECT_EQ(get("gpio7/direction"), "in");
}

TEST_F(Gpio, MissingLineIsExportedAndFailsWhenNothingAppears) {
    EXPECT_EQ(gpio_read(200), -1);
    EXPECT_EQ(get("export"), "200");
    EXPECT_EQ(gpio_write(201, 1), -1);
    EXPECT_EQ(get("export"), "201");
    EXPECT_EQ(gpio_set_input(202), -1);
    EXPECT_EQ(get("export"), "202");
    EXPECT_FALSE(exists("gpio202"));
}

TEST_F(Gpio, NegativeLineTouchesNothing) {
    EXPECT_EQ(gpio_read(-1), -1);
    EXPECT_EQ(gpio_write(-1, 1), -1);
    EXPECT_EQ(gpio_set_input(-1), -1);
    EXPECT_EQ(get("export"), "");
}

TEST_F(Gpio, NoExportTreeIsAFailure) {
    gpio_set_sysfs_root((root_ + "/none").c_str());
    EXPECT_EQ(gpio_read(1), -1);
    EXPECT_EQ(gpio_write(1, 1), -1);
}

// ---- PWM ----

class Pwm : public SysfsTree {
protected:
    void SetUp() override {
        SysfsTree::SetUp();
        put("export", "");
        put("npwm", "2\n");
        channel(0, "0\n", "0\n", "0\n");
        pwm_set_sysfs_root(root_.c_str());
    }
    void TearDown() override {
        pwm_set_sysfs_root(nullptr);
        SysfsTree::TearDown();
    }
    void channel(int n, const std::string& period, const std::string& duty, const std::string& enable) {
        std::string dir = "pwm" + std::to_string(n) + "/";
        put(dir + "period", period);
        put(dir + "duty_cycle", duty);
        put(dir + "enable", enable);
    }
};

struct PwmWriteRow {
    long long old_period, old_duty;
    int period, duty;
    const char* duty_cycle;
};
void PrintTo(const PwmWriteRow& r, std::ostream* os) {
    *os << r.old_period << "/" << r.old_duty << " to " << r.period << " duty " << r.duty;
}

class PwmWrite : public Pwm, public ::testing::WithParamInterface<PwmWriteRow> {};

// The files as the kernel would have seen them after each write, replayed from the
// order in which they were closed: the duty cycle never exceeds the period, and the
// channel is enabled last.
TEST_P(PwmWrite, ProgramsInAnOrderTheKernelAccepts) {
    const PwmWriteRow& row = GetParam();
    channel(0, std::to_string(row.old_period), std::to_string(row.old_duty), "0\n");
    int ino = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(ino, 0);
    ASSERT_GE(inotify_add_watch(ino, path("pwm0").c_str(), IN_CLOSE_WRITE), 0);

    ASSERT_EQ(pwm_write(0, row.period, row.duty), 0);
    EXPECT_EQ(get("pwm0/period"), std::to_string(row.period));
    EXPECT_EQ(get("pwm0/duty_cycle"), row.duty_cycle);
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
    long long period = row.old_period, duty = row.old_duty;
    for (const std::string& name : order) {
        if (name == "period")
            period = row.period;
        else if (name == "duty_cycle")
            duty = std::stoll(row.duty_cycle);
        EXPECT_LE(duty, period) << "after writing " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Channels, PwmWrite,
                         ::testing::Values(PwmWriteRow{0, 0, 100000, 300, "30000"},             // fresh
                                           PwmWriteRow{1000000, 900000, 100000, 300, "30000"},  // shrink
                                           PwmWriteRow{1000, 500, 100000, 999, "99900"},        // grow
                                           PwmWriteRow{100000, 100000, 50000, 500, "25000"},  // full to half
                                           PwmWriteRow{100000, 50000, 100000, 0, "0"},        // off
                                           PwmWriteRow{100000, 50000, 100000, 5000,
                                                       "100000"},  // at most period
                                           PwmWriteRow{0, 0, 2000000000, 999, "1998000000"}));  // no overflow

struct PwmRejectRow {
    int channel, period, duty;
    const char* export_after;
};
void PrintTo(const PwmRejectRow& r, std::ostream* os) {
    *os << "channel " << r.channel << " period " << r.period << " duty " << r.duty;
}

class PwmReject : public Pwm, public ::testing::WithParamInterface<PwmRejectRow> {};

TEST_P(PwmReject, WritesNothing) {
    EXPECT_EQ(pwm_write(GetParam().channel, GetParam().period, GetParam().duty), -1);
    EXPECT_EQ(get("pwm0/period"), "0\n");
    EXPECT_EQ(get("pwm0/duty_cycle"), "0\n");
    EXPECT_EQ(get("pwm0/enable"), "0\n");
    EXPECT_EQ(get("export"), GetParam().export_after);
}

INSTANTIATE_TEST_SUITE_P(Requests, PwmReject,
                         ::testing::Values(PwmRejectRow{0, 0, 500, ""}, PwmRejectRow{0, -5, 500, ""},
                                           PwmRejectRow{0, 100000, -1, ""}, PwmRejectRow{-1, 100000, 500, ""},
                                           PwmRejectRow{2, 100000, 500, ""},     // beyond npwm
                                           PwmRejectRow{1, 100000, 500, "1"}));  // export made nothing

struct PwmReadRow {
    const char* period;
    const char* duty;
    const char* enable;
    const char* text;
};
void PrintTo(const PwmReadRow& r, std::ostream* os) {
    *os << testing::PrintToString(r.period) << " " << testing::PrintToString(r.duty);
}

class PwmRead : public Pwm, public ::testing::WithParamInterface<PwmReadRow> {};

TEST_P(PwmRead, PrintsPeriodDutyAndEnable) {
    channel(1, GetParam().period, GetParam().duty, GetParam().enable);
    testing::internal::CaptureStdout();
    EXPECT_EQ(pwm_read(1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), GetParam().text);
    EXPECT_EQ(get("pwm1/period"), GetParam().period);
}

INSTANTIATE_TEST_SUITE_P(
    Channels, PwmRead,
    ::testing::Values(
        PwmReadRow{"100000\n", "30000\n", "1\n",
                   "pwm1: period 100000 ns, duty cycle 30000 ns (30.0%), enable 1\n"},
        PwmReadRow{"3000\n", "1\n", "0\n", "pwm1: period 3000 ns, duty cycle 1 ns (0.0%), enable 0\n"},
        PwmReadRow{"3000\n", "2999\n", "1\n", "pwm1: period 3000 ns, duty cycle 2999 ns (99.9%), enable 1\n"},
        PwmReadRow{"0\n", "0\n", "0\n", "pwm1: period 0 ns, duty cycle 0 ns (0.0%), enable 0\n"}));

TEST_F(Pwm, ReadOfAChannelThatCannotBeReadPrintsNothing) {
    put("pwm1/period", "100000\n");  // no duty_cycle, no enable
    testing::internal::CaptureStdout();
    EXPECT_EQ(pwm_read(1), -1);
    EXPECT_EQ(pwm_read(5), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
