// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <time.h>

#include "osa/osa.h"

namespace {

long elapsed_ms(void (*fn)(uint32_t), uint32_t arg) {
    struct timespec a, b;
    clock_gettime(CLOCK_MONOTONIC, &a);
    fn(arg);
    clock_gettime(CLOCK_MONOTONIC, &b);
    return (b.tv_sec - a.tv_sec) * 1000 + (b.tv_nsec - a.tv_nsec) / 1000000;
}

// The upper bounds leave room for a machine with every core busy; they still catch a
// sleep of whole seconds where none or milliseconds were asked for.
TEST(Time, SleepSplitsSecondsAndMilliseconds) {
    EXPECT_LT(elapsed_ms(OSA_sleepMillis, 0), 500);
    long ms = elapsed_ms(OSA_sleepMillis, 1250);
    EXPECT_GE(ms, 1250);
    EXPECT_LT(ms, 1800);
}

TEST(Time, DifferencesOfReadingsFollowTheClock) {
    int a = OSA_getTimeMs();
    OSA_sleepMillis(200);
    int b = OSA_getTimeMs();
    int diff = static_cast<int32_t>(static_cast<uint32_t>(b) - static_cast<uint32_t>(a));
    EXPECT_GE(diff, 200);
    EXPECT_LT(diff, 700);
}

}  // namespace
