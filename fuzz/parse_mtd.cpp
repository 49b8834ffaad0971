// SPDX-License-Identifier: Apache-2.0
// The mtd option parser.
#include "fuzz/argv_input.h"
#include "modules/tq_mtd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_parse_argv("mtd", data, size, mtd_init_param);
    return 0;
}
