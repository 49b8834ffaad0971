// SPDX-License-Identifier: Apache-2.0
// The ptz option parser, with the PTZ library's inert stand-in for the preset
// options. The unit is compiled into the target, so that its private parser and
// record can be reached; the record starts from its defaults.
#include "fuzz/argv_input.h"
#include "modules/tq_ptz.cpp"

static const ptz_param kDefaults = s_ptz_param;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    s_ptz_param = kDefaults;
    fuzz_parse_argv("ptz", data, size, ptz_init_param);
    return 0;
}
