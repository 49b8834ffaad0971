// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "framework/test.h"
#include "modules/tq_wifi.h"
#include "osa/osa.h"
#include "tests/unit/wifi_fake.h"

namespace {

// Taken before any test changes the record.
const wifi_record kDefaults = wifi_param;

class WifiModule : public ::testing::Test {
protected:
    void SetUp() override {
        wifi_param = kDefaults;
        wifi_config_pending = false;
        g_wifi_calls.clear();
        g_wifi_status = 0;
        g_wifi_config_result = 0;
        g_wifi_pin = "12345670";
        memset(&g_wifi_applied, 0, sizeof g_wifi_applied);
        snprintf(g_prog_name, sizeof g_prog_name, "debug");
        OSA_init();
    }

    // argv as main hands it over: "debug -M wifi ARGS"; getopt_long starts afresh.
    static std::vector<std::string> argv_of(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"debug", "-M", "wifi"};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }
    static int call(int (*fn)(int, char**), std::vector<std::string> all) {
        std::vector<char*> argv;
        for (auto& a : all) {
            argv.push_back(&a[0]);
        }
        argv.push_back(nullptr);
        optind = 0;
        return fn(static_cast<int>(all.size()), argv.data());
    }
    static void parse(const std::vector<std::string>& args) {
        ASSERT_EQ(call(wifi_init_param, argv_of(args)), 0);
    }
    static std::string run(const std::vector<std::string>& args, std::string* err = nullptr) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(call(wifi_test_main, argv_of(args)), 0);
        std::string e = testing::internal::GetCapturedStderr();
        if (err != nullptr) {
            *err = e;
        }
        return testing::internal::GetCapturedStdout();
    }
};

// ---------------------------------------------------------------- the record's bytes

std::string le32(uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string text(const char* s, size_t width) {
    std::string t(s);
    t.resize(width, '\0');
    return t;
}

// The whole 572-byte image of the defaults, field by field at its offset.
TEST(WifiRecord, DefaultsLieAtTheirOffsetsWithEveryOtherByteZero) {
    const struct {
        size_t offset;
        std::string bytes;
    } fields[] = {
        {0, text("Brackmoor-Test", 128)},
        {128, le32(0)},
        {132, le32(2442)},
        {136, le32(2)},
        {140, le32(0)},
        {144, le32(5)},
        {148, le32(8)},
        {152, std::string(1, '\0')},
        {153, text("k7Qp2", 32)},
        {185, text("a4f09c21be", 32)},
        {217, text("Zr8vLm3qT6wXe", 32)},
        {249, text("5e0b7d19c4a2f86e3d71b05c9a", 32)},
        {281, std::string(3, '\0')},
        {284, le32(1)},
        {288, le32(3)},
        {292, le32(2)},
        {296, text("fernquail", 64)},
        {360, std::string("\x01\x01\x00", 3)},
        {363, text("Brackmoor-Test", 64)},
        {427, text("40917263", 10)},
        {437, std::string(7, '\0')},
        {444, text("192.168.0.190", 32)},
        {476, text("255.255.255.0", 32)},
        {508, text("02:a7:5d:ff:00:f0", 32)},
        {540, text("wlan0", 32)},
    };
    std::string image;
    for (const auto& f : fields) {
        ASSERT_EQ(image.size(), f.offset);
        image += f.bytes;
    }
    ASSERT_EQ(image.size(), sizeof(wifi_record));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&kDefaults), sizeof kDefaults), image);
}

// ---------------------------------------------------------------- conversions

using Check = std::function<void(const wifi_record&)>;

