// SPDX-License-Identifier: Apache-2.0
#include "platform/wifi/wifi.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <wpa_ctrl.h>

#include "platform/wifi/wifi_block.h"

namespace {

constexpr char kCtrlDir[] = "/var/run/wpa_supplicant";
// The interface of the calls that take no record.
constexpr char kDefaultIfname[] = "wlan0";
// wpa_supplicant answers a request at once; a daemon that has not after this is stuck.
constexpr int kReplyTimeoutMs = 2000;
// A 2.4 GHz scan takes one to two seconds.
constexpr int kScanWaitMs = 4000;

// Why a call got no usable answer, for the calls that report it themselves.
enum class Outcome { kOk, kNoDaemon, kNoAnswer, kRefused, kNoResults, kScanFailed, kInterrupted };

// Replies go here (the largest is SCAN_RESULTS); one request at a time.
char s_reply[8192];
// The scan handed out by wifi_info_scan until wifi_info_list_delete.
wifi_info_list s_scan;
// The PIN last fetched, so that a master-mode WPS started in the same run uses the
// PIN the technician was shown.
char s_pin[WIFI_WPS_PIN_SIZE];

// Deadlines in 64 bits: the millisecond count passes the range of an int after 24.8
// days of uptime, and cameras run for months.
int64_t now_ms() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Waits until fd is readable. kNoAnswer when the deadline passes first, and
// kInterrupted when a signal (a technician's Ctrl-C) ends the wait.
Outcome wait_readable(int fd, int64_t deadline) {
    int64_t left = deadline - now_ms();
    if (left <= 0) {
        return Outcome::kNoAnswer;
    }
    struct pollfd p = {fd, POLLIN, 0};
    // No wait is longer than kScanWaitMs, so what is left fits poll's int.
    int n = poll(&p, 1, static_cast<int>(left));
    return n > 0 ? Outcome::kOk : n == 0 ? Outcome::kNoAnswer : Outcome::kInterrupted;
}

// One connection to wpa_supplicant's control socket for an interface, closed (and
// its client socket removed) when it goes out of scope. Requests are sent and
// awaited here rather than with wpa_ctrl_request, whose ten-second wait would let a
// stuck daemon hold the tool.
class Ctrl {
public:
    explicit Ctrl(const char* ifname) : ctrl_(nullptr) {
        char path[sizeof kCtrlDir + 64];
        snprintf(path, sizeof path, "%s/%s", kCtrlDir, ifname);
        ctrl_ = wpa_ctrl_open(path);
        if (ctrl_ != nullptr) {
            fcntl(wpa_ctrl_get_fd(ctrl_), F_SETFD, FD_CLOEXEC);
        }
    }
    Ctrl(const Ctrl&) = delete;
    Ctrl& operator=(const Ctrl&) = delete;
    ~Ctrl() {
        if (ctrl_ != nullptr) {
            wpa_ctrl_close(ctrl_);
        }
    }
    explicit operator bool() const {
        return ctrl_ != nullptr;
    }

    // Sends cmd and puts the reply, NUL-terminated, into s_reply.
    Outcome request(const char* cmd) {
        return exchange(cmd, s_reply, sizeof s_reply);
    }

    // A request whose only good answer is OK; s_reply is left alone.
    Outcome command(const char* cmd) {
        char reply[64];
        Outcome o = exchange(cmd, reply, sizeof reply);
        return o == Outcome::kOk && strcmp(reply, "OK\n") != 0 ? Outcome::kRefused : o;
    }

    // Waits for the end of a scan: its results event (kOk) or its failure event,
    // "<N>" priority stripped, until the deadline.
    Outcome await_scan(int64_t deadline) {
        int fd = wpa_ctrl_get_fd(ctrl_);
        char event[512];
        for (;;) {
            Outcome o = wait_readable(fd, deadline);
            if (o != Outcome::kOk) {
                return o == Outcome::kNoAnswer ? Outcome::kNoResults : o;
            }
            ssize_t n = recv(fd, event, sizeof event - 1, 0);
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    continue;
                }
                return Outcome::kNoResults;
            }
            event[n] = '\0';
            const char* text = event;
            if (text[0] == '<') {
                const char* end = strchr(text, '>');
                text = end != nullptr ? end + 1 : text;
            }
            if (strncmp(text, WPA_EVENT_SCAN_RESULTS, strlen(WPA_EVENT_SCAN_RESULTS)) == 0) {
                return Outcome::kOk;
            }
            if (strncmp(text, WPA_EVENT_SCAN_FAILED, strlen(WPA_EVENT_SCAN_FAILED)) == 0) {
                return Outcome::kScanFailed;
            }
        }
    }

