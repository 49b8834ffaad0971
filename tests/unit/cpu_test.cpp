#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <regex>
#include <string>
#include <vector>

#include "modules/tq_cpu.h"
#include "osa/osa.h"

namespace {

// A stream over a text, closed when it goes out of scope.
struct TextFile {
    explicit TextFile(const std::string& text) : data(text) {
        fp = fmemopen(&data[0], data.size(), "r");
    }
    ~TextFile() {
        fclose(fp);
    }
    std::string data;
    FILE* fp;
};

const char kStat[] =
    "cpu  100 20 30 400 50 6 7 8 0 0\n"
    "cpu0 50 10 15 200 25 3 4 4 0 0\n"
    "intr 12345 0 0\n"
    "ctxt 999\n";

TEST(CpuRead, TakesTheAllProcessorLineAndCombinesCounters) {
    TextFile f(kStat);
    cpu_counters c = {};
    ASSERT_EQ(cpu_read_stat(f.fp, &c), 0);
    EXPECT_EQ(c.user, 120u);
    EXPECT_EQ(c.nice, 20u);
    EXPECT_EQ(c.sys, 43u);
    EXPECT_EQ(c.idle, 400u);
    EXPECT_EQ(c.iowait, 50u);
    EXPECT_EQ(c.irq, 6u);
    EXPECT_EQ(c.softirq, 7u);
    EXPECT_EQ(c.steal, 8u);
    EXPECT_EQ(c.total, 621u);
}

TEST(CpuRead, FindsTheLineAfterOthersAndFailsWithoutIt) {
    TextFile later("cpu0 1 2 3 4 5 6 7 8\nbtime 17\ncpu 1 1 1 1 1 1 1 1\n");
    cpu_counters c = {};
    EXPECT_EQ(cpu_read_stat(later.fp, &c), 0);
    EXPECT_EQ(c.total, 8u);
    TextFile none("cpu0 1 2 3 4 5 6 7 8\nctxt 999\nbtime 17\n");
    EXPECT_EQ(cpu_read_stat(none.fp, &c), -1);
}

TEST(CpuRead, ProcessTimesAreFieldsFourteenToSeventeen) {
    TextFile f("4242 (debug) S 1 4242 4242 0 -1 4194560 100 0 0 0 11 22 33 44 20 0 1 0 5 1000 50\n");
    cpu_counters c = {};
    ASSERT_EQ(cpu_read_self_stat(f.fp, &c), 0);
    EXPECT_EQ(c.proc, 110u);
    TextFile cut("4242 (debug) S 1 4242 4242 0 -1 4194560 100 0 0 0 11 22\n");
    EXPECT_EQ(cpu_read_self_stat(cut.fp, &c), -1);
}

cpu_counters counters(uint64_t user, uint64_t nice, uint64_t system, uint64_t idle, uint64_t iowait,
                      uint64_t irq, uint64_t softirq, uint64_t steal, uint64_t proc) {
    return {user + nice, nice,   system + irq + softirq,
            idle,        iowait, irq,
            softirq,     steal,  user + nice + system + idle + iowait + irq + softirq + steal,
            proc};
}

TEST(CpuUpdate, FirstReadingIsOnlyTheBaseline) {
    cpu_counters prev = {};
    cpu_load load = {};
    load.cpu = 42.0;
    cpu_counters cur = counters(100, 20, 30, 400, 50, 6, 7, 8, 5);
    cpu_update(&prev, cur, &load);
    EXPECT_EQ(memcmp(&prev, &cur, sizeof cur), 0);
    EXPECT_EQ(load.cpu, 42.0) << "the sample is left as it was";
}

TEST(CpuUpdate, SharesOfTheIntervalCountEverythingButIdleAsBusy) {
    cpu_counters prev = counters(100, 20, 30, 400, 50, 6, 7, 8, 5);
    cpu_load load = {};
    // Over 200 ticks: user 30, nice 10, system 20, idle 100, iowait 20, irq 6, softirq 4, steal 10.
    cpu_counters cur = counters(130, 30, 50, 500, 70, 12, 11, 18, 9);
    cpu_update(&prev, cur, &load);
    EXPECT_DOUBLE_EQ(load.user, 20.0);
    EXPECT_DOUBLE_EQ(load.nice, 5.0);
    EXPECT_DOUBLE_EQ(load.sys, 15.0);
    EXPECT_DOUBLE_EQ(load.idle, 50.0);
    EXPECT_DOUBLE_EQ(load.iowait, 10.0);
    EXPECT_DOUBLE_EQ(load.irq, 3.0);
    EXPECT_DOUBLE_EQ(load.softirq, 2.0);
    EXPECT_DOUBLE_EQ(load.steal, 5.0);
    EXPECT_DOUBLE_EQ(load.cpu, 50.0);
    EXPECT_DOUBLE_EQ(load.proc, 2.0);
    EXPECT_EQ(memcmp(&prev, &cur, sizeof cur), 0) << "the new reading becomes the previous one";
}

struct CpuCase {
    std::vector<std::string> args;  // after "debug -M cpu"
    int rc;
    int count;
    int delay;
    std::string log;
    std::string out;  // standard output before any usage
    std::string err;  // regex on standard error
};

void PrintTo(const CpuCase& c, std::ostream* os) {
    for (const auto& a : c.args)
        *os << a << ' ';
}

class CpuParse : public ::testing::TestWithParam<CpuCase> {
protected:
    void SetUp() override {
        OSA_init();
    }
};

TEST_P(CpuParse, FillsSettingsOrReportsAndShowsUsage) {
    const CpuCase& c = GetParam();
    std::vector<std::string> args = {"debug", "-M", "cpu"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(&a[0]);
    cpu_param param = {60, 1, "/tmp/cpulog.txt"};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int rc = cpu_init_param(&param, static_cast<int>(argv.size()), argv.data());
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(rc, c.rc);
    EXPECT_TRUE(std::regex_match(err, std::regex(c.err))) << err;
    if (c.rc == 0) {
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(param.count, c.count);
        EXPECT_EQ(param.delay, c.delay);
        EXPECT_EQ(std::string(param.log), c.log);
    } else {
        EXPECT_EQ(out.substr(0, c.out.size()), c.out);
        EXPECT_NE(out.find("cpu usage:"), std::string::npos);
    }
}

std::string error(const std::string& message) {
    return R"((.*\n)? ERROR  \(tq_cpu\|cpu_init_param\|\d+\): )" + message + "\n";
}
const std::string kPath62 = "/tmp/" + std::string(57, 'a');
const std::string kPath63 = "/tmp/" + std::string(58, 'a');
const std::string kVersion = "CPU version: 1.0.2\n";
const std::string kDefaultLog = "/tmp/cpulog.txt";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Options, CpuParse, ::testing::Values(
    CpuCase{{}, 0, 60, 1, kDefaultLog, "", ""},
    CpuCase{{"-c", "3", "-d", "2"}, 0, 3, 2, kDefaultLog, "", ""},
    CpuCase{{"--count", "0x10", "--delay", "010"}, 0, 16, 8, kDefaultLog, "", ""},
    CpuCase{{"-l", kPath62}, 0, 60, 1, kPath62, "", ""},
    CpuCase{{"-l", "/tmp/%s%n.txt"}, 0, 60, 1, "/tmp/%s%n.txt", "", ""},
    CpuCase{{"-v", "-c", "2"}, 0, 2, 1, kDefaultLog, kVersion, ""},
    CpuCase{{"-c", "0"}, -1, 0, 0, "", "", error("Cpu count must > 0")},
    CpuCase{{"-c", "-5"}, -1, 0, 0, "", "", error("Cpu count must > 0")},
    CpuCase{{"-c", "4294967296"}, -1, 0, 0, "", "", error("Cpu count must > 0")},
    CpuCase{{"-c", "2147483648"}, -1, 0, 0, "", "", error("Cpu count must > 0")},
    CpuCase{{"-d", "0"}, -1, 0, 0, "", "", error("Cpu delay must > 0")},
    CpuCase{{"-l", kPath63}, -1, 0, 0, "", "", error("Cpu log name length must < 64!")},
    CpuCase{{"-v", "-x"}, -1, 0, 0, "", kVersion, error("Unknow option")},
    CpuCase{{"-c"}, -1, 0, 0, "", "", error("Unknow option")}));
// clang-format on

}  // namespace