struct ParseCase {
    const char* name;
    std::vector<std::string> args;
    Check check;
    bool pending;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class WifiParse : public WifiModule, public ::testing::WithParamInterface<ParseCase> {};

#define FIELD(f, v) [](const wifi_record& r) { EXPECT_EQ(r.f, v##u); }

const ParseCase kParseCases[] = {
    {"mode_word_other_case_is_a_number", {"-m", "AdHoc"}, FIELD(mode, 0), false},
    {"mode_word_adhoc", {"-m", "ad-hoc"}, FIELD(mode, 1), false},
    {"mode_word_upper", {"--mode", "AD-HOC"}, FIELD(mode, 1), false},
    {"mode_managed_after_adhoc", {"-m", "1", "-m", "MANAGED"}, FIELD(mode, 0), false},
    {"mode_cut_to_32_bits", {"-m", "0x100000001"}, FIELD(mode, 1), false},
    {"encryp_unknown_word_is_open", {"-e", "wpa3"}, FIELD(encryp, 0), true},
    {"encryp_word_with_other_case", {"-e", "Wep"}, FIELD(encryp, 0), true},
    {"encryp_number_leaves_group",
     {"-e", "0x4"},
     [](const wifi_record& r) {
         EXPECT_EQ(r.encryp, 4u);
         EXPECT_EQ(r.group, 5u);
     },
     true},
    {"encryp_wpa_psk",
     {"-e", "wpa-psk"},
     [](const wifi_record& r) {
         EXPECT_EQ(r.encryp, 2u);
         EXPECT_EQ(r.group, 1u);
     },
     true},
    {"encryp_wpa2_psk",
     {"-e", "WPA2-PSK"},
     [](const wifi_record& r) {
         EXPECT_EQ(r.encryp, 3u);
         EXPECT_EQ(r.group, 0u);
     },
     true},
    {"encryp_wpa_wpa2_psk",
     {"--group", "1", "-e", "wpa+wpa2-psk"},
     [](const wifi_record& r) {
         EXPECT_EQ(r.encryp, 4u);
         EXPECT_EQ(r.group, 5u);
     },
     true},
    {"encryp_wep104_shared",
     {"-e", "WEP104-SHARED"},
     [](const wifi_record& r) {
         EXPECT_EQ(r.encryp, 1u);
         EXPECT_EQ(r.group, 2u);
         EXPECT_EQ(r.auth_alg, 1u);
     },
     true},
    {"encryp_wep40_open",
     {"--auth_alg", "2", "-e", "wep40-open"},
     [](const wifi_record& r) {
         EXPECT_EQ(r.encryp, 1u);
         EXPECT_EQ(r.group, 3u);
         EXPECT_EQ(r.auth_alg, 0u);
     },
     true},
    {"encryp_open_keeps_group_and_auth",
     {"--auth_alg", "1", "--group", "4", "-e", "OPEN"},
     [](const wifi_record& r) {
         EXPECT_EQ(r.encryp, 0u);
         EXPECT_EQ(r.group, 4u);
         EXPECT_EQ(r.auth_alg, 1u);
     },
     true},
    {"channel_is_stored_as_given", {"-c", "7"}, FIELD(freq, 7), false},
    {"channel_octal", {"--channel", "014"}, FIELD(freq, 12), false},
    {"channel_trailing_text", {"-c", "3abc"}, FIELD(freq, 3), false},
    {"select_low_8_bits", {"--select", "256"}, FIELD(select, 0), false},
    {"select_hex", {"--select", "0x103"}, FIELD(select, 3), false},
    {"key_mgmt", {"--key_mgmt", "5"}, FIELD(key_mgmt, 5), false},
    {"keytype_pairwise_proto",
     {"--keytype", "0", "--pairwise", "1", "--proto", "0"},
     [](const wifi_record& r) {
         EXPECT_EQ(r.keytype, 0u);
         EXPECT_EQ(r.pairwise, 1u);
         EXPECT_EQ(r.proto, 0u);
     },
     false},
    {"wps_low_8_bits_pin_mode",
     {"--wps", "258"},
     [](const wifi_record& r) {
         EXPECT_EQ(r.encryp, 8u);
         EXPECT_EQ(r.wps, 2u);
         EXPECT_EQ(r.wps_pin, 1u);
         EXPECT_EQ(r.wps_pbc, 1u);
     },
     true},
    {"wps_after_encryp_wins", {"-e", "2", "--wps", "1"}, FIELD(encryp, 8), true},
    {"encryp_after_wps_wins", {"--wps", "1", "-e", "2"}, FIELD(encryp, 2), true},
    {"wps_master_sets_nothing_pending",
     {"--wps", "0"},
     [](const wifi_record& r) {
         EXPECT_EQ(r.encryp, 8u);
         EXPECT_EQ(r.wps, 0u);
     },
     false},
    {"ssid_cut_to_127",
     {"--ssid", std::string(200, 's')},
     [](const wifi_record& r) {
         EXPECT_EQ(std::string(r.ssid, sizeof r.ssid), std::string(127, 's') + '\0');
     },
     false},
    {"shorter_ssid_zeroes_the_rest",
     {"--ssid", "x"},
     [](const wifi_record& r) { EXPECT_EQ(std::string(r.ssid, sizeof r.ssid), text("x", 128)); },
     false},
    {"ssid_is_not_a_format",
     {"--ssid", "%s%n"},
     [](const wifi_record& r) { EXPECT_STREQ(r.ssid, "%s%n"); },
     false},
    {"psk_63",
     {"--psk", std::string(63, 'p')},
     [](const wifi_record& r) { EXPECT_EQ(std::string(r.psk, sizeof r.psk), std::string(63, 'p') + '\0'); },
     false},
    {"keys_by_index",
     {"--key3", "abcde", "--key2", std::string(26, 'f')},
     [](const wifi_record& r) {
         EXPECT_EQ(std::string(r.key[3], 32), text("abcde", 32));
         EXPECT_EQ(std::string(r.key[2], 32), text(std::string(26, 'f').c_str(), 32));
         EXPECT_EQ(std::string(r.key[1], 32), text("a4f09c21be", 32));
     },
     false},
    {"apname_and_pincode",
     {"--apname", std::string(63, 'n'), "--pincode", "12345678"},
     [](const wifi_record& r) {
         EXPECT_EQ(std::string(r.apname, 64), std::string(63, 'n') + '\0');
         EXPECT_EQ(std::string(r.pincode, 10), text("12345678", 10));
         EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.reserved), 7), std::string(7, '\0'));
     },
     false},
};

