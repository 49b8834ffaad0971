// SPDX-License-Identifier: Apache-2.0
// The wifi module: fills the Wi-Fi library's configuration record from the command
// line, performs the scan, status, link and PIN actions as their options come, and
// applies the record once at the end when a configuration was asked for.
#include "modules/tq_wifi.h"

#include <getopt.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "framework/module.h"
#include "framework/test.h"
#include "framework/usage.h"
#include "osa/osa.h"

#define WIFI_MODULE_ID 18

static const char kUnit[] = "tq_wifi";

// Defaults, field by field in record order. key0 and key2 are ASCII keys of 5 and 13
// characters, key1 and key3 hex keys of 10 and 26 digits.
wifi_record wifi_param = {
    "Brackmoor-Test",                                                        // ssid
    WIFI_MODE_MANAGED,                                                       // mode
    2442,                                                                    // freq (MHz)
    WIFI_KEY_MGMT_WPA_PSK,                                                   // key_mgmt
    WIFI_AUTH_OPEN,                                                          // auth_alg
    WIFI_GROUP_AUTO,                                                         // group
    WIFI_ENCRYP_WPS,                                                         // encryp
    0,                                                                       // select
    {"k7Qp2", "a4f09c21be", "Zr8vLm3qT6wXe", "5e0b7d19c4a2f86e3d71b05c9a"},  // key
    {0, 0, 0},                                                               // pad0
    WIFI_KEYTYPE_ASCII,                                                      // keytype
    WIFI_PAIRWISE_AUTO,                                                      // pairwise
    WIFI_PROTO_AUTO,                                                         // proto
    "fernquail",                                                             // psk
    WIFI_WPS_PBC,                                                            // wps
    1,                                                                       // wps_pbc
    0,                                                                       // wps_pin
    "Brackmoor-Test",                                                        // apname
    "40917263",                                                              // pincode
    {0, 0, 0, 0, 0, 0, 0},                                                   // reserved
    "192.168.0.190",                                                         // ip
    "255.255.255.0",                                                         // netmask
    "02:a7:5d:ff:00:f0",                                                     // mac
    "wlan0",                                                                 // ifname
};

bool wifi_config_pending = false;

// Option values of the options that have only a long form, in table order.
enum {
    kAuthAlg = 1,
    kKeyMgmt,
    kGroup,
    kSsid,
    kSelect,
    kKey0,
    kKey1,
    kKey2,
    kKey3,
    kKeytype,
    kPairwise,
    kProto,
    kPsk,
    kWps,
    kApname,
    kPincode,
    kScan,
    kStatus,
    kLink,
};

// One row per option: long name, argument, value, kind shown in brackets, help text.
// clang-format off
constexpr auto kWifiOptions = option_table("module name: wifi", {
    {"mode", required_argument, 'm', "digit", "wifi work mode default [0:manage]"},
    {"encryp", required_argument, 'e', "str", "wifi encryption type default[4:wpa-wpa2-psk]"},
    {"channel", required_argument, 'c', "digit", "wifi work channel, default [7]:2.442GHZ"},
    {"auth_alg", required_argument, kAuthAlg, "digit", "wifi auth_alg, default[0:OPEN]"},
    {"key_mgmt", required_argument, kKeyMgmt, "digit", "wifi key_mgmt, default[2:PSK]"},
    {"group", required_argument, kGroup, "digit", "wifi group, default[5:WPA]"},
    {"ssid", required_argument, kSsid, "str", "wifi ssid name, default[Brackmoor-Test]"},
    {"select", required_argument, kSelect, "digit", "wifi wep key select, default[0]"},
    {"key0", required_argument, kKey0, "str", "wifi wep key0, default [k7Qp2(ASCII)]"},
    {"key1", required_argument, kKey1, "str", "wifi wep key1, default [a4f09c21be(HEX)]"},
    {"key2", required_argument, kKey2, "str", "wifi wep key2, default [Zr8vLm3qT6wXe(ASCII)]"},
    {"key3", required_argument, kKey3, "str", "wifi wep key3, default [5e0b7d19c4a2f86e3d71b05c9a(HEX)]"},
    {"keytype", required_argument, kKeytype, "dight", "wifi wep key type, default[1:ASCII]"},
    {"pairwise", required_argument, kPairwise, "dight", "wifi wpa pairwise, default[3:AUTO]"},
    {"proto", required_argument, kProto, "dight", "wifi wpa proto, default[3:AUTO]"},
    {"psk", required_argument, kPsk, "pskkey", "wifi wpa psk key, default[fernquail]"},
    {"wps", required_argument, kWps, "digit", "wifi wps type, default[1: PBC]"},
    {"apname", required_argument, kApname, "str", "wifi wps appin AP name, default[Brackmoor-Test]"},
    {"pincode", required_argument, kPincode, "str", "wifi wps appin AP pincode, default[5082613]"},
    {"scan", no_argument, kScan, "", "wifi scan AP infromation"},
    {"status", no_argument, kStatus, "", "wifi get current work information"},
    {"link", no_argument, kLink, "", "wifi check device link up/down"},
});
// clang-format on