private:
    // Replies are read one byte short of the buffer and terminated here.
    Outcome exchange(const char* cmd, char* reply, size_t size) {
        reply[0] = '\0';
        if (ctrl_ == nullptr) {
            return Outcome::kNoDaemon;
        }
        int fd = wpa_ctrl_get_fd(ctrl_);
        if (send(fd, cmd, strlen(cmd), MSG_NOSIGNAL) < 0) {
            return errno == ECONNREFUSED || errno == ENOENT ? Outcome::kNoDaemon : Outcome::kNoAnswer;
        }
        int64_t deadline = now_ms() + kReplyTimeoutMs;
        for (;;) {
            Outcome o = wait_readable(fd, deadline);
            if (o != Outcome::kOk) {
                return o;
            }
            ssize_t n = recv(fd, reply, size - 1, 0);
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    continue;
                }
                return Outcome::kNoAnswer;
            }
            reply[n] = '\0';
            // Events of an attached connection are not replies.
            if (reply[0] == '<' || strncmp(reply, "IFNAME=", 7) == 0) {
                continue;
            }
            return strncmp(reply, "FAIL", 4) == 0 ? Outcome::kRefused : Outcome::kOk;
        }
    }

    struct wpa_ctrl* ctrl_;
};

void report(const char* ifname, const char* cmd, Outcome o) {
    switch (o) {
        case Outcome::kOk:
            break;
        case Outcome::kNoDaemon:
            fprintf(stderr, "wifi: %s: no wpa_supplicant at %s/%s\n", ifname, kCtrlDir, ifname);
            break;
        case Outcome::kNoAnswer:
            fprintf(stderr, "wifi: %s: wpa_supplicant did not answer %s\n", ifname, cmd);
            break;
        case Outcome::kRefused:
            fprintf(stderr, "wifi: %s: wpa_supplicant refused %s\n", ifname, cmd);
            break;
        case Outcome::kNoResults:
            fprintf(stderr, "wifi: %s: no scan results within %d ms\n", ifname, kScanWaitMs);
            break;
        case Outcome::kScanFailed:
            fprintf(stderr, "wifi: %s: the scan failed\n", ifname);
            break;
        case Outcome::kInterrupted:
            fprintf(stderr, "wifi: %s: %s interrupted\n", ifname, cmd);
            break;
    }
}

// Scans and leaves SCAN_RESULTS in s_reply. Events come on a second, attached
// connection, attached before the scan starts so that its end cannot be missed; a
// scan already running (FAIL-BUSY) is waited for the same way.
Outcome scan(Ctrl& req, const char* ifname, const char** failed) {
    Ctrl mon(ifname);
    *failed = "ATTACH";
    Outcome o = mon.command("ATTACH");
    if (o != Outcome::kOk) {
        return o;
    }
    struct Detach {
        Ctrl& mon;
        ~Detach() {
            mon.command("DETACH");
        }
    } detach{mon};
    *failed = "SCAN";
    o = req.request("SCAN");
    if (o == Outcome::kRefused && strcmp(s_reply, "FAIL-BUSY\n") == 0) {
        o = Outcome::kOk;
    } else if (o == Outcome::kOk && strcmp(s_reply, "OK\n") != 0) {
        o = Outcome::kRefused;
    }
    if (o == Outcome::kOk) {
        o = mon.await_scan(now_ms() + kScanWaitMs);
    }
    if (o == Outcome::kOk) {
        *failed = "SCAN_RESULTS";
        o = req.request("SCAN_RESULTS");
    }
    return o;
}

// One line of output: the prefix, then the text with every character that could
// move the cursor or ring a bell shown as '?'.
void print_line(const char* prefix, const char* text, size_t len) {
    fputs(prefix, stdout);
    for (size_t i = 0; i < len; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        putchar(c >= 0x20 && c < 0x7f ? c : '?');
    }
    putchar('\n');
}

bool valid_ifname(const char (&ifname)[32]) {
    size_t len = strnlen(ifname, sizeof ifname);
    return len > 0 && len < 16 && strpbrk(ifname, "/ \t\n") == nullptr && strcmp(ifname, ".") != 0 &&
           strcmp(ifname, "..") != 0;
}

bool valid_pin(const char* pin, size_t size) {
    size_t len = strnlen(pin, size);
    if (len != 4 && len != 8) {
        return false;
    }
    for (size_t i = 0; i < len; i++) {
        if (pin[i] < '0' || pin[i] > '9') {
            return false;
        }
    }
    return true;
}

