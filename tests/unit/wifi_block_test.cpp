// SPDX-License-Identifier: Apache-2.0
#include "platform/wifi/wifi_block.h"

#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

// The module's defaults, with WPA2-PSK over CCMP as a starting point.
wifi_record base() {
    wifi_record r;
    memset(&r, 0, sizeof r);
    strcpy(r.ssid, "Lab");
    r.freq = 2442;
    r.key_mgmt = WIFI_KEY_MGMT_WPA_PSK;
    r.group = WIFI_GROUP_CCMP;
    r.encryp = WIFI_ENCRYP_WPA2_PSK;
    strcpy(r.key[0], "k7Qp2");
    strcpy(r.key[1], "a4f09c21be");
    strcpy(r.key[2], "Zr8vLm3qT6wXe");
    strcpy(r.key[3], "5e0b7d19c4a2f86e3d71b05c9a");
    r.keytype = WIFI_KEYTYPE_ASCII;
    r.pairwise = WIFI_PAIRWISE_CCMP;
    r.proto = WIFI_PROTO_RSN;
    strcpy(r.psk, "fernquail");
    strcpy(r.ifname, "wlan0");
    return r;
}

std::vector<std::string> rows(const wifi_block& b) {
    std::vector<std::string> out;
    for (unsigned int i = 0; i < b.count; i++) {
        out.push_back(std::string(b.rows[i].name) + " " + b.rows[i].value);
    }
    return out;
}

struct BlockCase {
    const char* name;
    std::function<void(wifi_record&)> change;
    std::vector<std::string> expected;
};

void PrintTo(const BlockCase& c, std::ostream* os) {
    *os << c.name;
}

class WifiBlock : public ::testing::TestWithParam<BlockCase> {};

const std::string kWepKeys[] = {"wep_key0 \"k7Qp2\"", "wep_key1 a4f09c21be", "wep_key2 \"Zr8vLm3qT6wXe\"",
                                "wep_key3 5e0b7d19c4a2f86e3d71b05c9a"};

const BlockCase kBlockCases[] = {
    {"wpa2_psk",
     [](wifi_record&) {},
     {"ssid 4c6162", "key_mgmt WPA-PSK", "proto RSN", "pairwise CCMP", "group CCMP", "psk \"fernquail\""}},
    {"wpa_group_4_and_tkip",
     [](wifi_record& r) {
         r.encryp = WIFI_ENCRYP_WPA_PSK;
         r.proto = WIFI_PROTO_WPA;
         r.pairwise = WIFI_PAIRWISE_TKIP;
         r.group = 4;
     },
     {"ssid 4c6162", "key_mgmt WPA-PSK", "proto WPA", "pairwise TKIP", "group CCMP TKIP",
      "psk \"fernquail\""}},
    {"wpa_none_ignored_in_managed",
     [](wifi_record& r) { r.key_mgmt = WIFI_KEY_MGMT_WPA_NONE; },
     {"ssid 4c6162", "key_mgmt WPA-PSK", "proto RSN", "pairwise CCMP", "group CCMP", "psk \"fernquail\""}},
    {"psk_with_quote_and_blank",
     [](wifi_record& r) { strcpy(r.psk, "a \"b\" c d"); },
     {"ssid 4c6162", "key_mgmt WPA-PSK", "proto RSN", "pairwise CCMP", "group CCMP", "psk \"a \"b\" c d\""}},
    {"open_ignores_key_mgmt",
     [](wifi_record& r) {
         r.encryp = WIFI_ENCRYP_OPEN;
         r.key_mgmt = WIFI_KEY_MGMT_IEEE8021X;
     },
     {"ssid 4c6162", "key_mgmt NONE"}},
    {"open_adhoc_channel_1",
     [](wifi_record& r) {
         r.encryp = WIFI_ENCRYP_OPEN;
         r.mode = WIFI_MODE_ADHOC;
         r.freq = 1;
     },
     {"ssid 4c6162", "mode 1", "frequency 2412", "key_mgmt NONE"}},
    {"ssid_any_bytes_as_hex",
     [](wifi_record& r) {
         r.encryp = WIFI_ENCRYP_OPEN;
         strcpy(r.ssid, "a\"\n\xff");
     },
     {"ssid 61220aff", "key_mgmt NONE"}},
    {"wep_keys_quoted_by_type",
     [](wifi_record& r) {
         r.encryp = WIFI_ENCRYP_WEP;
         r.group = WIFI_GROUP_WEP104;
         r.select = 2;
     },
     {"ssid 4c6162", "key_mgmt NONE", "auth_alg OPEN", "group WEP104", kWepKeys[0], kWepKeys[1], kWepKeys[2],
      kWepKeys[3], "wep_tx_keyidx 2"}},
    {"wep_unprintable_ascii_key_as_hex_and_empty_key_left_out",
     [](wifi_record& r) {
         r.encryp = WIFI_ENCRYP_WEP;
         r.group = WIFI_GROUP_WEP40;
         r.auth_alg = WIFI_AUTH_LEAP;
         strcpy(r.key[0], "ab\ncd");
         memset(r.key[2], 0, sizeof r.key[2]);
     },
     {"ssid 4c6162", "key_mgmt NONE", "auth_alg LEAP", "group WEP40", "wep_key0 61620a6364", kWepKeys[1],
      kWepKeys[3], "wep_tx_keyidx 0"}},
    {"wep_other_length_follows_keytype_and_group_5_is_left_out",
     [](wifi_record& r) {
         r.encryp = WIFI_ENCRYP_WEP;
         r.group = WIFI_GROUP_AUTO;
         r.auth_alg = WIFI_AUTH_SHARED;
         r.keytype = WIFI_KEYTYPE_HEX;
         strcpy(r.key[1], "0123456789abcdef");
         strcpy(r.key[3], "abcdefg");
         r.select = 1;
     },
     {"ssid 4c6162", "key_mgmt NONE", "auth_alg SHARED", kWepKeys[0], "wep_key1 0123456789abcdef",
      kWepKeys[2], "wep_key3 abcdefg", "wep_tx_keyidx 1"}},
};

