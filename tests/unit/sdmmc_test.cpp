// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "modules/tq_sdmmc.h"
#include "osa/osa.h"

namespace {

int parse(std::vector<std::string> extra) {
    std::vector<std::string> args = {"debug", "-M", "sdmmc"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(&a[0]);
    }
    argv.push_back(nullptr);
    OSA_init();
    optind = 0;
    return sdmmc_init_param(static_cast<int>(args.size()), argv.data());
}

struct CountCase {
    const char* option;
    const char* text;
    uint32_t num;
    uint32_t size;
};

class FillCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(FillCounts, AreReadAsCNumbers) {
    sdmmc_file_num = sdmmc_file_size = 128;
    EXPECT_EQ(parse({GetParam().option, GetParam().text}), 0);
    EXPECT_EQ(sdmmc_file_num, GetParam().num);
    EXPECT_EQ(sdmmc_file_size, GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(Values, FillCounts,
                         ::testing::Values(CountCase{"-n", "0x10", 16, 128}, CountCase{"-n", "010", 8, 128},
                                           CountCase{"-n", "40960", 40960, 128}, CountCase{"-n", "1", 1, 128},
                                           CountCase{"--filenum", "7", 7, 128},
                                           CountCase{"-z", "1024", 128, 1024},
                                           CountCase{"--filesize", "1", 128, 1}));

struct FigureCase {
    uint64_t block_size, blocks, free_blocks;
    const char* expected;
};

class Figures : public ::testing::TestWithParam<FigureCase> {};

TEST_P(Figures, AreTruncatedBinaryUnits) {
    OSA_init();
    testing::internal::CaptureStdout();
    sdmmc_print_figures(GetParam().block_size, GetParam().blocks, GetParam().free_blocks);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, Figures,
    ::testing::Values(FigureCase{4096, 393216, 393216,
                                 "Block = 4 KB \n"
                                 "Total = 1610612736 B = 1572864 KB = 1536 MB = 1.50 GB\n"
                                 "Free = 1572864 KB = 1536 MB = 1.50 GB\n"
                                 "Use = 0 KB = 0 MB = 0.00 GB\n"},
                      // The megabyte figure is cut before the gigabytes are worked out from it.
                      FigureCase{512, 2070527, 2048,
                                 "Block = 0 KB \n"
                                 "Total = 1060109824 B = 1035263 KB = "
                                 "1010 MB = 0.99 GB\n"
                                 "Free = 1024 KB = 1 MB = 0.00 GB\n"
                                 "Use = 1034239 KB = 1009 MB = 0.99 GB\n"},
                      FigureCase{32768, 0x100000000ULL, 0x80000000ULL,
                                 "Block = 32 KB \n"
                                 "Total = 140737488355328 B = 137438953472 KB = 134217728 MB "
                                 "= 131072.00 GB\n"
                                 "Free = 68719476736 KB = 67108864 MB = 65536.00 GB\n"
                                 "Use = 68719476736 KB = 67108864 MB = 65536.00 GB\n"}));

}  // namespace
