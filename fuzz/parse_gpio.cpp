// SPDX-License-Identifier: Apache-2.0
// The gpio option parser. The unit is compiled into the target, so that its private
// parser and record can be reached; the record starts from its defaults.
#include "fuzz/argv_input.h"
#include "modules/tq_gpio.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    g_gpio_cfg = gpio_cfg{};
    fuzz_parse_argv("gpio", data, size, gpio_init_param);
    return 0;
}
