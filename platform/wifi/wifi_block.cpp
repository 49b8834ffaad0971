// SPDX-License-Identifier: Apache-2.0
#include "platform/wifi/wifi_block.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// wpa_supplicant's words for the record's codes, indexed by code.
const char* const kProtoWords[] = {"WPA", "RSN", "WPA RSN"};
const char* const kPairwiseWords[] = {"NONE", "TKIP", "CCMP", "CCMP TKIP"};
const char* const kAuthWords[] = {"OPEN", "SHARED", "LEAP"};

// Group ciphers 0 to 3 name one cipher; the record's other codes (5, the default for
// WPA modes, and 4 or 6 passed through) leave both WPA group ciphers allowed.
const char* group_word(uint32_t group) {
    static const char* const kWords[] = {"CCMP", "TKIP", "WEP104", "WEP40"};
    return group < 4 ? kWords[group] : "CCMP TKIP";
}

// Length of a text field, or -1 when it fills the whole field without a NUL.
template <size_t N>
int text_length(const char (&field)[N]) {
    size_t len = strnlen(field, N);
    return len < N ? static_cast<int>(len) : -1;
}

bool printable(const char* text, size_t len) {
    for (size_t i = 0; i < len; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c > 0x7e) {
            return false;
        }
    }
    return true;
}

void hex_text(char* out, size_t size, const char* text, size_t len) {
    size_t pos = 0;
    out[0] = '\0';
    for (size_t i = 0; i < len && pos + 3 <= size; i++) {
        pos += snprintf(out + pos, size - pos, "%02x", static_cast<unsigned char>(text[i]));
    }
}

wifi_setting* add(wifi_block* block, const char* name) {
    wifi_setting* row = &block->rows[block->count++];
    row->name = name;
    row->value[0] = '\0';
    return row;
}

void add_word(wifi_block* block, const char* name, const char* word) {
    snprintf(add(block, name)->value, sizeof block->rows[0].value, "%s", word);
}

void add_number(wifi_block* block, const char* name, uint32_t number) {
    snprintf(add(block, name)->value, sizeof block->rows[0].value, "%u", number);
}

// A WEP key's length says what it is: 10 or 26 characters are hex digits (bare, for
// wpa_supplicant to check), 5 or 13 are the key bytes themselves (quoted; sent as hex
// when they are not printable, so that no quoting can break). Other lengths follow
// the record's key type and are left to wpa_supplicant to refuse.
void add_wep_key(wifi_block* block, const char* name, const char* key, size_t len, uint32_t keytype) {
    bool hex = (len == 10 || len == 26) || (len != 5 && len != 13 && keytype == WIFI_KEYTYPE_HEX);
    char* value = add(block, name)->value;
    size_t size = sizeof block->rows[0].value;
    if (hex) {
        snprintf(value, size, "%.*s", static_cast<int>(len), key);
    } else if (printable(key, len)) {
        snprintf(value, size, "\"%.*s\"", static_cast<int>(len), key);
    } else {
        hex_text(value, size, key, len);
    }
}

// Undoes wpa_supplicant's escaping of an SSID (\\, \", \e, \n, \r, \t, \xNN) into out;
// returns the number of bytes.
size_t unescape_ssid(const char* text, char* out, size_t size) {
    size_t n = 0;
    while (*text != '\0' && n + 1 < size) {
        char c = *text++;
        if (c == '\\' && *text != '\0') {
            char e = *text++;
            switch (e) {
                case 'e':
                    c = '\033';
                    break;
                case 'n':
                    c = '\n';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'x': {
                    char digits[3] = {text[0], text[0] != '\0' ? text[1] : '\0', '\0'};
                    char* end = nullptr;
                    c = static_cast<char>(strtoul(digits, &end, 16));
                    text += end - digits;
                    break;
                }
                default:
                    c = e;
                    break;
            }
        }
        out[n++] = c;
    }
    out[n] = '\0';
    return n;
}

// Splits one SCAN_RESULTS line ("bssid\tfreq\tsignal\tflags\tssid") into ap; the
// line is cut at its end. False for the header or a line that is not an entry.
bool parse_line(const char* line, size_t len, wifi_ap* ap) {
    const char* fields[5];
    size_t lengths[5];
    size_t count = 0;
    const char* start = line;
    for (size_t i = 0; i <= len && count < 5; i++) {
        if (i == len || line[i] == '\t') {
            fields[count] = start;
            lengths[count] = static_cast<size_t>(line + i - start);
            count++;
            start = line + i + 1;
        }
    }
    if (count < 4 || lengths[0] != 17) {
        return false;
    }
    snprintf(ap->bssid, sizeof ap->bssid, "%.*s", static_cast<int>(lengths[0]), fields[0]);
    ap->freq = static_cast<uint32_t>(strtoul(fields[1], nullptr, 10));
    ap->signal = static_cast<int>(strtol(fields[2], nullptr, 10));
    snprintf(ap->flags, sizeof ap->flags, "%.*s", static_cast<int>(lengths[3]), fields[3]);
    ap->ssid[0] = '\0';
    if (count == 5) {
        snprintf(ap->ssid, sizeof ap->ssid, "%.*s", static_cast<int>(lengths[4]), fields[4]);
    }
    return true;
}

