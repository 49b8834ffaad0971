// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "framework/module.h"
#include "osa/osa.h"

namespace {

int g_runs;
int run_counter(int, char**) {
    return ++g_runs;
}
int no_usage() {
    return 0;
}

module_record make(const char* name, uint8_t id) {
    return module_record{name, id, run_counter, no_usage, nullptr, nullptr};
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        memset(g_module_table, 0, sizeof g_module_table);
        g_module_count = 0;
        g_runs = 0;
    }
    std::string names() {
        std::string out;
        for (int i = 0; i < g_module_count; i++)
            out += std::string(g_module_table[i].name) + ":" + std::to_string(g_module_table[i].id) + " ";
        return out;
    }
};

TEST_F(Registry, KeepsIdOrderAndPutsEqualIdsAfterEarlierOnes) {
    module_record a = make("a", 9), b = make("b", 2), c = make("c", 9), d = make("d", 0);
    module_register(&a);
    module_register(&b);
    module_register(&c);
    module_register(&d);
    EXPECT_EQ(names(), "d:0 b:2 a:9 c:9 ");
}

TEST_F(Registry, IgnoresNullRecordsNamesAndCaseInsensitiveDuplicates) {
    module_record media = make("media", 19), upper = make("MEDIA", 3), nameless = make(nullptr, 1);
    module_register(&media);
    module_register(&upper);
    module_register(&nameless);
    module_register(nullptr);
    EXPECT_EQ(names(), "media:19 ");
}

TEST_F(Registry, TwentySeventhRegistrationIsIgnored) {
    static char buf[27][8];
    module_record recs[27];
    for (int i = 0; i < 27; i++) {
        snprintf(buf[i], sizeof buf[i], "m%d", i);
        recs[i] = make(buf[i], static_cast<uint8_t>(i));
        module_register(&recs[i]);
    }
    EXPECT_EQ(g_module_count, 26);
    EXPECT_EQ(module_find("m26"), nullptr);
    EXPECT_NE(module_find("m25"), nullptr);
}

TEST_F(Registry, RunAndUsageMatchExactlyWhileFindIgnoresCase) {
    module_record media = make("media", 19);
    module_register(&media);
    EXPECT_NE(module_find("MEDIA"), nullptr);
    EXPECT_EQ(module_run("MEDIA", 0, nullptr), 0);
    EXPECT_EQ(g_runs, 0);
    EXPECT_EQ(module_run("media", 0, nullptr), 0);
    EXPECT_EQ(g_runs, 1);
}

TEST_F(Registry, UnregisterClearsTheSlotByNameInAnyCase) {
    module_record a = make("adc", 2), b = make("gpio", 3), other = make("ADC", 7);
    module_register(&a);
    module_register(&b);
    module_unregister(&other);
    EXPECT_EQ(g_module_count, 1);
    EXPECT_EQ(g_module_table[0].name, nullptr);
    EXPECT_EQ(module_find("gpio"), &g_module_table[1]);
    module_record unknown = make("nope", 1);
    module_unregister(&unknown);
    EXPECT_EQ(g_module_count, 1);
}

int g_exit_order[4];
int g_exits;
int exit_a() {
    g_exit_order[g_exits++] = 1;
    return 0;
}
int exit_b() {
    g_exit_order[g_exits++] = 2;
    return 0;
}

TEST_F(Registry, ExitAllCallsEveryExitInTableOrder) {
    module_record a{"mtd", 23, run_counter, no_usage, exit_b, nullptr};
    module_record b{"adc", 2, run_counter, no_usage, exit_a, nullptr};
    module_record c = make("cpu", 8);
    module_register(&a);
    module_register(&b);
    module_register(&c);
    g_exits = 0;
    module_exit_all();
    ASSERT_EQ(g_exits, 2);
    EXPECT_EQ(g_exit_order[0], 1);
    EXPECT_EQ(g_exit_order[1], 2);
}

class ModuleList : public Registry, public ::testing::WithParamInterface<std::pair<int, const char*>> {};

TEST_P(ModuleList, PrintsEightNamesALine) {
    static const char* const all[] = {"a", "b", "c", "d", "e", "f", "g", "h",
                                      "i", "j", "k", "l", "m", "n", "o", "p"};
    module_record recs[16];
    for (int i = 0; i < GetParam().first; i++) {
        recs[i] = make(all[i], static_cast<uint8_t>(i));
        module_register(&recs[i]);
    }
    OSA_init();
    testing::internal::CaptureStdout();
    module_list();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, ModuleList,
    ::testing::Values(std::make_pair(0, "modules name:\n\n"), std::make_pair(3, "modules name:\n\ta\tb\tc\n"),
                      std::make_pair(8, "modules name:\n\ta\tb\tc\td\te\tf\tg\th\n\n"),
                      std::make_pair(10, "modules name:\n\ta\tb\tc\td\te\tf\tg\th\n\ti\tj\n")));

}  // namespace
