// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "modules/tq_cpu.h"

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
    // A program name with blanks and parentheses of its own.
    TextFile odd("4242 (a b) (c)) S 1 4242 4242 0 -1 4194560 100 0 0 0 1 2 3 4 20 0 1 0 5 1000 50\n");
    ASSERT_EQ(cpu_read_self_stat(odd.fp, &c), 0);
    EXPECT_EQ(c.proc, 10u);
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

// Counters before and after; the printed shares: busy, sys, user, wait, steal.
struct IntervalCase {
    cpu_counters prev;
    cpu_counters cur;
    double cpu, sys, user, iowait, steal;
};

class CpuInterval : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(CpuInterval, CounterThatWentDownCountsAsNoChange) {
    const IntervalCase& c = GetParam();
    cpu_counters prev = c.prev;
    cpu_load load = {};
    cpu_update(&prev, c.cur, &load);
    EXPECT_DOUBLE_EQ(load.cpu, c.cpu);
    EXPECT_DOUBLE_EQ(load.sys, c.sys);
    EXPECT_DOUBLE_EQ(load.user, c.user);
    EXPECT_DOUBLE_EQ(load.iowait, c.iowait);
    EXPECT_DOUBLE_EQ(load.steal, c.steal);
    for (double share : {load.user, load.nice, load.sys, load.idle, load.iowait, load.irq, load.softirq,
                         load.steal, load.cpu, load.proc}) {
        EXPECT_TRUE(share >= 0.0 && share <= 100.0) << share;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Intervals, CpuInterval,
    ::testing::Values(
        // iowait went down by 2 over 200 ticks of the others
        IntervalCase{counters(5050, 0, 5050, 50100, 300, 0, 0, 0, 5),
                     counters(5100, 0, 5100, 50200, 298, 0, 0, 0, 5), 50.0, 25.0, 25.0, 0.0, 0.0},
        // the total went down: only user advanced
        IntervalCase{counters(5050, 0, 5050, 50100, 300, 0, 0, 0, 5),
                     counters(5060, 0, 5050, 49000, 300, 0, 0, 0, 5), 100.0, 0.0, 100.0, 0.0, 0.0},
        // every counter went down, or none moved: nothing happened, 0 % and no NaN
        IntervalCase{counters(5050, 0, 5050, 50100, 300, 0, 0, 0, 5),
                     counters(5000, 0, 5000, 50000, 200, 0, 0, 0, 5), 0.0, 0.0, 0.0, 0.0, 0.0},
        IntervalCase{counters(5050, 0, 5050, 50100, 300, 0, 0, 0, 5),
                     counters(5050, 0, 5050, 50100, 300, 0, 0, 0, 5), 0.0, 0.0, 0.0, 0.0, 0.0}));

}  // namespace
