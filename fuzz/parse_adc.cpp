// SPDX-License-Identifier: Apache-2.0
// The adc option parser. The unit is compiled into the target, so that its private
// parser and records can be reached; both records start from their defaults.
#include "fuzz/argv_input.h"
#include "modules/tq_adc.cpp"

static const adc_param kParamDefaults = s_adc_param;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    s_adc_param = kParamDefaults;
    s_adc_shm = adc_shm_param{};
    fuzz_parse_argv("adc", data, size, adc_init_param);
    return 0;
}
