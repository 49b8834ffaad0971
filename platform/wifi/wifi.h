// SPDX-License-Identifier: Apache-2.0
// The camera's Wi-Fi library: configuration, scan, status and WPS through
// wpa_supplicant's control interface.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The configuration record the diagnostic tool hands over. Its layout is an
// interface (offsets, widths and padding), so every field is fixed-width and the
// padding is spelled out. Text fields are NUL-terminated and zero-filled.
struct wifi_record {
    char ssid[128];
    uint32_t mode;      // WIFI_MODE_*
    uint32_t freq;      // MHz, or a channel number 1 to 14
    uint32_t key_mgmt;  // WIFI_KEY_MGMT_*
    uint32_t auth_alg;  // WIFI_AUTH_*
    uint32_t group;     // WIFI_GROUP_*
    uint32_t encryp;    // WIFI_ENCRYP_*
    uint8_t select;     // WEP key in use, 0 to 3
    char key[4][32];    // WEP keys
    uint8_t pad0[3];
    uint32_t keytype;   // WIFI_KEYTYPE_*
    uint32_t pairwise;  // WIFI_PAIRWISE_*
    uint32_t proto;     // WIFI_PROTO_*
    char psk[64];
    uint8_t wps;      // WIFI_WPS_*
    uint8_t wps_pbc;  // 1: push-button requested
    uint8_t wps_pin;  // 1: PIN with AP name requested
    char apname[64];
    char pincode[10];
    uint8_t reserved[7];
    char ip[32];
    char netmask[32];
    char mac[32];
    char ifname[32];
};

static_assert(sizeof(wifi_record) == 572, "wifi_record size");
static_assert(offsetof(wifi_record, ssid) == 0, "ssid");
static_assert(offsetof(wifi_record, mode) == 128, "mode");
static_assert(offsetof(wifi_record, freq) == 132, "freq");
static_assert(offsetof(wifi_record, key_mgmt) == 136, "key_mgmt");
static_assert(offsetof(wifi_record, auth_alg) == 140, "auth_alg");
static_assert(offsetof(wifi_record, group) == 144, "group");
static_assert(offsetof(wifi_record, encryp) == 148, "encryp");
static_assert(offsetof(wifi_record, select) == 152, "select");
static_assert(offsetof(wifi_record, key) == 153, "key");
static_assert(offsetof(wifi_record, key[1]) == 185, "key1");
static_assert(offsetof(wifi_record, key[2]) == 217, "key2");
static_assert(offsetof(wifi_record, key[3]) == 249, "key3");
static_assert(offsetof(wifi_record, pad0) == 281, "pad0");
static_assert(offsetof(wifi_record, keytype) == 284, "keytype");
static_assert(offsetof(wifi_record, pairwise) == 288, "pairwise");
static_assert(offsetof(wifi_record, proto) == 292, "proto");
static_assert(offsetof(wifi_record, psk) == 296, "psk");
static_assert(offsetof(wifi_record, wps) == 360, "wps");
static_assert(offsetof(wifi_record, wps_pbc) == 361, "wps_pbc");
static_assert(offsetof(wifi_record, wps_pin) == 362, "wps_pin");
static_assert(offsetof(wifi_record, apname) == 363, "apname");
static_assert(offsetof(wifi_record, pincode) == 427, "pincode");
static_assert(offsetof(wifi_record, reserved) == 437, "reserved");
static_assert(offsetof(wifi_record, ip) == 444, "ip");
static_assert(offsetof(wifi_record, netmask) == 476, "netmask");
static_assert(offsetof(wifi_record, mac) == 508, "mac");
static_assert(offsetof(wifi_record, ifname) == 540, "ifname");

enum { WIFI_MODE_MANAGED = 0, WIFI_MODE_ADHOC = 1 };
enum {
    WIFI_KEY_MGMT_NONE = 0,
    WIFI_KEY_MGMT_IEEE8021X = 1,
    WIFI_KEY_MGMT_WPA_PSK = 2,
    WIFI_KEY_MGMT_WPA_EAP = 3,
    WIFI_KEY_MGMT_WPA_NONE = 4,
    WIFI_KEY_MGMT_ALL = 5,
};
enum { WIFI_AUTH_OPEN = 0, WIFI_AUTH_SHARED = 1, WIFI_AUTH_LEAP = 2 };
enum {
    WIFI_GROUP_CCMP = 0,
    WIFI_GROUP_TKIP = 1,
    WIFI_GROUP_WEP104 = 2,
    WIFI_GROUP_WEP40 = 3,
    WIFI_GROUP_AUTO = 5,  // for WPA modes whose pairwise is neither TKIP nor CCMP
};
enum {
    WIFI_ENCRYP_OPEN = 0,
    WIFI_ENCRYP_WEP = 1,
    WIFI_ENCRYP_WPA_PSK = 2,
    WIFI_ENCRYP_WPA2_PSK = 3,
    WIFI_ENCRYP_WPA_WPA2_PSK = 4,
    WIFI_ENCRYP_WPA_EAP = 5,
    WIFI_ENCRYP_WPA2_EAP = 6,
    WIFI_ENCRYP_WPA_WPA2_EAP = 7,
    WIFI_ENCRYP_WPS = 8,
};
enum { WIFI_KEYTYPE_HEX = 0, WIFI_KEYTYPE_ASCII = 1 };
enum { WIFI_PAIRWISE_NONE = 0, WIFI_PAIRWISE_TKIP = 1, WIFI_PAIRWISE_CCMP = 2, WIFI_PAIRWISE_AUTO = 3 };
enum { WIFI_PROTO_WPA = 0, WIFI_PROTO_RSN = 1, WIFI_PROTO_AUTO = 2 };
enum { WIFI_WPS_MASTER = 0, WIFI_WPS_PBC = 1, WIFI_WPS_PIN = 2 };

// Eight digits and the terminating NUL.
#define WIFI_WPS_PIN_SIZE 9

// A scan's access points; handed back unchanged to wifi_info_list_delete.
struct wifi_info_list;

extern "C" {
// Applies the record (a network block, saved) or starts the WPS it asks for.
// 0 when wpa_supplicant took all of it, -1 otherwise.
int wifi_config(const struct wifi_record* param);
// Scans (mode WIFI_MODE_*: which kind of network to list) and prints the table of
// access points found. Null when the scan failed (the reason is printed).
struct wifi_info_list* wifi_info_scan(uint32_t mode);
void wifi_info_list_delete(struct wifi_info_list* list);
// Prints the networks wpa_supplicant holds for the interface.
void wifi_print_config(void);
// 1 link up, 0 link down, -1 unknown (no daemon, no answer).
int wifi_get_status(void);
// Prints the interface's state as wpa_supplicant reports it.
void wifi_print_status(void);
// Writes the device's WPS PIN into pin (WIFI_WPS_PIN_SIZE bytes); 0, or -1 with the
// reason printed and pin empty.
int wifi_wps_get_pin(char* pin);
}