TEST_P(WifiBlock, SaysTheRecordInWpaSupplicantsWords) {
    wifi_record r = base();
    GetParam().change(r);
    wifi_block block;
    ASSERT_EQ(wifi_build_block(&r, &block), 0);
    EXPECT_EQ(rows(block), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Records, WifiBlock, ::testing::ValuesIn(kBlockCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::function<void(wifi_record&)> change;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class WifiBlockRefused : public ::testing::TestWithParam<RefusedCase> {};

const RefusedCase kRefusedCases[] = {
    {"wpa_eap", [](wifi_record& r) { r.encryp = WIFI_ENCRYP_WPA_EAP; }},
    {"wpa2_eap", [](wifi_record& r) { r.encryp = WIFI_ENCRYP_WPA2_EAP; }},
    {"wpa_wpa2_eap", [](wifi_record& r) { r.encryp = WIFI_ENCRYP_WPA_WPA2_EAP; }},
    {"wps", [](wifi_record& r) { r.encryp = WIFI_ENCRYP_WPS; }},
    {"unknown_encryp", [](wifi_record& r) { r.encryp = 9; }},
    {"empty_ssid", [](wifi_record& r) { r.ssid[0] = '\0'; }},
    {"unterminated_ssid", [](wifi_record& r) { memset(r.ssid, 's', sizeof r.ssid); }},
    {"unknown_mode", [](wifi_record& r) { r.mode = 2; }},
    {"short_psk", [](wifi_record& r) { strcpy(r.psk, "1234567"); }},
    {"unterminated_psk", [](wifi_record& r) { memset(r.psk, 'p', sizeof r.psk); }},
    {"psk_with_tab", [](wifi_record& r) { strcpy(r.psk, "fern\tquail"); }},
    {"psk_not_ascii", [](wifi_record& r) { strcpy(r.psk, "fernqu\xc3\xa4il"); }},
    {"unknown_proto", [](wifi_record& r) { r.proto = 3; }},
    {"unknown_pairwise", [](wifi_record& r) { r.pairwise = 4; }},
    {"wep_select_4",
     [](wifi_record& r) {
         r.encryp = WIFI_ENCRYP_WEP;
         r.select = 4;
     }},
    {"wep_unknown_auth",
     [](wifi_record& r) {
         r.encryp = WIFI_ENCRYP_WEP;
         r.auth_alg = 3;
     }},
    {"wep_selected_key_empty",
     [](wifi_record& r) {
         r.encryp = WIFI_ENCRYP_WEP;
         r.select = 1;
         r.key[1][0] = '\0';
     }},
    {"wep_unterminated_key",
     [](wifi_record& r) {
         r.encryp = WIFI_ENCRYP_WEP;
         memset(r.key[3], 'k', sizeof r.key[3]);
     }},
};

TEST_P(WifiBlockRefused, IsNoNetworkBlock) {
    wifi_record r = base();
    GetParam().change(r);
    wifi_block block;
    EXPECT_EQ(wifi_build_block(&r, &block), -1);
}

INSTANTIATE_TEST_SUITE_P(Records, WifiBlockRefused, ::testing::ValuesIn(kRefusedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WifiFreq, ChannelsBecomeMegahertzOtherValuesStay) {
    const std::pair<uint32_t, uint32_t> cases[] = {{1, 2412}, {7, 2442}, {13, 2472},   {14, 2484},
                                                   {0, 0},    {15, 15},  {2442, 2442}, {5180, 5180}};
    for (const auto& c : cases) {
        EXPECT_EQ(wifi_freq_mhz(c.first), c.second) << c.first;
    }
}

// ---------------------------------------------------------------- scan results

const char kResults[] =
    "bssid / frequency / signal level / flags / ssid\n"
    "00:11:22:33:44:55\t2437\t-41\t[WPA2-PSK-CCMP][WPS][ESS]\tLab\n"
    "02:00:00:00:00:01\t2462\t-67\t[IBSS]\tCell\n"
    "not a line\n"
    "66:77:88:99:aa:bb\t2412\t-30\t[ESS]\tLab\n"
    "aa:bb:cc:dd:ee:ff\t2442\t-50\t[ESS]\tcaf\\xc3\\xa9\\t\\\"x\\\\\n"
    "aa:bb:cc:dd:ee:00\t2472\t-90\t[ESS]\n";

std::vector<std::string> listed(const wifi_info_list& l) {
    std::vector<std::string> out;
    for (unsigned int i = 0; i < l.count; i++) {
        const wifi_ap& a = l.aps[i];
        out.push_back(std::string(a.bssid) + " " + std::to_string(a.freq) + " " + std::to_string(a.signal) +
                      " " + a.flags + " " + a.ssid);
    }
    return out;
}

TEST(WifiScan, ManagedListsEveryNetworkButAdhocCells) {
    static wifi_info_list list;
    wifi_parse_scan_results(kResults, WIFI_MODE_MANAGED, &list);
    EXPECT_EQ(listed(list), (std::vector<std::string>{
                                "00:11:22:33:44:55 2437 -41 [WPA2-PSK-CCMP][WPS][ESS] Lab",
                                "66:77:88:99:aa:bb 2412 -30 [ESS] Lab",
                                "aa:bb:cc:dd:ee:ff 2442 -50 [ESS] caf\\xc3\\xa9\\t\\\"x\\\\",
                                "aa:bb:cc:dd:ee:00 2472 -90 [ESS] ",
                            }));
    wifi_parse_scan_results(kResults, WIFI_MODE_ADHOC, &list);
    EXPECT_EQ(listed(list), (std::vector<std::string>{"02:00:00:00:00:01 2462 -67 [IBSS] Cell"}));
}

TEST(WifiScan, KeepsAtMostItsRoomAndCutsLongFlags) {
    std::string reply = "bssid / frequency / signal level / flags / ssid\n";
    for (int i = 0; i < WIFI_SCAN_MAX + 8; i++) {
        char line[200];
        snprintf(line, sizeof line, "00:00:00:00:00:%02x\t2412\t-%d\t[%s]\tn%d\n", i, i,
                 std::string(150, 'F').c_str(), i);
        reply += line;
    }
    static wifi_info_list list;
    wifi_parse_scan_results(reply.c_str(), WIFI_MODE_MANAGED, &list);
    ASSERT_EQ(list.count, static_cast<unsigned int>(WIFI_SCAN_MAX));
    EXPECT_STREQ(list.aps[WIFI_SCAN_MAX - 1].ssid, "n31");
    EXPECT_EQ(strlen(list.aps[0].flags), sizeof list.aps[0].flags - 1);
}

TEST(WifiScan, FindsTheStrongestAccessPointOfAName) {
    char bssid[18] = "";
    EXPECT_TRUE(wifi_find_bssid(kResults, "Lab", bssid));
    EXPECT_STREQ(bssid, "66:77:88:99:aa:bb");
    EXPECT_TRUE(wifi_find_bssid(kResults, "caf\xc3\xa9\t\"x\\", bssid));
    EXPECT_STREQ(bssid, "aa:bb:cc:dd:ee:ff");
    EXPECT_TRUE(wifi_find_bssid(kResults, "Cell", bssid));
    EXPECT_STREQ(bssid, "02:00:00:00:00:01");
    EXPECT_FALSE(wifi_find_bssid(kResults, "La", bssid));
    EXPECT_FALSE(wifi_find_bssid(kResults, "caf\\xc3\\xa9", bssid));
    EXPECT_FALSE(wifi_find_bssid("bssid / frequency / signal level / flags / ssid\n", "Lab", bssid));
}

}  // namespace