// Numeric options stored into a 32-bit field and checked against a range; the
// message takes the range's ends.
struct NumberOption {
    int val;
    uint32_t wifi_record::*field;
    uint32_t low;
    uint32_t high;
    const char* message;
};

constexpr NumberOption kNumberOptions[] = {
    {'m', &wifi_record::mode, 0, 1, "Error wifi mode, must be[%d-%d]\n"},
    {'e', &wifi_record::encryp, 0, 8, "Error wifi encryption, must be[%d-%d]\n"},
    {'c', &wifi_record::freq, 1, 14, "Error wifi freq, must be[%d-%d]\n"},
    {kAuthAlg, &wifi_record::auth_alg, 0, 2, "Error wifi auth_alg, must be[%d-%d]\n"},
    {kKeyMgmt, &wifi_record::key_mgmt, 0, 5, "Error wifi key_mgmt, must be[%d-%d]\n"},
    {kGroup, &wifi_record::group, 0, 6, "Error wifi group, must be[%d-%d]\n"},
    {kKeytype, &wifi_record::keytype, 0, 1, "Error wifi wep keyType, must be [%d-%d]\n"},
    {kPairwise, &wifi_record::pairwise, 0, 3, "Error wifi wpa pairwise, must be [%d-%d]\n"},
    {kProto, &wifi_record::proto, 0, 2, "Error wifi wpa proto, must be [%d-%d]\n"},
};

// Spelled values of -e: the encryption and, where not -1, the group and auth_alg.
struct EncrypWord {
    const char* upper;
    const char* lower;
    uint32_t encryp;
    int group;
    int auth_alg;
};

constexpr EncrypWord kEncrypWords[] = {
    {"WPA-PSK", "wpa-psk", WIFI_ENCRYP_WPA_PSK, WIFI_GROUP_TKIP, -1},
    {"WPA2-PSK", "wpa2-psk", WIFI_ENCRYP_WPA2_PSK, WIFI_GROUP_CCMP, -1},
    {"WPA+WPA2-PSK", "wpa+wpa2-psk", WIFI_ENCRYP_WPA_WPA2_PSK, WIFI_GROUP_AUTO, -1},
    {"WEP40-OPEN", "wep40-open", WIFI_ENCRYP_WEP, WIFI_GROUP_WEP40, WIFI_AUTH_OPEN},
    {"WEP40-SHARED", "wep40-shared", WIFI_ENCRYP_WEP, WIFI_GROUP_WEP40, WIFI_AUTH_SHARED},
    {"WEP104-OPEN", "wep104-open", WIFI_ENCRYP_WEP, WIFI_GROUP_WEP104, WIFI_AUTH_OPEN},
    {"WEP104-SHARED", "wep104-shared", WIFI_ENCRYP_WEP, WIFI_GROUP_WEP104, WIFI_AUTH_SHARED},
    {"OPEN", "open", WIFI_ENCRYP_OPEN, -1, -1},
};

// Spelled values of -m.
struct ModeWord {
    const char* upper;
    const char* lower;
    uint32_t mode;
};

constexpr ModeWord kModeWords[] = {
    {"AD-HOC", "ad-hoc", WIFI_MODE_ADHOC},
    {"MANAGED", "managed", WIFI_MODE_MANAGED},
};

// Text options: the field, and the accepted lengths of the argument (before it is
// cut to the field).
struct TextOption {
    int val;
    char* (*field)(wifi_record& rec);
    size_t size;
    size_t min_len;
    size_t max_len;
    const char* message;
};

