// SPDX-License-Identifier: Apache-2.0
#include "framework/usage.h"

#include <gtest/gtest.h>
#include <string.h>

#include "framework/module.h"
#include "framework/test.h"
#include "osa/osa.h"

namespace {

int noop_run(int, char**) {
    return 0;
}
int noop() {
    return 0;
}

// clang-format off
constexpr auto kTable = option_table("module name: media", {
    {"all", no_argument, 'a', "", "Display all information!"},
    {"acodec", no_argument, 7, "", "long only"},
    {"digit", no_argument, '5', "n", "digit value"},
    {"hidden", no_argument, 'z', "", nullptr},
});
// clang-format on

class Usage : public ::testing::Test {
protected:
    void SetUp() override {
        memset(g_module_table, 0, sizeof g_module_table);
        g_module_count = 0;
        static module_record media{"media", 19, noop_run, noop, nullptr, nullptr};
        module_register(&media);
        snprintf(g_prog_name, sizeof g_prog_name, "debug");
        OSA_init();
    }
    std::string usage(unsigned id, unsigned count) {
        testing::internal::CaptureStdout();
        print_module_usage(id, kTable.module_help, kTable.longopts, kTable.help, count);
        return testing::internal::GetCapturedStdout();
    }
};

const std::string kStars(80, '*');

TEST_F(Usage, FramesRowsWithLetterOrBlanksAndOneOrTwoTabs) {
    EXPECT_EQ(usage(19, kTable.help_count), kStars +
                                                "\nmedia usage:\ndebug -M media [option] \n"
                                                "-M  --module [module]\tmodule name: media\n"
                                                "-a  --all\t\tDisplay all information!\n"
                                                "    --acodec\t\tlong only\n"
                                                "    --digit [n]\tdigit value\n" +
                                                kStars + "\n");
}

TEST_F(Usage, CountZeroPrintsOnlyTheFrame) {
    EXPECT_EQ(usage(19, 0), kStars + "\nmedia usage:\ndebug -M media [option] \n" + kStars + "\n");
}

TEST_F(Usage, IdAboveTwentyFourPrintsNothing) {
    EXPECT_EQ(usage(25, 2), "");
}

TEST(OptionTableTest, RowsWithoutHelpStayInGetoptTableOnly) {
    EXPECT_EQ(kTable.help_count, 4u);
    EXPECT_STREQ(kTable.longopts[4].name, "hidden");
    EXPECT_EQ(kTable.longopts[5].name, nullptr);
    EXPECT_EQ(kTable.longopts[5].val, 0);
}

// Letters in row order, after the prefix; digits, numbers and rows that leave their
// letter out give no short option.
// clang-format off
constexpr auto kShortTable = option_table("module name: media", {
    {"all", no_argument, 'a', "", ""},
    {"level", optional_argument, 'l', "", ""},
    {"acodec", no_argument, 7, "", ""},
    {"digit", no_argument, '5', "n", ""},
    {"hidden", required_argument, 'G', "", "", false},
}, "+z:");
// clang-format on

TEST(OptionTableTest, ShortOptionsFollowTheRowsAfterThePrefix) {
    EXPECT_STREQ(kShortTable.short_options, "+z:M:al::");
    EXPECT_STREQ(kTable.short_options, "M:az");
}

}  // namespace
