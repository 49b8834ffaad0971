// SPDX-License-Identifier: Apache-2.0
// The pwm option parser. The unit is compiled into the target, so that its private
// parser and record can be reached; the record starts from its defaults.
#include "fuzz/argv_input.h"
#include "modules/tq_pwm.cpp"

static const pwm_params kDefaults = pwm_param;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pwm_param = kDefaults;
    fuzz_parse_argv("pwm", data, size, pwm_init_param);
    return 0;
}