constexpr TextOption kTextOptions[] = {
    {kSsid, [](wifi_record& r) { return r.ssid; }, sizeof wifi_param.ssid, 1, SIZE_MAX,
     "Error wifi ssid length, must > 0!\n"},
    {kPsk, [](wifi_record& r) { return r.psk; }, sizeof wifi_param.psk, 8, 63,
     "Error wifi wpa psk_key length, must be [8-63]\n"},
    {kApname, [](wifi_record& r) { return r.apname; }, sizeof wifi_param.apname, 1, 63,
     "Error wifi WPS PinAP SSID length, must be [1-63]\n"},
    {kPincode, [](wifi_record& r) { return r.pincode; }, sizeof wifi_param.pincode, 8, 8,
     "Error wifi WPS PinAP PinCode length, must be 8\n"},
};

static const char* const kKeyMessages[] = {
    "Error wifi wep key0, must be [5,10,13,26]\n",
    "Error wifi wep key1, must be [5,10,13,26]\n",
    "Error wifi wep key2, must be [5,10,13,26]\n",
    "Error wifi wep key3, must be [5,10,13,26]\n",
};

// One text of the help: printed as a line, or left open for the next text.
struct HelpLine {
    const char* text;
    bool newline;
};

// Description: common, WEP, WPA personal, WPA EAP and WPS settings.
constexpr HelpLine kHelpLines[] = {
    {"Wifi configure descryption: ", true},
    {"common config:", true},
    {"    encryp=default[4:wpa-wpa2-psk]", true},
    {"        [0]open: open mode, no encrypeted", true},
    {"        [1]wep: wep encryption", true},
    {"        [2]wpa-psk: WPA1 persional key", true},
    {"        [3]wpa2-psk: WPA2 persional key", true},
    {"        [4]wpa+wpa2-psk: WPA1+WPA2 persional key", true},
    {"        [5]wpa-eap: WPA1 EPA encryption", true},
    {"        [6]wpa2-eap: WPA2 EPA encryption", true},
    {"        [7]wpa+wpa2-eap: WPA1+WPA2 EPA encryption", true},
    {"        [8]wps: Wi-Fi Protected Setup, auto connect to Wi-Fi", true},
    {"    mode=default[0:manage]", true},
    {"        [0]: manage, [1]: ad-hoc", true},
    {"    channel=default[7(2.442GHZ)]", true},
    {"        [1(2.412GHZ)-14(2.484GHZ)], (step 0.005GHZ)", true},
    {"    key_mgmt=default[2:WPA-PSK]", true},
    {"        [0]NONE: for WEP or Ad-hoc open/wep encryption mode", true},
    {"        [1]IEEE8021X: for ieee8021x]", true},
    {"        [2]WPA-PSK: for WPA personal", true},
    {"        [3]WPA-EAP: for WPA enterprise", true},
    {"        [4]WPA-NONE: for Ad-hoc WPA encryption mode", true},
    {"        [5]ALL: for all [NONE IEEE8021X WPA-PSK WPA-EAP]", true},
    {"    auth_alg=default[0:OPEN]", true},
    {"        [0]: OPEN, Open System authentication (required for WPA/WPA2)", true},
    {"        [1]: Shared Key authentication (requires static WEP keys)", true},
    {"        [2]: LEAP/Network EAP (only used with LEAP)", true},
    {"    group=default[5:WPA]", false},
    {"        [0]: CCMP/AES, [1]: TKIP, [2]:WEP104, [3]:WEP40", true},
    {"        [5]: WEP, [6]: WPA, [7]:ALL", true},
    {"    ssid:=default[Brackmoor-Test]\n", true},
    {"WEP config:", true},
    {"    select=default[0]", true},
    {"        [n]: use WEP[n] as wep encrption key value", true},
    {"    key0=default[k7Qp2(ASCII)]", true},
    {"    key1=default[a4f09c21be(HEX)]", true},
    {"    key2=default[Zr8vLm3qT6wXe(ASCII)]", true},
    {"    key3=default[5e0b7d19c4a2f86e3d71b05c9a(HEX)]", true},
    {"        keyn: the key of WEP encryption, length based on keytype", true},
    {"    keytype=default[1:ASCII]", true},
    {"        [0]HEX: keyn length must be 5 or 13", true},
    {"        [1]ASCII: keyn length must be 10 or 26\n", true},
    {"WPA personal config:", true},
    {"    pairwise=default[3:AUTO]", true},
    {"        [0]NONE: Use only Group Keys, use in ad-hoc mode", true},
    {"        [1]TKIP: Temporal Key Integrity Protocol [IEEE 802.11i/D7.0]", true},
    {"        [2]CCMP: AES in Counter mode with CBC-MAC [RFC 3610, IEEE 802.11i/D7.0]", true},
    {"        [3]AUTO: TKIP+CCMP", true},
    {"    proto=default[2:AUTO]", false},
    {"        [0]WPA: [WPA] WPA-TKIP", true},
    {"        [1]RSN: [RSN] WPA2-AES/CCMP", true},
    {"        [2]AUTO: [WPA RSN] WPA-TKIP + WPA2-AES/CCMP\n", true},
    {"WPA EAP config:", true},
    {"        reserverd!\n", true},
    {"WPS config:", true},
    {"    wps=default[0:slave mode]", true},
    {"        [0]master mode: create pin code, then use Wi-Fi to connect IPC-wifi", true},
    {"        [1]PBC mode: PushButton Connection mode", true},
    {"        [2]slave mode: use Wi-Fi pin code and AP name to connect to Wi-Fi", true},
    {"        apname=default[Brackmoor-Test]", true},
    {"            apname: It's used to get Wi-Fi MAC to run WPS", true},
    {"        pincode=default[40917263]", true},
    {"            pincode: Wi-Fi WPS pin code value!\n", true},
};

