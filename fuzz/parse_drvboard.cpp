// SPDX-License-Identifier: Apache-2.0
// The option parser the pt and extdrv modules share. The input's first byte picks the
// module (its table and record), the rest is the command line. The units are compiled
// into the target, so that the modules' private records can be reached and cleared.
#include "fuzz/argv_input.h"
#include "modules/tq_extdrv.cpp"
#include "modules/tq_pt.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    s_pt_cmd = pt_shm_cmd{};
    s_extdrv_cmd = pt_shm_cmd{};
    if (data[0] & 1) {
        fuzz_parse_argv("extdrv", data + 1, size - 1,
                        [](int argc, char** argv) { return pt_init_param(s_extdrv, argc, argv); });
    } else {
        fuzz_parse_argv("pt", data + 1, size - 1,
                        [](int argc, char** argv) { return pt_init_param(s_pt, argc, argv); });
    }
    return 0;
}