TEST_P(WifiParse, StoresTheConvertedValue) {
    g_wifi_pin = "";
    testing::internal::CaptureStdout();
    parse(GetParam().args);
    testing::internal::GetCapturedStdout();
    GetParam().check(wifi_param);
    EXPECT_EQ(wifi_config_pending, GetParam().pending);
}

INSTANTIATE_TEST_SUITE_P(Options, WifiParse, ::testing::ValuesIn(kParseCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- derived fields

struct AdjustCase {
    const char* name;
    uint32_t encryp;
    uint8_t select;
    size_t key_len;  // of the selected key
    uint32_t pairwise;
    uint32_t keytype, group, proto;  // expected
};

void PrintTo(const AdjustCase& c, std::ostream* os) {
    *os << c.name;
}

class WifiAdjust : public WifiModule, public ::testing::WithParamInterface<AdjustCase> {};

// Preset: keytype 7, group 9, proto 8, so that an unchanged field shows.
const AdjustCase kAdjustCases[] = {
    {"wep_5_ascii_wep40", 1, 0, 5, 3, 1, 3, 8},
    {"wep_10_hex_wep40", 1, 1, 10, 3, 0, 3, 8},
    {"wep_13_ascii_wep104", 1, 2, 13, 3, 1, 2, 8},
    {"wep_26_hex_wep104", 1, 3, 26, 3, 0, 2, 8},
    {"wep_other_length_unchanged", 1, 0, 11, 3, 7, 9, 8},
    {"wep_empty_key_unchanged", 1, 2, 0, 3, 7, 9, 8},
    {"wpa_psk_tkip", 2, 0, 5, 1, 7, 1, 0},
    {"wpa_psk_ccmp", 2, 0, 5, 2, 7, 0, 0},
    {"wpa2_psk_auto", 3, 0, 5, 3, 7, 5, 1},
    {"wpa2_psk_none", 3, 0, 5, 0, 7, 5, 1},
    {"wpa_wpa2_psk_ccmp", 4, 0, 5, 2, 7, 0, 2},
    {"open_unchanged", 0, 0, 5, 1, 7, 9, 8},
    {"eap_unchanged", 6, 0, 5, 1, 7, 9, 8},
    {"wps_unchanged", 8, 0, 5, 1, 7, 9, 8},
};

TEST_P(WifiAdjust, DerivesFromKeyLengthOrEncryption) {
    const AdjustCase& c = GetParam();
    wifi_param.encryp = c.encryp;
    wifi_param.select = c.select;
    memset(wifi_param.key[c.select], 0, sizeof wifi_param.key[0]);
    memset(wifi_param.key[c.select], 'k', c.key_len);
    wifi_param.pairwise = c.pairwise;
    wifi_param.keytype = 7;
    wifi_param.group = 9;
    wifi_param.proto = 8;
    wifi_adjust_param();
    EXPECT_EQ(wifi_param.keytype, c.keytype);
    EXPECT_EQ(wifi_param.group, c.group);
    EXPECT_EQ(wifi_param.proto, c.proto);
}

INSTANTIATE_TEST_SUITE_P(Rules, WifiAdjust, ::testing::ValuesIn(kAdjustCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WifiModule, WepKeyLengthOverridesKeytypeAndGroupGivenAsOptions) {
    run({"-e", "1", "--select", "2", "--keytype", "0", "--group", "3"});
    EXPECT_EQ(g_wifi_applied.keytype, 1u);
    EXPECT_EQ(g_wifi_applied.group, 2u);
}

// ---------------------------------------------------------------- actions and the configuration

struct RunCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> calls;
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

class WifiRun : public WifiModule, public ::testing::WithParamInterface<RunCase> {};

const RunCase kRunCases[] = {
    {"nothing", {}, {}},
    {"record_only", {"--ssid", "x", "--psk", "12345678", "-m", "1"}, {}},
    {"scan_with_mode_as_it_stands",
     {"--scan", "-m", "1", "--scan"},
     {"scan 0", "delete scan", "scan 1", "delete scan"}},
    {"config_after_every_action",
     {"-e", "2", "--link", "--wps", "0"},
     {"get_status", "print_status", "get_pin", "config"}},
    {"one_config_for_many_requests", {"-e", "2", "--wps", "1", "--wps", "2", "-e", "0"}, {"config"}},
};

TEST_P(WifiRun, CallsTheLibraryInOrder) {
    run(GetParam().args);
    EXPECT_EQ(g_wifi_calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(Actions, WifiRun, ::testing::ValuesIn(kRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WifiModule, PinModeWpsCarriesBothFlags) {
    run({"--wps", "2", "--apname", "Lab", "--pincode", "12345678"});
    EXPECT_EQ(g_wifi_calls, std::vector<std::string>{"config"});
    EXPECT_EQ(g_wifi_applied.encryp, 8u);
    EXPECT_EQ(g_wifi_applied.wps, 2u);
    EXPECT_EQ(g_wifi_applied.wps_pin, 1u);
    EXPECT_EQ(g_wifi_applied.wps_pbc, 1u);
    EXPECT_STREQ(g_wifi_applied.apname, "Lab");
}

TEST_F(WifiModule, FailedConfigurationIsReportedAndTheRunStillSucceeds) {
    g_wifi_config_result = -1;
    std::string err;
    EXPECT_EQ(run({"-e", "0"}, &err), "");
    EXPECT_TRUE(testing::internal::RE::FullMatch(
        err, " ERROR  \\(tq_wifi\\|wifi_test_main\\|[0-9]+\\): wifi config has error!\n"))
        << err;
}

// The library's link states other than 0 and 1 are all "unknown".
TEST_F(WifiModule, AnyOtherLinkStateCannotBeChecked) {
    g_wifi_status = 2;
    EXPECT_EQ(run({"--link"}), "Wifi can't check link status!\n");
    EXPECT_EQ(g_wifi_calls, (std::vector<std::string>{"get_status", "print_status"}));
}

TEST_F(WifiModule, PinIsCutToEightCharactersWhateverTheLibraryWrote) {
    g_wifi_pin = "123456789";
    EXPECT_EQ(run({"--wps", "0"}), "Get IPC-wifi pin code = 12345678 \n");
}

}  // namespace
