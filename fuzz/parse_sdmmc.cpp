// SPDX-License-Identifier: Apache-2.0
// The sdmmc option parser with every action it starts: shell commands succeed without
// a shell, one card is present, statfs reports a fixed card and pauses take no time.
// The unit is compiled into the target, so that its state can be put back.
#include "fuzz/argv_input.h"
#include "modules/tq_sdmmc.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sdmmc_dev = nullptr;
    sdmmc_file_size = 128;
    sdmmc_file_num = 128;
    fuzz_parse_argv("sdmmc", data, size, sdmmc_init_param);
    return 0;
}
