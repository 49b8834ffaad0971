// SPDX-License-Identifier: Apache-2.0
// A recording stand-in for the Wi-Fi library: every call is noted in order.
#pragma once

#include <string>
#include <vector>

#include "platform/wifi/wifi.h"

extern std::vector<std::string> g_wifi_calls;
extern int g_wifi_status;           // what wifi_get_status returns
extern int g_wifi_config_result;    // what wifi_config returns
extern std::string g_wifi_pin;      // what wifi_wps_get_pin writes
extern wifi_record g_wifi_applied;  // the record as wifi_config got it