// Examples, one block per encryption type.
constexpr HelpLine kExampleLines[] = {
    {"WIFI use example:", false},
    {"Encryp=[0:OPEN], command line:", true},
    {"    1: manage mode", true},
    {"        debug -M wifi -e 0 -m 0 --ssid [...] ", true},
    {"    2: ad-hoc mode", true},
    {"        debug -M wifi -e 0 -m 1 -c [n(1-14)] --ssid [...] ", true},
    {"Encryp=[1:WEP], command line:", true},
    {"    1: manage mode", true},
    {"        debug -M wifi -e 1 -m 0 --ssid [...] --select 0 --key0 [...] ", true},
    {"    2: ad-hoc mode", true},
    {"        debug -M wifi -e 1 -m 1 -c [n(1-14)] --ssid [...] --select 0 --key0 [...] ", true},
    {"Encryp=[2:WPA-PSK], command line:", true},
    {"    1: manage mode + TKIP", true},
    {"        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 1 ", true},
    {"    2: manage mode + CCMP/AES", true},
    {"        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 2 ", true},
    {"    3: manage mode + TKIP+CCMP/AES", true},
    {"        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 3 ", true},
    {"    4: ad-hoc mode + TKIP", true},
    {"        debug -M wifi -e 2 -m 0 -c [n(1-14)] --ssid [...] --psk [...] --group  1 ", true},
    {"    5: ad-hoc mode + CCMP/AES", true},
    {"        debug -M wifi -e 2 -m 0 -c [n(1-14)] --ssid [...] --psk [...] --group  0 ", true},
    {"Encryp=[3:WPA2-PSK], command line:", true},
    {"    1: manage mode + TKIP", true},
    {"        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 1 ", true},
    {"    2: manage mode + CCMP/AES", true},
    {"        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 2 ", true},
    {"    3: manage mode + TKIP+CCMP/AES", true},
    {"        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 3 ", true},
    {"Encryp=[4:WPA+WPA2-PSK], command line:", true},
    {"    1: manage mode + TKIP", true},
    {"        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 1 ", true},
    {"    2: manage mode + CCMP/AES", true},
    {"        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 2 ", true},
    {"    3: manage mode + TKIP+CCMP/AES", true},
    {"        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 3 ", true},
    {"Encryp=[8:WPS], command line:", true},
    {"    1: master mode, use Wi-Fi to connect IPC-wifi", true},
    {"        debug -M wifi --wps 0 ", true},
    {"    2: PushButton mode, use Wi-Fi WPS-Button and IPC WPS-Button", true},
    {"        debug -M wifi --wps 1 ", true},
    {"    3: slave mode, IPC-wifi connect to Wi-Fi", true},
    {"        debug -M wifi --wps 2 --apname [...] --pincode [...] ", true},
};

static void print_help_lines(const HelpLine* lines, size_t count) {
    for (size_t i = 0; i < count; i++) {
        if (lines[i].newline) {
            OSA_puts(lines[i].text);
        } else {
            OSA_printf("%s", lines[i].text);
        }
    }
}

