// SPDX-License-Identifier: Apache-2.0
// The ir option parser. The unit is compiled into the target, so that its private
// parser and record can be reached; the record starts from its defaults.
#include "fuzz/argv_input.h"
#include "modules/tq_ir.cpp"

static const ir_params kDefaults = ir_param;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ir_param = kDefaults;
    fuzz_parse_argv("ir", data, size, ir_init_param);
    return 0;
}
