#include <gtest/gtest.h>
#include <string.h>

#include <regex>
#include <string>
#include <vector>

#include "modules/tq_adc.h"
#include "osa/osa.h"

namespace {

struct AdcCase {
    std::vector<std::string> args;  // after "debug -M adc"
    int rc;
    adc_param param;
    std::vector<int> block;  // valid, mode, value1, value2
    std::string err;         // regex on standard error
};

void PrintTo(const AdcCase& c, std::ostream* os) {
    for (const auto& a : c.args)
        *os << a << ' ';
}

class AdcParse : public ::testing::TestWithParam<AdcCase> {
protected:
    void SetUp() override {
        OSA_init();
    }
};

TEST_P(AdcParse, FillsSettingsAndBlock) {
    const AdcCase& c = GetParam();
    std::vector<std::string> args = {"debug", "-M", "adc"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(&a[0]);
    adc_param param = {0, ADC_TIMES_UNLIMITED, 1000};
    adc_shm_param shm = {};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int rc = adc_init_param(&param, &shm, static_cast<int>(argv.size()), argv.data());
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(rc, c.rc);
    EXPECT_TRUE(std::regex_match(err, std::regex(c.err))) << err;
    EXPECT_EQ(out.find("adc usage:") != std::string::npos, c.rc != 0) << "usage only after an error";
    if (c.rc == 0) {
        EXPECT_EQ(param.channel, c.param.channel);
        EXPECT_EQ(param.times, c.param.times);
        EXPECT_EQ(param.delay, c.param.delay);
    }
    std::vector<int> block = {shm.valid, shm.mode, shm.value1, shm.value2};
    EXPECT_EQ(block, c.block);
    for (int r : shm.reserved)
        EXPECT_EQ(r, 0);
}

const std::string kReset = R"( ERROR  \(tq_adc\|adc_init_param\|\d+\): Adc channel reset=0\n)";
const std::string kDelay = R"( ERROR  \(tq_adc\|adc_init_param\|\d+\): Adc delay time must > 0 !\n)";
const std::string kUnknown = R"(.*\n ERROR  \(tq_adc\|adc_init_param\|\d+\): Unknow option\n)";
constexpr uint32_t kAll = ADC_TIMES_UNLIMITED;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sampling, AdcParse, ::testing::Values(
    AdcCase{{}, 0, {0, kAll, 1000}, {0, 0, 0, 0}, ""},
    AdcCase{{"-t", "3", "-d", "200"}, 0, {0, 3, 200}, {0, 0, 0, 0}, ""},
    AdcCase{{"--times", "0x10", "--delay", "010"}, 0, {0, 16, 8}, {0, 0, 0, 0}, ""},
    AdcCase{{"-t", "-1"}, 0, {0, kAll, 1000}, {0, 0, 0, 0}, ""},
    AdcCase{{"-t", "0"}, 0, {0, 0, 1000}, {0, 0, 0, 0}, ""},
    AdcCase{{"-c", "2"}, 0, {0, kAll, 1000}, {0, 0, 0, 0}, kReset},
    AdcCase{{"-c", "0"}, 0, {0, kAll, 1000}, {0, 0, 0, 0}, ""},
    AdcCase{{"-d", "0"}, -1, {}, {0, 0, 0, 0}, kDelay},
    AdcCase{{"-x"}, -1, {}, {0, 0, 0, 0}, kUnknown},
    AdcCase{{"-t"}, -1, {}, {0, 0, 0, 0}, kUnknown}));

INSTANTIATE_TEST_SUITE_P(LightControl, AdcParse, ::testing::Values(
    AdcCase{{"-N", "300", "-D", "500"}, 0, {0, kAll, 1000}, {1, 1, 300, 500}, ""},
    AdcCase{{"-N", "300"}, 0, {0, kAll, 1000}, {1, 0, 300, 0}, ""},
    AdcCase{{"-D", "500"}, 0, {0, kAll, 1000}, {0, 0, 0, 500}, ""},
    AdcCase{{"-D", "500", "-D", "600"}, 0, {0, kAll, 1000}, {1, 1, 0, 600}, ""},
    AdcCase{{"-N", "1", "-N", "2", "-D", "3"}, 0, {0, kAll, 1000}, {1, 0, 2, 3}, ""},
    AdcCase{{"-s", "5", "-N", "300", "-D", "500"}, 0, {0, kAll, 1000}, {1, 1, 300, 500}, ""},
    AdcCase{{"-s", "7"}, 0, {0, kAll, 1000}, {1, 2, 7, 0}, ""},
    AdcCase{{"--debug", "1"}, 0, {0, kAll, 1000}, {1, 3, 1, 0}, ""},
    AdcCase{{"-i"}, 0, {0, kAll, 1000}, {1, 4, 0, 0}, ""},
    AdcCase{{"--info"}, 0, {0, kAll, 1000}, {1, 4, 0, 0}, ""},
    // An error stops the parse before the pair is looked at.
    AdcCase{{"-N", "300", "-d", "0", "-D", "500"}, -1, {}, {1, 0, 300, 0}, kDelay}));
// clang-format on

TEST(AdcScale, MultipliesFirstAndTruncatesTowardZero) {
    EXPECT_EQ(adc_scale(1000), 305);
    EXPECT_EQ(adc_scale(4095), 1250);
    EXPECT_EQ(adc_scale(3), 0);
    EXPECT_EQ(adc_scale(-1000), -305);
}

TEST(AdcRead, ChannelOutsideTheTableIsRefused) {
    OSA_init();
    testing::internal::CaptureStdout();
    EXPECT_EQ(adc_read_channel(3), -1);
    EXPECT_EQ(adc_read_channel(-1), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error channel id:3\nerror channel id:-1\n");
}

}  // namespace