// Asks for a fresh PIN; keeps it in s_pin.
Outcome fetch_pin(Ctrl& c) {
    Outcome o = c.request("WPS_PIN get");
    char pin[WIFI_WPS_PIN_SIZE] = {};
    snprintf(pin, sizeof pin, "%.*s", static_cast<int>(strcspn(s_reply, "\n")), s_reply);
    if (o == Outcome::kOk && !valid_pin(pin, sizeof pin)) {
        o = Outcome::kRefused;
    }
    if (o == Outcome::kOk) {
        memcpy(s_pin, pin, sizeof s_pin);
    }
    return o;
}

int config_wps(const wifi_record* rec) {
    Ctrl c(rec->ifname);
    char cmd[128];
    switch (rec->wps) {
        case WIFI_WPS_PBC:
            return c.command("WPS_PBC") == Outcome::kOk ? 0 : -1;
        case WIFI_WPS_PIN: {
            // The access point's PIN goes into a command line: digits only.
            int name_len = static_cast<int>(strnlen(rec->apname, sizeof rec->apname));
            if (!valid_pin(rec->pincode, sizeof rec->pincode) || name_len == 0 ||
                name_len == static_cast<int>(sizeof rec->apname)) {
                return -1;
            }
            const char* failed;
            char bssid[18];
            if (scan(c, rec->ifname, &failed) != Outcome::kOk ||
                !wifi_find_bssid(s_reply, rec->apname, bssid)) {
                return -1;
            }
            snprintf(cmd, sizeof cmd, "WPS_REG %s %.*s", bssid, static_cast<int>(sizeof rec->pincode),
                     rec->pincode);
            return c.command(cmd) == Outcome::kOk ? 0 : -1;
        }
        case WIFI_WPS_MASTER: {
            if (s_pin[0] == '\0' && fetch_pin(c) != Outcome::kOk) {
                return -1;
            }
            snprintf(cmd, sizeof cmd, "WPS_PIN any %s", s_pin);
            if (c.request(cmd) != Outcome::kOk) {
                return -1;
            }
            printf("wifi: %s: WPS started with PIN %s\n", rec->ifname, s_pin);
            return 0;
        }
        default:
            return -1;
    }
}

// Adds the network, and only once wpa_supplicant has taken every field selects it,
// drops the networks it replaces and saves; a refused field leaves the daemon and
// its configuration file as they were.
int config_network(const wifi_record* rec) {
    static wifi_block block;
    if (wifi_build_block(rec, &block) != 0) {
        return -1;
    }
    Ctrl c(rec->ifname);
    if (c.request("ADD_NETWORK") != Outcome::kOk) {
        return -1;
    }
    char* end = nullptr;
    long id = strtol(s_reply, &end, 10);
    if (end == s_reply || *end != '\n' || id < 0) {
        return -1;
    }
    char cmd[384];
    bool ok = true;
    for (unsigned int i = 0; i < block.count && ok; i++) {
        snprintf(cmd, sizeof cmd, "SET_NETWORK %ld %s %s", id, block.rows[i].name, block.rows[i].value);
        ok = c.command(cmd) == Outcome::kOk;
    }
    snprintf(cmd, sizeof cmd, "SELECT_NETWORK %ld", id);
    ok = ok && c.command(cmd) == Outcome::kOk;
    if (!ok) {
        snprintf(cmd, sizeof cmd, "REMOVE_NETWORK %ld", id);
        c.command(cmd);
        return -1;
    }
    // Each configuration replaces the last: the camera keeps one network.
    if (c.request("LIST_NETWORKS") != Outcome::kOk) {
        return -1;
    }
    static char list[sizeof s_reply];
    memcpy(list, s_reply, sizeof list);
    const char* line = strchr(list, '\n');
    while (line != nullptr && line[1] != '\0') {
        long other = strtol(line + 1, &end, 10);
        if (end != line + 1 && *end == '\t' && other != id) {
            snprintf(cmd, sizeof cmd, "REMOVE_NETWORK %ld", other);
            c.command(cmd);
        }
        line = strchr(line + 1, '\n');
    }
    return c.command("SAVE_CONFIG") == Outcome::kOk ? 0 : -1;
}

}  // namespace

