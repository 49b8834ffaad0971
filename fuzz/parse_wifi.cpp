// SPDX-License-Identifier: Apache-2.0
// The wifi option parser, with the unit tests' recording stand-in for the Wi-Fi
// library (scan, status, link and PIN options act at once). The unit is compiled into
// the target, so that its record can be put back to its defaults.
#include "fuzz/argv_input.h"
#include "modules/tq_wifi.cpp"
#include "tests/unit/wifi_fake.h"

static const wifi_record kDefaults = wifi_param;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    wifi_param = kDefaults;
    wifi_config_pending = false;
    g_wifi_calls.clear();
    fuzz_parse_argv("wifi", data, size, wifi_init_param);
    return 0;
}