template <typename Visit>
void for_each_ap(const char* reply, Visit visit) {
    const char* line = reply;
    while (*line != '\0') {
        const char* end = strchr(line, '\n');
        size_t len = end != nullptr ? static_cast<size_t>(end - line) : strlen(line);
        wifi_ap ap;
        if (parse_line(line, len, &ap)) {
            visit(ap);
        }
        line += len;
        if (*line == '\n') {
            line++;
        }
    }
}

}  // namespace

uint32_t wifi_freq_mhz(uint32_t freq) {
    if (freq >= 1 && freq <= 13) {
        return 2407 + 5 * freq;
    }
    return freq == 14 ? 2484 : freq;
}

// What the user evidently meant when the record is not consistent:
// - the encryption type decides the key management: open and WEP use NONE, the
//   WPA-PSK kinds use WPA-PSK (WPA-NONE only where it was asked for in ad-hoc mode);
//   a key_mgmt left at its WPA-PSK default under WEP is not a wish for WPA;
// - WEP keys, the key index and the WEP authentication are sent for WEP only, the
//   passphrase, protocol and pairwise cipher for the WPA kinds only;
// - WPA always authenticates as open system, so auth_alg is not sent for it;
// - the radio frequency matters only to an ad-hoc cell, which starts it.
int wifi_build_block(const wifi_record* rec, wifi_block* block) {
    block->count = 0;
    int ssid_len = text_length(rec->ssid);
    if (ssid_len <= 0 || rec->mode > WIFI_MODE_ADHOC) {
        return -1;
    }
    // Hex carries any SSID byte for byte; wpa_supplicant saves a printable one quoted.
    hex_text(add(block, "ssid")->value, sizeof block->rows[0].value, rec->ssid,
             static_cast<size_t>(ssid_len));
    if (rec->mode == WIFI_MODE_ADHOC) {
        add_number(block, "mode", 1);
        add_number(block, "frequency", wifi_freq_mhz(rec->freq));
    }

    switch (rec->encryp) {
        case WIFI_ENCRYP_OPEN:
            add_word(block, "key_mgmt", "NONE");
            return 0;
        case WIFI_ENCRYP_WEP: {
            if (rec->select > 3 || rec->auth_alg > WIFI_AUTH_LEAP) {
                return -1;
            }
            add_word(block, "key_mgmt", "NONE");
            add_word(block, "auth_alg", kAuthWords[rec->auth_alg]);
            if (rec->group == WIFI_GROUP_WEP104 || rec->group == WIFI_GROUP_WEP40) {
                add_word(block, "group", group_word(rec->group));
            }
            static const char* const kKeyNames[] = {"wep_key0", "wep_key1", "wep_key2", "wep_key3"};
            for (int k = 0; k < 4; k++) {
                int len = text_length(rec->key[k]);
                if (len < 0 || (len == 0 && k == rec->select)) {
                    return -1;
                }
                if (len > 0) {
                    add_wep_key(block, kKeyNames[k], rec->key[k], static_cast<size_t>(len), rec->keytype);
                }
            }
            add_number(block, "wep_tx_keyidx", rec->select);
            return 0;
        }
        case WIFI_ENCRYP_WPA_PSK:
        case WIFI_ENCRYP_WPA2_PSK:
        case WIFI_ENCRYP_WPA_WPA2_PSK: {
            int psk_len = text_length(rec->psk);
            if (psk_len < 8 || psk_len > 63 || !printable(rec->psk, static_cast<size_t>(psk_len)) ||
                rec->proto > WIFI_PROTO_AUTO || rec->pairwise > WIFI_PAIRWISE_AUTO) {
                return -1;
            }
            bool wpa_none = rec->mode == WIFI_MODE_ADHOC && rec->key_mgmt == WIFI_KEY_MGMT_WPA_NONE;
            add_word(block, "key_mgmt", wpa_none ? "WPA-NONE" : "WPA-PSK");
            add_word(block, "proto", kProtoWords[rec->proto]);
            add_word(block, "pairwise", kPairwiseWords[rec->pairwise]);
            add_word(block, "group", group_word(rec->group));
            snprintf(add(block, "psk")->value, sizeof block->rows[0].value, "\"%s\"", rec->psk);
            return 0;
        }
        default:
            return -1;
    }
}

void wifi_parse_scan_results(const char* reply, uint32_t mode, wifi_info_list* list) {
    list->count = 0;
    for_each_ap(reply, [&](const wifi_ap& ap) {
        bool adhoc = strstr(ap.flags, "[IBSS]") != nullptr;
        if (adhoc == (mode == WIFI_MODE_ADHOC) && list->count < WIFI_SCAN_MAX) {
            list->aps[list->count++] = ap;
        }
    });
}

bool wifi_find_bssid(const char* reply, const char* name, char (&bssid)[18]) {
    bool found = false;
    int best = 0;
    size_t name_len = strlen(name);
    for_each_ap(reply, [&](const wifi_ap& ap) {
        char ssid[40];
        size_t len = unescape_ssid(ap.ssid, ssid, sizeof ssid);
        if (len == name_len && memcmp(ssid, name, len) == 0 && (!found || ap.signal > best)) {
            found = true;
            best = ap.signal;
            memcpy(bssid, ap.bssid, sizeof bssid);
        }
    });
    return found;
}