void wifi_print_help(void) {
    print_help_lines(kHelpLines, sizeof kHelpLines / sizeof kHelpLines[0]);
}

void wifi_print_example(void) {
    print_help_lines(kExampleLines, sizeof kExampleLines / sizeof kExampleLines[0]);
}

int wifi_usage(void) {
    print_module_usage(WIFI_MODULE_ID, kWifiOptions);
    wifi_print_help();
    wifi_print_example();
    return 0;
}

// The end of every rejected option: the usage, and the process ends without
// applying anything.
[[noreturn]] static void wifi_reject(void) {
    wifi_usage();
    test_exit_process(-1);
}

// Copies the argument verbatim, cut to the field less one byte, the rest zero.
static void wifi_copy_text(char* field, size_t size, const char* arg) {
    strncpy(field, arg, size - 1);
    field[size - 1] = '\0';
}

static uint32_t wifi_encryp_value(const char* arg) {
    for (const EncrypWord& w : kEncrypWords) {
        if (strcmp(arg, w.upper) == 0 || strcmp(arg, w.lower) == 0) {
            if (w.group >= 0) {
                wifi_param.group = static_cast<uint32_t>(w.group);
            }
            if (w.auth_alg >= 0) {
                wifi_param.auth_alg = static_cast<uint32_t>(w.auth_alg);
            }
            return w.encryp;
        }
    }
    return option_number(arg);
}

static uint32_t wifi_mode_value(const char* arg) {
    for (const ModeWord& w : kModeWords) {
        if (strcmp(arg, w.upper) == 0 || strcmp(arg, w.lower) == 0) {
            return w.mode;
        }
    }
    return option_number(arg);
}

static void wifi_scan(void) {
    wifi_info_list* list = wifi_info_scan(wifi_param.mode);
    wifi_info_list_delete(list);
}

static void wifi_link(void) {
    int status = wifi_get_status();
    if (status == 0) {
        OSA_puts("Wifi link down!");
    } else if (status == 1) {
        OSA_puts("Wifi link up!");
    } else {
        OSA_puts("Wifi can't check link status!");
    }
    wifi_print_status();
}

static void wifi_print_pin(void) {
    char pin[WIFI_WPS_PIN_SIZE];
    memset(pin, 0, sizeof pin);
    wifi_wps_get_pin(pin);
    pin[sizeof pin - 1] = '\0';
    OSA_printf("Get IPC-wifi pin code = %s \n", pin);
}

static bool wifi_number_option(int val, const char* arg) {
    for (const NumberOption& o : kNumberOptions) {
        if (o.val != val) {
            continue;
        }
        uint32_t value = val == 'e'   ? wifi_encryp_value(arg)
                         : val == 'm' ? wifi_mode_value(arg)
                                      : option_number(arg);
        wifi_param.*o.field = value;
        if (value < o.low || value > o.high) {
            OSA_ERROR(kUnit, "wifi_init_param", o.message, static_cast<int>(o.low), static_cast<int>(o.high));
            wifi_reject();
        }
        if (val == 'e') {
            wifi_config_pending = true;
        }
        return true;
    }
    return false;
}

static bool wifi_text_option(int val, const char* arg) {
    for (const TextOption& o : kTextOptions) {
        if (o.val != val) {
            continue;
        }
        wifi_copy_text(o.field(wifi_param), o.size, arg);
        size_t len = strlen(arg);
        if (len < o.min_len || len > o.max_len) {
            OSA_ERROR(kUnit, "wifi_init_param", "%s", o.message);
            wifi_reject();
        }
        return true;
    }
    return false;
}

static void wifi_key_option(int index, const char* arg) {
    wifi_copy_text(wifi_param.key[index], sizeof wifi_param.key[index], arg);
    size_t len = strlen(arg);
    if (len != 5 && len != 10 && len != 13 && len != 26) {
        OSA_ERROR(kUnit, "wifi_init_param", "%s", kKeyMessages[index]);
        wifi_reject();
    }
}

