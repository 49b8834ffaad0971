// SPDX-License-Identifier: Apache-2.0
// The motor option parser, with the stepper library's inert stand-in for the P-iris
// moves and no time spent in their polls. The unit is compiled into the target, so
// that its private parser and record can be reached; the record starts from its
// defaults.
#include "fuzz/argv_input.h"
#include "modules/tq_motor.cpp"

static const motor_request kDefaults = s_motor_request;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    s_motor_request = kDefaults;
    fuzz_parse_argv("motor", data, size, motor_init_param);
    return 0;
}
