// SPDX-License-Identifier: Apache-2.0
// The cpu option parser. The unit is compiled into the target, so that its private
// parser and record can be reached; the record starts from its defaults.
#include "fuzz/argv_input.h"
#include "modules/tq_cpu.cpp"

static const cpu_param kDefaults = s_cpu_param;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    s_cpu_param = kDefaults;
    fuzz_parse_argv("cpu", data, size, cpu_init_param);
    return 0;
}