// WPS: the type is stored with the WPS encryption; master mode shows the device's
// PIN at once, the other two are applied after parsing.
static void wifi_wps_option(const char* arg) {
    wifi_param.encryp = WIFI_ENCRYP_WPS;
    wifi_param.wps = static_cast<uint8_t>(option_number(arg));
    switch (wifi_param.wps) {
        case WIFI_WPS_MASTER:
            wifi_print_pin();
            break;
        case WIFI_WPS_PBC:
            wifi_param.wps_pbc = 1;
            wifi_config_pending = true;
            break;
        case WIFI_WPS_PIN:
            wifi_param.wps_pin = 1;
            wifi_config_pending = true;
            break;
        default:
            OSA_ERROR(kUnit, "wifi_init_param", "Error WPS type must be [%d-%d]!\n", 0, 2);
            wifi_reject();
    }
}

static const char* wifi_option(int opt, const char* arg) {
    if (wifi_number_option(opt, arg) || wifi_text_option(opt, arg)) {
        return nullptr;
    }
    switch (opt) {
        case 'M':
            return nullptr;
        case kSelect:
            wifi_param.select = static_cast<uint8_t>(option_number(arg));
            return wifi_param.select > 3 ? "Error wifi wep index, must be [0-3]\n" : nullptr;
        case kKey0:
        case kKey1:
        case kKey2:
        case kKey3:
            wifi_key_option(opt - kKey0, arg);
            return nullptr;
        case kWps:
            wifi_wps_option(arg);
            return nullptr;
        case kScan:
            wifi_scan();
            return nullptr;
        case kStatus:
            wifi_print_config();
            return nullptr;
        case kLink:
            wifi_link();
            return nullptr;
        default:
            return kUnknownOption;
    }
}

int wifi_init_param(int argc, char** argv) {
    if (option_parse(argc, argv, kWifiOptions, wifi_option, {kUnit, "wifi_init_param", wifi_usage}) != 0) {
        test_exit_process(-1);
    }
    return 0;
}

// A WEP key's length tells its type and its size: 5 or 13 characters, 10 or 26
// hexadecimal digits; 40 or 104 bits. Other lengths change nothing.
struct WepKeyKind {
    size_t length;
    uint32_t keytype;
    uint32_t group;
};

constexpr WepKeyKind kWepKeyKinds[] = {
    {5, WIFI_KEYTYPE_ASCII, WIFI_GROUP_WEP40},
    {10, WIFI_KEYTYPE_HEX, WIFI_GROUP_WEP40},
    {13, WIFI_KEYTYPE_ASCII, WIFI_GROUP_WEP104},
    {26, WIFI_KEYTYPE_HEX, WIFI_GROUP_WEP104},
};

// Under WEP the selected key's length decides its type and the group cipher; under
// the WPA-PSK kinds the encryption decides the protocol and the pairwise cipher the
// group. Values given for those fields by option are overwritten.
void wifi_adjust_param(void) {
    if (wifi_param.encryp == WIFI_ENCRYP_WEP) {
        size_t length = strnlen(wifi_param.key[wifi_param.select & 3], sizeof wifi_param.key[0]);
        for (const WepKeyKind& kind : kWepKeyKinds) {
            if (kind.length == length) {
                wifi_param.keytype = kind.keytype;
                wifi_param.group = kind.group;
            }
        }
    }
    switch (wifi_param.encryp) {
        case WIFI_ENCRYP_WPA_PSK:
            wifi_param.proto = WIFI_PROTO_WPA;
            break;
        case WIFI_ENCRYP_WPA2_PSK:
            wifi_param.proto = WIFI_PROTO_RSN;
            break;
        case WIFI_ENCRYP_WPA_WPA2_PSK:
            wifi_param.proto = WIFI_PROTO_AUTO;
            break;
        default:
            return;
    }
    if (wifi_param.pairwise == WIFI_PAIRWISE_TKIP) {
        wifi_param.group = WIFI_GROUP_TKIP;
    } else if (wifi_param.pairwise == WIFI_PAIRWISE_CCMP) {
        wifi_param.group = WIFI_GROUP_CCMP;
    } else {
        wifi_param.group = WIFI_GROUP_AUTO;
    }
}

int wifi_test_main(int argc, char** argv) {
    wifi_init_param(argc, argv);
    wifi_adjust_param();
    if (wifi_config_pending && wifi_config(&wifi_param) != 0) {
        OSA_ERROR(kUnit, "wifi_test_main", "wifi config has error!\n");
    }
    return 0;
}

MODULE_REGISTRATION(wifi, WIFI_MODULE_ID, nullptr, kWifiOptions)
