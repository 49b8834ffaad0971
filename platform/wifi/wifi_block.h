// SPDX-License-Identifier: Apache-2.0
// What the Wi-Fi library says to wpa_supplicant and reads back from it, kept apart
// from the socket so that it can be checked on its own.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/wifi/wifi.h"

// One SET_NETWORK: a field name of a network block and its value as wpa_supplicant
// parses it (quoted texts, bare hex, word lists).
struct wifi_setting {
    const char* name;
    char value[260];
};

struct wifi_block {
    unsigned int count;
    wifi_setting rows[16];
};

// The network block for a record whose encryption is open, WEP or a WPA-PSK kind.
// -1 when the record holds something no network block can carry (an unknown code,
// an empty or unterminated text, a passphrase that is not printable ASCII) or asks
// for something that is no network block (WPS, enterprise without credentials).
int wifi_build_block(const wifi_record* rec, wifi_block* block);

// A channel number 1 to 14 as its centre frequency in MHz; anything else is taken
// to be MHz already.
uint32_t wifi_freq_mhz(uint32_t freq);

// One line of SCAN_RESULTS; ssid keeps wpa_supplicant's escaping (printable).
struct wifi_ap {
    char bssid[18];
    uint32_t freq;
    int signal;
    char flags[96];
    char ssid[136];
};

#define WIFI_SCAN_MAX 32

struct wifi_info_list {
    unsigned int count;
    wifi_ap aps[WIFI_SCAN_MAX];
};

// Fills list with the access points of a SCAN_RESULTS reply that belong to mode
// (ad-hoc cells for WIFI_MODE_ADHOC, the rest otherwise), at most WIFI_SCAN_MAX.
void wifi_parse_scan_results(const char* reply, uint32_t mode, wifi_info_list* list);

// The BSSID of the strongest access point named name in a SCAN_RESULTS reply
// (names compared after undoing wpa_supplicant's escaping); false when none.
bool wifi_find_bssid(const char* reply, const char* name, char (&bssid)[18]);