extern "C" {

int wifi_config(const struct wifi_record* param) {
    if (param == nullptr || !valid_ifname(param->ifname)) {
        return -1;
    }
    return param->encryp == WIFI_ENCRYP_WPS ? config_wps(param) : config_network(param);
}

struct wifi_info_list* wifi_info_scan(uint32_t mode) {
    Ctrl c(kDefaultIfname);
    const char* failed = "SCAN";
    Outcome o = c ? scan(c, kDefaultIfname, &failed) : Outcome::kNoDaemon;
    if (o != Outcome::kOk) {
        report(kDefaultIfname, failed, o);
        return nullptr;
    }
    wifi_parse_scan_results(s_reply, mode, &s_scan);
    printf("%s scan, %s mode: %u %s\n", kDefaultIfname, mode == WIFI_MODE_ADHOC ? "ad-hoc" : "managed",
           s_scan.count, s_scan.count == 1 ? "network" : "networks");
    if (s_scan.count > 0) {
        printf("%-17s  %5s  %6s  %-32s  %s\n", "BSSID", "FREQ", "SIGNAL", "FLAGS", "SSID");
    }
    for (unsigned int i = 0; i < s_scan.count; i++) {
        const wifi_ap& ap = s_scan.aps[i];
        char line[320];
        int len = snprintf(line, sizeof line, "%-17s  %5u  %6d  %-32s  %s", ap.bssid, ap.freq, ap.signal,
                           ap.flags, ap.ssid);
        print_line("", line,
                   static_cast<size_t>(len) < sizeof line ? static_cast<size_t>(len) : sizeof line - 1);
    }
    return &s_scan;
}

void wifi_info_list_delete(struct wifi_info_list* list) {
    if (list != nullptr) {
        list->count = 0;
    }
}

// A request of the commands that print what they get: a failure is reported here.
static bool request_reported(Ctrl& c, const char* cmd) {
    Outcome o = c.request(cmd);
    if (o != Outcome::kOk) {
        report(kDefaultIfname, cmd, o);
        return false;
    }
    return true;
}

void wifi_print_config(void) {
    Ctrl c(kDefaultIfname);
    if (!request_reported(c, "LIST_NETWORKS")) {
        return;
    }
    static char list[sizeof s_reply];
    memcpy(list, s_reply, sizeof list);
    printf("%s configuration:\n", kDefaultIfname);
    static const char* const kFields[] = {"ssid",     "mode",  "frequency", "key_mgmt",     "proto",
                                          "pairwise", "group", "auth_alg",  "wep_tx_keyidx"};
    // LIST_NETWORKS: a heading, then "id\tssid\tbssid\tflags" per network.
    const char* line = strchr(list, '\n');
    while (line != nullptr && line[1] != '\0') {
        char* end = nullptr;
        long id = strtol(line + 1, &end, 10);
        const char* next = strchr(line + 1, '\n');
        if (end != line + 1 && *end == '\t') {
            const char* flags = strrchr(end, '\t') + 1;
            size_t flags_len = next != nullptr ? static_cast<size_t>(next - flags) : strlen(flags);
            char head[32];
            snprintf(head, sizeof head, flags_len > 0 ? "network %ld " : "network %ld", id);
            print_line(head, flags, flags_len);
            for (const char* field : kFields) {
                char cmd[64];
                snprintf(cmd, sizeof cmd, "GET_NETWORK %ld %s", id, field);
                if (c.request(cmd) == Outcome::kOk) {
                    snprintf(cmd, sizeof cmd, "    %s=", field);
                    print_line(cmd, s_reply, strcspn(s_reply, "\n"));
                }
            }
        }
        line = next;
    }
}

int wifi_get_status(void) {
    Ctrl c(kDefaultIfname);
    if (c.request("STATUS") != Outcome::kOk) {
        return -1;
    }
    const char* state = strstr(s_reply, "wpa_state=");
    if (state == nullptr || (state != s_reply && state[-1] != '\n')) {
        return -1;
    }
    return strncmp(state + 10, "COMPLETED\n", 10) == 0 ? 1 : 0;
}

void wifi_print_status(void) {
    Ctrl c(kDefaultIfname);
    if (!request_reported(c, "STATUS")) {
        return;
    }
    printf("%s status:\n", kDefaultIfname);
    for (const char* line = s_reply; *line != '\0';) {
        size_t len = strcspn(line, "\n");
        print_line("    ", line, len);
        line += len + (line[len] == '\n' ? 1 : 0);
    }
}

int wifi_wps_get_pin(char* pin) {
    if (pin == nullptr) {
        return -1;
    }
    pin[0] = '\0';
    Ctrl c(kDefaultIfname);
    // The caller shows the PIN whatever came back: an empty one needs its reason.
    Outcome o = fetch_pin(c);
    if (o != Outcome::kOk) {
        report(kDefaultIfname, "WPS_PIN get", o);
        return -1;
    }
    memcpy(pin, s_pin, WIFI_WPS_PIN_SIZE);
    return 0;
}
}
