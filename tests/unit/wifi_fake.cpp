// SPDX-License-Identifier: Apache-2.0
#include "tests/unit/wifi_fake.h"

#include <string.h>

std::vector<std::string> g_wifi_calls;
int g_wifi_status;
int g_wifi_config_result;
std::string g_wifi_pin;
wifi_record g_wifi_applied;

namespace {
wifi_info_list* const kScanList = reinterpret_cast<wifi_info_list*>(&g_wifi_status);
}

extern "C" {

int wifi_config(const struct wifi_record* param) {
    g_wifi_calls.push_back("config");
    g_wifi_applied = *param;
    return g_wifi_config_result;
}

struct wifi_info_list* wifi_info_scan(uint32_t mode) {
    g_wifi_calls.push_back("scan " + std::to_string(mode));
    return kScanList;
}

void wifi_info_list_delete(struct wifi_info_list* list) {
    g_wifi_calls.push_back(list == kScanList ? "delete scan" : "delete other");
}

void wifi_print_config(void) {
    g_wifi_calls.push_back("print_config");
}

int wifi_get_status(void) {
    g_wifi_calls.push_back("get_status");
    return g_wifi_status;
}

void wifi_print_status(void) {
    g_wifi_calls.push_back("print_status");
}

int wifi_wps_get_pin(char* pin) {
    g_wifi_calls.push_back("get_pin");
    memcpy(pin, g_wifi_pin.data(),
           g_wifi_pin.size() < WIFI_WPS_PIN_SIZE ? g_wifi_pin.size() : WIFI_WPS_PIN_SIZE);
    return 0;
}
}
