// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "modules/tq_drvboard.h"
#include "osa/osa.h"

namespace {

struct Argv {
    explicit Argv(std::vector<std::string> args) : store(std::move(args)) {
        for (auto& a : store)
            ptrs.push_back(&a[0]);
    }
    int argc() const {
        return static_cast<int>(ptrs.size());
    }
    char** argv() {
        return ptrs.data();
    }
    std::vector<std::string> store;
    std::vector<char*> ptrs;
};

pt_shm_cmd g_record;
const drvboard_module kModule = {"tq_pt", 20, 0, "module name: pt", g_record};

struct ParseCase {
    std::vector<std::string> args;  // after "debug -M pt"
    int valid;
    int cmd;
    std::vector<int> params;  // param[0..], the rest 0
    std::string out;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    for (const auto& a : c.args)
        *os << a << ' ';
}

class Parse : public ::testing::TestWithParam<ParseCase> {
protected:
    void SetUp() override {
        OSA_init();
        memset(&g_record, 0, sizeof g_record);
    }
};

TEST_P(Parse, BuildsTheRecord) {
    const ParseCase& c = GetParam();
    std::vector<std::string> args = {"debug", "-M", "pt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Argv argv(args);
    testing::internal::CaptureStdout();
    EXPECT_EQ(pt_init_param(kModule, argv.argc(), argv.argv()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);

    pt_shm_cmd want = {};
    want.valid = c.valid;
    want.cmd = c.cmd;
    for (size_t i = 0; i < c.params.size(); i++)
        want.param[i] = c.params[i];
    EXPECT_EQ(g_record.valid, want.valid);
    EXPECT_EQ(g_record.status, 0);
    EXPECT_EQ(g_record.cmd, want.cmd);
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(g_record.param[i], want.param[i]) << "param[" << i << "]";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Commands, Parse, ::testing::Values(
    ParseCase{{"-f", "1"}, 1, 100, {1}, ""},
    ParseCase{{"-d", "1"}, 1, 102, {1}, ""},
    ParseCase{{"-c", "60"}, 1, 103, {60}, ""},
    ParseCase{{"--set obj_dis", "500"}, 1, 105, {500}, ""},
    ParseCase{{"-y", "1500"}, 1, 106, {1500}, ""},
    ParseCase{{"-i", "4"}, 1, 107, {4}, ""},
    ParseCase{{"-o", "1"}, 1, 109, {1, 1}, ""},
    ParseCase{{"-e", "0"}, 1, 109, {3, 0}, ""},
    ParseCase{{"--titl_i", "7"}, 1, 111, {7}, "\n current of tile_motor=7 \n"},
    ParseCase{{"-W", "1"}, 1, 112, {1}, ""},
    ParseCase{{"-V", "2"}, 1, 114, {2}, ""},
    ParseCase{{"-P", "3"}, 1, 115, {3}, ""},
    ParseCase{{"-E", "1"}, 1, 117, {1}, ""},
    ParseCase{{"-T", "1"}, 1, 119, {1}, ""},
    ParseCase{{"-R", "1"}, 1, 120, {1}, ""},
    ParseCase{{"-z", "3"}, 1, 121, {3}, ""},
    ParseCase{{"-A", "1"}, 1, 123, {1}, ""},
    ParseCase{{"-a", "abc"}, 1, 101, {0}, ""}));

INSTANTIATE_TEST_SUITE_P(Steps, Parse, ::testing::Values(
    ParseCase{{"-s", "01", "-p", "1", "-t", "2"}, 1, 104, {1, 0x800002}, ""},
    ParseCase{{"-s", "1", "-p", "1", "-t", "2"}, 1, 104, {1, 0x800002}, ""},
    ParseCase{{"-s", "-11", "-p", "1", "-t", "2"}, 1, 104, {0x800001, 0x800002}, ""},
    ParseCase{{"-p", "1", "-s", "11", "-a", "1"}, 1, 104, {0x800001, 0x800000}, ""}));

INSTANTIATE_TEST_SUITE_P(Pairs, Parse, ::testing::Values(
    ParseCase{{"-l", "28", "-l", "29"}, 1, 109, {5, 29}, ""},
    ParseCase{{"-l", "1", "-r", "2", "-l", "3"}, 0, 0, {0, 3, 2}, ""},
    ParseCase{{"-u", "10", "-n", "20"}, 1, 109, {6, 10, 20}, ""},
    ParseCase{{"-g", "10", "-k", "20"}, 1, 109, {7, 10, 20}, ""},
    ParseCase{{"-F", "1", "-L", "2"}, 1, 116, {1, 2}, ""},
    ParseCase{{"--set pwm_run=1500"}, 0, 0, {}, ""},
    ParseCase{{"-b", "-1", "-j", "1300"}, 1, 109, {4, 0xFF, 0xFF, 0x14, 0x05}, ""},
    // Later steps win; each overwrites only what it names.
    ParseCase{{"-s", "11", "-p", "1", "-t", "1", "-l", "28", "-r", "30"}, 1, 109, {5, 0x800001, 30}, ""},
    ParseCase{{"-F", "1", "-L", "2", "-b", "1500", "-j", "1300"}, 1, 109, {4, 0xDC, 0x05, 0x14, 0x05}, ""},
    ParseCase{{"-u", "10", "-n", "20", "-a", "1"}, 1, 109, {6, 10, 20}, ""}));

INSTANTIATE_TEST_SUITE_P(MotorStep, Parse, ::testing::Values(
    ParseCase{{"-m", "1", "2", "3"}, 0, 0, {}, ""},
    ParseCase{{"-m", "1", "2", "3", "4", "5"}, 0, 0, {}, ""}));
// clang-format on

}  // namespace
