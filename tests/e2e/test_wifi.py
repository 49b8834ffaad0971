# SPDX-License-Identifier: Apache-2.0
"""The wifi module on the simulated camera: options, actions, help text, and what
reaches wpa_supplicant (the real daemon on a veth, or the scripted fake)."""
import re
import shlex

import pytest
from conftest import KERNEL

VERSION = "debug version: 1.2.0\n"
STARS = "*" * 80
OPTIONS = (
    "-M  --module [module]\tmodule name: wifi\n"
    "-m  --mode [digit]\twifi work mode default [0:manage]\n"
    "-e  --encryp [str]\twifi encryption type default[4:wpa-wpa2-psk]\n"
    "-c  --channel [digit]\twifi work channel, default [7]:2.442GHZ\n"
    "    --auth_alg [digit]\twifi auth_alg, default[0:OPEN]\n"
    "    --key_mgmt [digit]\twifi key_mgmt, default[2:PSK]\n"
    "    --group [digit]\twifi group, default[5:WPA]\n"
    "    --ssid [str]\twifi ssid name, default[Brackmoor-Test]\n"
    "    --select [digit]\twifi wep key select, default[0]\n"
    "    --key0 [str]\twifi wep key0, default [k7Qp2(ASCII)]\n"
    "    --key1 [str]\twifi wep key1, default [a4f09c21be(HEX)]\n"
    "    --key2 [str]\twifi wep key2, default [Zr8vLm3qT6wXe(ASCII)]\n"
    "    --key3 [str]\twifi wep key3, default [5e0b7d19c4a2f86e3d71b05c9a(HEX)]\n"
    "    --keytype [dight]\twifi wep key type, default[1:ASCII]\n"
    "    --pairwise [dight]\twifi wpa pairwise, default[3:AUTO]\n"
    "    --proto [dight]\twifi wpa proto, default[3:AUTO]\n"
    "    --psk [pskkey]\twifi wpa psk key, default[fernquail]\n"
    "    --wps [digit]\twifi wps type, default[1: PBC]\n"
    "    --apname [str]\twifi wps appin AP name, default[Brackmoor-Test]\n"
    "    --pincode [str]\twifi wps appin AP pincode, default[5082613]\n"
    "    --scan\t\twifi scan AP infromation\n"
    "    --status\t\twifi get current work information\n"
    "    --link\t\twifi check device link up/down\n"
)
DESCRIPTION = (
    "Wifi configure descryption: \n"
    "common config:\n"
    "    encryp=default[4:wpa-wpa2-psk]\n"
    "        [0]open: open mode, no encrypeted\n"
    "        [1]wep: wep encryption\n"
    "        [2]wpa-psk: WPA1 persional key\n"
    "        [3]wpa2-psk: WPA2 persional key\n"
    "        [4]wpa+wpa2-psk: WPA1+WPA2 persional key\n"
    "        [5]wpa-eap: WPA1 EPA encryption\n"
    "        [6]wpa2-eap: WPA2 EPA encryption\n"
    "        [7]wpa+wpa2-eap: WPA1+WPA2 EPA encryption\n"
    "        [8]wps: Wi-Fi Protected Setup, auto connect to Wi-Fi\n"
    "    mode=default[0:manage]\n"
    "        [0]: manage, [1]: ad-hoc\n"
    "    channel=default[7(2.442GHZ)]\n"
    "        [1(2.412GHZ)-14(2.484GHZ)], (step 0.005GHZ)\n"
    "    key_mgmt=default[2:WPA-PSK]\n"
    "        [0]NONE: for WEP or Ad-hoc open/wep encryption mode\n"
    "        [1]IEEE8021X: for ieee8021x]\n"
    "        [2]WPA-PSK: for WPA personal\n"
    "        [3]WPA-EAP: for WPA enterprise\n"
    "        [4]WPA-NONE: for Ad-hoc WPA encryption mode\n"
    "        [5]ALL: for all [NONE IEEE8021X WPA-PSK WPA-EAP]\n"
    "    auth_alg=default[0:OPEN]\n"
    "        [0]: OPEN, Open System authentication (required for WPA/WPA2)\n"
    "        [1]: Shared Key authentication (requires static WEP keys)\n"
    "        [2]: LEAP/Network EAP (only used with LEAP)\n"
    "    group=default[5:WPA]"
    "        [0]: CCMP/AES, [1]: TKIP, [2]:WEP104, [3]:WEP40\n"
    "        [5]: WEP, [6]: WPA, [7]:ALL\n"
    "    ssid:=default[Brackmoor-Test]\n\n"
    "WEP config:\n"
    "    select=default[0]\n"
    "        [n]: use WEP[n] as wep encrption key value\n"
    "    key0=default[k7Qp2(ASCII)]\n"
    "    key1=default[a4f09c21be(HEX)]\n"
    "    key2=default[Zr8vLm3qT6wXe(ASCII)]\n"
    "    key3=default[5e0b7d19c4a2f86e3d71b05c9a(HEX)]\n"
    "        keyn: the key of WEP encryption, length based on keytype\n"
    "    keytype=default[1:ASCII]\n"
    "        [0]HEX: keyn length must be 5 or 13\n"
    "        [1]ASCII: keyn length must be 10 or 26\n\n"
    "WPA personal config:\n"
    "    pairwise=default[3:AUTO]\n"
    "        [0]NONE: Use only Group Keys, use in ad-hoc mode\n"
    "        [1]TKIP: Temporal Key Integrity Protocol [IEEE 802.11i/D7.0]\n"
    "        [2]CCMP: AES in Counter mode with CBC-MAC [RFC 3610, IEEE 802.11i/D7.0]\n"
    "        [3]AUTO: TKIP+CCMP\n"
    "    proto=default[2:AUTO]"
    "        [0]WPA: [WPA] WPA-TKIP\n"
    "        [1]RSN: [RSN] WPA2-AES/CCMP\n"
    "        [2]AUTO: [WPA RSN] WPA-TKIP + WPA2-AES/CCMP\n\n"
    "WPA EAP config:\n"
    "        reserverd!\n\n"
    "WPS config:\n"
    "    wps=default[0:slave mode]\n"
    "        [0]master mode: create pin code, then use Wi-Fi to connect IPC-wifi\n"
    "        [1]PBC mode: PushButton Connection mode\n"
    "        [2]slave mode: use Wi-Fi pin code and AP name to connect to Wi-Fi\n"
    "        apname=default[Brackmoor-Test]\n"
    "            apname: It's used to get Wi-Fi MAC to run WPS\n"
    "        pincode=default[40917263]\n"
    "            pincode: Wi-Fi WPS pin code value!\n\n"
)
EXAMPLES = (
    "WIFI use example:"
    "Encryp=[0:OPEN], command line:\n"
    "    1: manage mode\n"
    "        debug -M wifi -e 0 -m 0 --ssid [...] \n"
    "    2: ad-hoc mode\n"
    "        debug -M wifi -e 0 -m 1 -c [n(1-14)] --ssid [...] \n"
    "Encryp=[1:WEP], command line:\n"
    "    1: manage mode\n"
    "        debug -M wifi -e 1 -m 0 --ssid [...] --select 0 --key0 [...] \n"
    "    2: ad-hoc mode\n"
    "        debug -M wifi -e 1 -m 1 -c [n(1-14)] --ssid [...] --select 0 --key0 [...] \n"
    "Encryp=[2:WPA-PSK], command line:\n"
    "    1: manage mode + TKIP\n"
    "        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 1 \n"
    "    2: manage mode + CCMP/AES\n"
    "        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 2 \n"
    "    3: manage mode + TKIP+CCMP/AES\n"
    "        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 3 \n"
    "    4: ad-hoc mode + TKIP\n"
    "        debug -M wifi -e 2 -m 0 -c [n(1-14)] --ssid [...] --psk [...] --group  1 \n"
    "    5: ad-hoc mode + CCMP/AES\n"
    "        debug -M wifi -e 2 -m 0 -c [n(1-14)] --ssid [...] --psk [...] --group  0 \n"
    "Encryp=[3:WPA2-PSK], command line:\n"
    "    1: manage mode + TKIP\n"
    "        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 1 \n"
    "    2: manage mode + CCMP/AES\n"
    "        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 2 \n"
    "    3: manage mode + TKIP+CCMP/AES\n"
    "        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 3 \n"
    "Encryp=[4:WPA+WPA2-PSK], command line:\n"
    "    1: manage mode + TKIP\n"
    "        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 1 \n"
    "    2: manage mode + CCMP/AES\n"
    "        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 2 \n"
    "    3: manage mode + TKIP+CCMP/AES\n"
    "        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 3 \n"
    "Encryp=[8:WPS], command line:\n"
    "    1: master mode, use Wi-Fi to connect IPC-wifi\n"
    "        debug -M wifi --wps 0 \n"
    "    2: PushButton mode, use Wi-Fi WPS-Button and IPC WPS-Button\n"
    "        debug -M wifi --wps 1 \n"
    "    3: slave mode, IPC-wifi connect to Wi-Fi\n"
    "        debug -M wifi --wps 2 --apname [...] --pincode [...] \n"
)
USAGE = (STARS + "\nwifi usage:\ndebug -M wifi [option] \n" + OPTIONS + STARS + "\n"
         + DESCRIPTION + EXAMPLES)

CONF = "/mnt/nand/wpa_supplicant.conf"
FAKE_LOG = "/tmp/wpa-fake.log"
NO_DAEMON = "wifi: wlan0: no wpa_supplicant at /var/run/wpa_supplicant/wlan0\n"


@pytest.fixture(autouse=True)
def sockets_in_memory(cam):
    """The daemon's control socket and the program's client sockets are Unix sockets,
    which the real-kernel camera's /tmp and /var/run (the host's tree over 9p) cannot
    hold; there they are in the guest's memory for each command."""
    if KERNEL:
        cam.local_tmp = True


def error(function, message):
    """The error prefix (any line number) and message, as a whole-text pattern."""
    return r" ERROR  \(tq_wifi\|" + function + r"\|\d+\): " + re.escape(message)


def quote(args):
    return " ".join("'" + str(a).replace("'", "'\\''") + "'" for a in args)


def real(cam, *args, after=""):
    """debug -M wifi ARGS with the real wpa_supplicant serving wlan0; AFTER runs
    next to it in the same network namespace."""
    return cam.sh(f"wpa-sim -- bash -c {quote([f'debug -M wifi {quote(args)}' + after])}")


def fake(cam, fake_args, *args):
    """debug -M wifi ARGS with the scripted daemon; returns the run and the requests
    that reached it."""
    r = cam.sh(f"wpa-fake {fake_args} -- debug -M wifi {quote(args)}")
    log = cam.read(FAKE_LOG).splitlines() if cam.path(FAKE_LOG).exists() else []
    return r, log


def saved_networks(cam):
    """The network blocks of the daemon's configuration file, as dicts."""
    if not cam.path(CONF).exists():
        return []
    blocks = re.findall(r"network=\{\n(.*?)\n\}", cam.read(CONF), re.S)
    nets = []
    for block in blocks:
        fields = dict(line.strip().split("=", 1) for line in block.splitlines())
        fields.pop("mesh_fwding", None)  # written by this daemon version for every network
        nets.append(fields)
    return nets


def client_sockets(cam):
    """Client sockets of the control connections left in /tmp (each must be removed)."""
    return sorted(p.name for p in cam.path("/tmp").glob("wpa_ctrl_*"))


def config_requests(log):
    return [line for line in log if line.split(" ")[0] not in ("ATTACH", "DETACH")]


# ---------------------------------------------------------------- help and nothing


def test_help_is_the_option_table_description_and_examples(cam):
    r = cam.run("-h", "wifi")
    assert (r.out, r.err, r.rc) == (VERSION + USAGE, "", 0)


@pytest.mark.parametrize("args", [
    [],
    ["--ssid", "Lab", "--psk", "12345678"],
    ["-m", "1", "-c", "3", "--key0", "abcde", "--select", "0", "--keytype", "0", "--pincode", "12345678"],
], ids=["nothing", "ssid-psk", "record-only"])
def test_options_that_only_fill_the_record_send_nothing(cam, args):
    r, log = fake(cam, "", *args)
    assert (r.out, r.err, r.rc, log) == ("", "", 0, [])


# ---------------------------------------------------------------- rejections

GETOPT = "debug: "


@pytest.mark.parametrize("args, message", [
    (["-m", "2"], "Error wifi mode, must be[0-1]\n"),
    (["-e", "9"], "Error wifi encryption, must be[0-8]\n"),
    (["-c", "0"], "Error wifi freq, must be[1-14]\n"),
    (["-c", "15"], "Error wifi freq, must be[1-14]\n"),
    (["--auth_alg", "3"], "Error wifi auth_alg, must be[0-2]\n"),
    (["-e", "1", "--key_mgmt", "6"], "Error wifi key_mgmt, must be[0-5]\n"),
    (["--group", "7"], "Error wifi group, must be[0-6]\n"),
    (["--ssid", ""], "Error wifi ssid length, must > 0!\n"),
    (["--select", "4"], "Error wifi wep index, must be [0-3]\n"),
    (["--key0", "abcdefghijk"], "Error wifi wep key0, must be [5,10,13,26]\n"),
    (["--key3", "a" * 27], "Error wifi wep key3, must be [5,10,13,26]\n"),
    (["--keytype", "2"], "Error wifi wep keyType, must be [0-1]\n"),
    (["--pairwise", "4"], "Error wifi wpa pairwise, must be [0-3]\n"),
    (["--proto", "3"], "Error wifi wpa proto, must be [0-2]\n"),
    (["--psk", "1234567"], "Error wifi wpa psk_key length, must be [8-63]\n"),
    (["-e", "2", "--psk", "p" * 64], "Error wifi wpa psk_key length, must be [8-63]\n"),
    (["--wps", "3"], "Error WPS type must be [0-2]!\n"),
    (["--apname", ""], "Error wifi WPS PinAP SSID length, must be [1-63]\n"),
    (["--apname", "a" * 64], "Error wifi WPS PinAP SSID length, must be [1-63]\n"),
    (["--pincode", "1234567"], "Error wifi WPS PinAP PinCode length, must be 8\n"),
    (["--pincode", "123456789"], "Error wifi WPS PinAP PinCode length, must be 8\n"),
    (["-m", "5", "--link", "-e", "2"], "Error wifi mode, must be[0-1]\n"),
])
def test_rejected_option_prints_usage_ends_255_and_applies_nothing(cam, args, message):
    r, log = fake(cam, "", *args)
    assert (r.out, r.rc, log) == (USAGE, 255, [])
    assert re.fullmatch(error("wifi_init_param", message), r.err), r.err


@pytest.mark.parametrize("args, diagnostic", [
    (["--nosuch"], "unrecognized option '--nosuch'\n"),
    (["-x"], "invalid option -- 'x'\n"),
    (["--ssid"], "option '--ssid' requires an argument\n"),
    (["--scan=1"], "option '--scan' doesn't allow an argument\n"),
])
def test_unknown_option_or_missing_argument(cam, args, diagnostic):
    r, log = fake(cam, "", *args)
    assert (r.out, r.rc, log) == (USAGE, 255, [])
    assert re.fullmatch(re.escape(GETOPT + diagnostic) + error("wifi_init_param", "Unknow option\n"), r.err), r.err


def test_actions_before_a_rejected_option_stay_done(cam):
    r, log = fake(cam, "", "--link", "-m", "5", "--scan")
    assert r.out == "Wifi link down!\n" + STATUS_DOWN + USAGE
    assert re.fullmatch(error("wifi_init_param", "Error wifi mode, must be[0-1]\n"), r.err)
    assert (r.rc, log) == (255, ["STATUS", "STATUS"])


# ---------------------------------------------------------------- actions (fake daemon)

APS = ("--ap '00:11:22:33:44:55,2437,-41,[WPA2-PSK-CCMP][WPS][ESS],Brackmoor-Test' "
       "--ap '02:00:00:00:00:01,2462,-67,[IBSS],Cell 7' "
       "--ap '66:77:88:99:aa:bb,2412,-30,[WPA-PSK-TKIP][ESS],Brackmoor-Test' "
       "--ap '00:0a:0b:0c:0d:0e,2442,-80,[ESS],caf\\xc3\\xa9\\n'")
IDENTITY = ("    p2p_device_address=42:a7:5d:ff:00:f0\n    address=02:a7:5d:ff:00:f0\n"
            "    uuid=4d7a1c2e-5b3f-5e0a-9c41-6f2b8d0e7a13\n")
STATUS_DOWN = "wlan0 status:\n    wpa_state=DISCONNECTED\n" + IDENTITY
STATUS_UP = ("wlan0 status:\n    bssid=00:11:22:33:44:55\n    freq=2437\n    ssid=Brackmoor-Test\n"
             "    id=0\n    mode=station\n    pairwise_cipher=CCMP\n    group_cipher=CCMP\n"
             "    key_mgmt=WPA2-PSK\n    wpa_state=COMPLETED\n    ip_address=192.168.0.190\n" + IDENTITY)
HEADING = "BSSID               FREQ  SIGNAL  FLAGS                             SSID\n"
SCAN_MANAGED = (
    "wlan0 scan, managed mode: 3 networks\n" + HEADING +
    "00:11:22:33:44:55   2437     -41  [WPA2-PSK-CCMP][WPS][ESS]         Brackmoor-Test\n"
    "66:77:88:99:aa:bb   2412     -30  [WPA-PSK-TKIP][ESS]               Brackmoor-Test\n"
    "00:0a:0b:0c:0d:0e   2442     -80  [ESS]                             caf\\xc3\\xa9\\n\n")
SCAN_ADHOC = (
    "wlan0 scan, ad-hoc mode: 1 network\n" + HEADING +
    "02:00:00:00:00:01   2462     -67  [IBSS]                            Cell 7\n")
SCAN_REQUESTS = ["ATTACH", "SCAN", "SCAN_RESULTS", "DETACH"]


def test_link_scan_status_in_command_line_order_and_nothing_applied(cam):
    r, log = fake(cam, APS + " --state COMPLETED", "--link", "--scan", "--status")
    assert r.out == "Wifi link up!\n" + STATUS_UP + SCAN_MANAGED + "wlan0 configuration:\n"
    assert (r.err, r.rc) == ("", 0)
    assert log == ["STATUS", "STATUS"] + SCAN_REQUESTS + ["LIST_NETWORKS"]
    assert client_sockets(cam) == []


@pytest.mark.parametrize("args, table", [
    (["--scan", "-m", "1"], SCAN_MANAGED),
    (["-m", "1", "--scan"], SCAN_ADHOC),
    (["-m", "ad-hoc", "--scan", "-m", "managed", "--scan"], SCAN_ADHOC + SCAN_MANAGED),
])
def test_scan_lists_the_networks_of_the_mode_set_so_far(cam, args, table):
    r, log = fake(cam, APS, *args)
    assert (r.out, r.err, r.rc) == (table, "", 0)
    assert log == SCAN_REQUESTS * args.count("--scan")


def test_scan_with_no_network_of_the_mode(cam):
    r, _ = fake(cam, "", "--scan")
    assert (r.out, r.err, r.rc) == ("wlan0 scan, managed mode: 0 networks\n", "", 0)


def test_status_prints_each_network_wpa_supplicant_holds(cam):
    r, log = fake(cam, "", "-e", "3", "--ssid", "Lab", "--psk", "12345678", "--pairwise", "2")
    assert r.rc == 0
    r = cam.sh("wpa-fake -- bash -c \"debug -M wifi -e 0 --ssid Old && debug -M wifi --status\"")
    assert (r.err, r.rc) == ("", 0)
    assert r.out == ("wlan0 configuration:\nnetwork 0 [CURRENT]\n    ssid=4f6c64\n    key_mgmt=NONE\n")


def test_wps_master_prints_the_device_pin_and_applies_nothing(cam):
    r, log = fake(cam, "--pin 31415926", "--wps", "0")
    assert (r.out, r.err, r.rc, log) == ("Get IPC-wifi pin code = 31415926 \n", "", 0, ["WPS_PIN get"])


def test_link_is_checked_before_the_configuration_is_applied(cam):
    r, log = fake(cam, "", "-e", "2", "--ssid", "Lab", "--psk", "12345678", "--link")
    assert (r.out, r.err, r.rc) == ("Wifi link down!\n" + STATUS_DOWN, "", 0)
    assert log[:3] == ["STATUS", "STATUS", "ADD_NETWORK"]
    assert log.count("ADD_NETWORK") == 1


def test_pin_during_parsing_then_open_configuration(cam):
    r, log = fake(cam, "--pin 27182818", "--wps", "0", "-e", "0", "--ssid", "Guest")
    assert (r.out, r.err, r.rc) == ("Get IPC-wifi pin code = 27182818 \n", "", 0)
    assert log == ["WPS_PIN get", "ADD_NETWORK", "SET_NETWORK 0 ssid 4775657374", "SET_NETWORK 0 key_mgmt NONE",
                   "SELECT_NETWORK 0", "LIST_NETWORKS", "SAVE_CONFIG"]


# ---------------------------------------------------------------- what reaches the daemon

@pytest.mark.parametrize("args, requests", [
    (["-e", "wpa+wpa2-psk", "--ssid", "Lab", "--psk", "fern quail\"1", "--pairwise", "2", "--group", "1"],
     ["ssid 4c6162", "key_mgmt WPA-PSK", "proto WPA RSN", "pairwise CCMP", "group CCMP",
      "psk \"fern quail\"1\""]),
    (["-e", "2", "--ssid", "Lab", "--auth_alg", "1", "--key_mgmt", "0"],
     ["ssid 4c6162", "key_mgmt WPA-PSK", "proto WPA", "pairwise CCMP TKIP", "group CCMP TKIP",
      "psk \"fernquail\""]),
    (["-m", "1", "-c", "14", "-e", "3", "--key_mgmt", "4", "--pairwise", "0", "--ssid", "Cell"],
     ["ssid 43656c6c", "mode 1", "frequency 2484", "key_mgmt WPA-NONE", "proto RSN", "pairwise NONE",
      "group CCMP TKIP", "psk \"fernquail\""]),
    (["-e", "WEP104-SHARED", "--select", "2", "--ssid", "Cam", "--key1", "0123456789"],
     ["ssid 43616d", "key_mgmt NONE", "auth_alg SHARED", "group WEP104", "wep_key0 \"k7Qp2\"",
      "wep_key1 0123456789", "wep_key2 \"Zr8vLm3qT6wXe\"", "wep_key3 5e0b7d19c4a2f86e3d71b05c9a",
      "wep_tx_keyidx 2"]),
    (["-e", "1", "--ssid", "Cam", "--keytype", "0", "--group", "2"],
     ["ssid 43616d", "key_mgmt NONE", "auth_alg OPEN", "group WEP40", "wep_key0 \"k7Qp2\"",
      "wep_key1 a4f09c21be", "wep_key2 \"Zr8vLm3qT6wXe\"", "wep_key3 5e0b7d19c4a2f86e3d71b05c9a",
      "wep_tx_keyidx 0"]),
], ids=["wpa+wpa2", "wpa-defaults", "adhoc-wpa-none", "wep104-shared", "wep40-open"])
def test_network_block_sent_field_by_field_then_selected_and_saved(cam, args, requests):
    r, log = fake(cam, "", *args)
    assert (r.out, r.err, r.rc) == ("", "", 0)
    assert log == (["ADD_NETWORK"] + ["SET_NETWORK 0 " + q for q in requests]
                   + ["SELECT_NETWORK 0", "LIST_NETWORKS", "SAVE_CONFIG"])


def test_wps_pin_with_ap_name_registers_with_the_strongest_bssid(cam):
    r, log = fake(cam, APS, "--wps", "2", "--apname", "Brackmoor-Test", "--pincode", "12345670")
    assert (r.out, r.err, r.rc) == ("", "", 0)
    assert log == SCAN_REQUESTS + ["WPS_REG 66:77:88:99:aa:bb 12345670"]


def test_wps_pin_finds_an_ap_whose_name_wpa_supplicant_escapes(cam):
    r, log = fake(cam, APS, "--wps", "2", "--apname", "café\n", "--pincode", "40917263")
    assert (r.out, r.err, r.rc) == ("", "", 0)
    assert log[-1] == "WPS_REG 00:0a:0b:0c:0d:0e 40917263"


@pytest.mark.parametrize("args, last", [
    (["-e", "2", "--wps", "1"], "WPS_PBC"),
    (["--wps", "1", "-e", "0"], "SAVE_CONFIG"),
    (["--wps", "258", "--apname", "Cell 7", "--pincode", "00000000"], "WPS_REG 02:00:00:00:00:01 00000000"),
])
def test_the_later_of_encryption_and_wps_decides(cam, args, last):
    r, log = fake(cam, APS, *args)
    assert (r.out, r.err, r.rc) == ("", "", 0)
    assert config_requests(log)[-1] == last


def test_wps_master_configuration_starts_with_the_pin_shown(cam):
    r, log = fake(cam, "--pin 11223344", "--wps", "0", "-e", "8")
    assert (r.out, r.err, r.rc) == ("Get IPC-wifi pin code = 11223344 \n"
                                    "wifi: wlan0: WPS started with PIN 11223344\n", "", 0)
    assert log == ["WPS_PIN get", "WPS_PIN any 11223344"]


# ---------------------------------------------------------------- failures

CONFIG_ERROR = error("wifi_test_main", "wifi config has error!\n")


@pytest.mark.parametrize("fake_args, args, tail", [
    ("--answer ADD_NETWORK=FAIL", ["-e", "0"], ["ADD_NETWORK"]),
    ("--answer 'SET_NETWORK 0 psk=FAIL'", ["-e", "2"],
     ["SET_NETWORK 0 psk \"fernquail\"", "REMOVE_NETWORK 0"]),
    ("--answer SELECT_NETWORK=FAIL", ["-e", "0"], ["SELECT_NETWORK 0", "REMOVE_NETWORK 0"]),
    ("--answer SAVE_CONFIG=FAIL", ["-e", "0"], ["SAVE_CONFIG"]),
    ("--answer WPS_PBC=FAIL", ["--wps", "1"], ["WPS_PBC"]),
    ("--answer WPS_REG=FAIL-PIN", ["--wps", "2", "--apname", "Cell 7"], ["WPS_REG 02:00:00:00:00:01 40917263"]),
    ("", ["--wps", "2", "--apname", "Nowhere"], ["SCAN_RESULTS"]),
    ("--answer SCAN=FAIL", ["--wps", "2"], ["SCAN"]),
    ("", ["--wps", "2", "--pincode", "1234567a"], []),
    ("", ["-e", "5"], []),
], ids=["add", "set", "select", "save", "pbc", "reg", "no-such-ap", "scan", "pin-not-digits", "eap"])
def test_a_configuration_wpa_supplicant_refuses_is_reported_and_ends_normally(cam, fake_args, args, tail):
    r, log = fake(cam, APS + " " + fake_args, *args)
    assert (r.out, r.rc) == ("", 0)
    assert re.fullmatch(CONFIG_ERROR, r.err), r.err
    requests = config_requests(log)
    assert requests[len(requests) - len(tail):] == tail
    assert "SAVE_CONFIG" not in requests[:-1]
    assert client_sockets(cam) == []


@pytest.mark.parametrize("args, out, err", [
    (["--link"], "Wifi can't check link status!\n", NO_DAEMON),
    (["--scan"], "", NO_DAEMON),
    (["--status"], "", NO_DAEMON),
    (["--wps", "0"], "Get IPC-wifi pin code =  \n", NO_DAEMON),
])
def test_no_daemon_at_all(cam, args, out, err):
    r = cam.run("-M", "wifi", *args)
    assert (r.out, r.err, r.rc) == (out, err, 0)


def test_no_daemon_configuration_fails(cam):
    r = cam.run("-M", "wifi", "-e", "2")
    assert (r.out, r.rc) == ("", 0)
    assert re.fullmatch(CONFIG_ERROR, r.err), r.err


# waits: the seconds the program must have waited for the answer that never came.
@pytest.mark.parametrize("fake_args, args, out, err, waits", [
    ("--mute '*'", ["--link"], "Wifi can't check link status!\n",
     "wifi: wlan0: wpa_supplicant did not answer STATUS\n", 2),
    ("--answer STATUS=FAIL", ["--link"], "Wifi can't check link status!\n",
     "wifi: wlan0: wpa_supplicant refused STATUS\n", 0),
    ("--mute SCAN", ["--scan"], "", "wifi: wlan0: wpa_supplicant did not answer SCAN\n", 2),
    ("--no-scan-event", ["--scan"], "", "wifi: wlan0: no scan results within 4000 ms\n", 4),
    ("--mute ATTACH", ["--scan"], "", "wifi: wlan0: wpa_supplicant did not answer ATTACH\n", 2),
    ("--mute WPS_PIN", ["--wps", "0"], "Get IPC-wifi pin code =  \n",
     "wifi: wlan0: wpa_supplicant did not answer WPS_PIN get\n", 2),
    ("--answer 'WPS_PIN get=12 4'", ["--wps", "0"], "Get IPC-wifi pin code =  \n",
     "wifi: wlan0: wpa_supplicant refused WPS_PIN get\n", 0),
])
@pytest.mark.uptime_lead(1.5)  # the first request's 2 s deadline lies past the boundary
def test_a_daemon_that_refuses_or_never_answers_costs_seconds_not_a_hang(cam, uptime, fake_args, args, out, err,
                                                                         waits):
    line = shlex.quote(f"lap; debug -M wifi {quote(args)}; rc=$?; lap; exit $rc")
    r, (seconds,) = cam.timed(f"wpa-fake {fake_args} -- bash -c {line}")
    assert (r.out, r.err, r.rc) == (out, err, 0)
    # A wait cut short by a millisecond's rounding still counts; one that ran into the
    # client library's own 10 s (or never ended) does not.
    assert waits - 0.01 <= seconds < waits + 5
    assert client_sockets(cam) == []


def test_ctrl_c_ends_the_wait_for_scan_results(cam):
    r, (seconds,) = cam.timed("wpa-fake --no-scan-event -- bash -c "
                              "'debug -M wifi --scan --link & pid=$!; sleep 0.5; lap; kill -INT $pid; wait $pid;"
                              " rc=$?; lap; exit $rc'")
    # The rest of the 4 s wait would be 3.5 s.
    assert seconds < 2.5
    assert (r.out, r.err, r.rc) == ("\nGet signal, signo = 2\n" + "Wifi link down!\n" + STATUS_DOWN,
                                    "wifi: wlan0: SCAN interrupted\n", 0)
    assert client_sockets(cam) == []


def test_a_daemon_that_never_answers_fails_the_configuration(cam):
    r, log = fake(cam, "--mute '*'", "-e", "0")
    assert (r.out, r.rc, log) == ("", 0, ["ADD_NETWORK"])
    assert re.fullmatch(CONFIG_ERROR, r.err), r.err


# ---------------------------------------------------------------- the real daemon

# A bounded wait beside the daemon for its link.
LINKED = "for i in $(seq 200); do wpa_cli -i wlan0 status | grep -qx wpa_state=COMPLETED && break; sleep 0.1; done; "

PSK_BLOCK = {"ssid": '"Lab"', "psk": '"fernquail1"', "key_mgmt": "WPA-PSK"}
DEFAULT_KEYS = {"wep_key0": '"k7Qp2"', "wep_key1": "a4f09c21be", "wep_key2": '"Zr8vLm3qT6wXe"',
                "wep_key3": "5e0b7d19c4a2f86e3d71b05c9a"}


@pytest.mark.parametrize("args, block", [
    (["-e", "WPA-PSK", "--ssid", "Lab", "--psk", "fernquail1", "--pairwise", "1"],
     dict(PSK_BLOCK, proto="WPA", pairwise="TKIP", group="TKIP")),
    (["-e", "3", "--ssid", "Lab", "--psk", "fernquail1", "--pairwise", "2"],
     dict(PSK_BLOCK, proto="RSN", pairwise="CCMP", group="CCMP")),
    (["-e", "4", "--ssid", "Lab", "--psk", "fernquail1", "--proto", "0"], PSK_BLOCK),
    (["-e", "wep40-shared", "--ssid", "Cam", "--key0", "ab\"de"],
     dict(DEFAULT_KEYS, ssid='"Cam"', key_mgmt="NONE", auth_alg="SHARED", wep_key0='"ab"de"')),
    (["-e", "1", "--select", "3", "--ssid", "Cam", "--key3", "0123456789ABCDEF0123456789"],
     dict(DEFAULT_KEYS, ssid='"Cam"', key_mgmt="NONE", auth_alg="OPEN", wep_tx_keyidx="3",
          wep_key3="0123456789abcdef0123456789")),
    (["-e", "open", "--ssid", "Guest", "--key_mgmt", "2"], {"ssid": '"Guest"', "key_mgmt": "NONE"}),
    (["-e", "0", "-m", "AD-HOC", "-c", "11", "--ssid", "Cell"],
     {"ssid": '"Cell"', "key_mgmt": "NONE", "mode": "1", "frequency": "2462"}),
    (["-m", "1", "-e", "3", "--ssid", "Cell", "--psk", "fernquail1", "--pairwise", "2"],
     {"ssid": '"Cell"', "psk": '"fernquail1"', "key_mgmt": "WPA-PSK", "proto": "RSN", "pairwise": "CCMP",
      "group": "CCMP", "mode": "1", "frequency": "2442"}),
    (["-e", "0", "--ssid", "café"], {"ssid": "636166c3a9", "key_mgmt": "NONE"}),
], ids=["wpa-psk", "wpa2-psk", "wpa+wpa2", "wep40-ascii", "wep104-hex", "open", "adhoc-open", "adhoc-wpa2",
        "utf8-ssid"])
def test_real_daemon_saves_the_network_block(cam, args, block):
    r = real(cam, *args)
    assert (r.out, r.err, r.rc) == ("", "", 0)
    assert saved_networks(cam) == [block]


def test_real_daemon_keeps_one_network_and_a_refused_one_changes_nothing(cam):
    r = real(cam, "-e", "0", "--ssid", "First")
    assert (r.out, r.err, r.rc) == ("", "", 0)
    # The network kept is one the radio of the real-kernel camera has on the air.
    r = real(cam, "-e", "0", "--ssid", "Brackmoor-Open")
    assert (r.out, r.err, r.rc) == ("", "", 0)
    assert saved_networks(cam) == [{"ssid": '"Brackmoor-Open"', "key_mgmt": "NONE"}]
    r = real(cam, "-e", "1", "--select", "1", "--key1", "zzzzzzzzzz")
    assert (r.out, r.rc) == ("", 0)
    assert re.fullmatch(CONFIG_ERROR, r.err), r.err
    assert saved_networks(cam) == [{"ssid": '"Brackmoor-Open"', "key_mgmt": "NONE"}]
    # The daemon links to the network it keeps within a moment of its start; asked
    # before or after that (a slow machine, an emulated program), it would list the
    # network differently.
    air = "/kernel/radio start open && " if KERNEL else ""
    r = cam.sh(f"{air}wpa-sim -- bash -c {quote([LINKED + 'debug -M wifi --status'])}")
    assert (r.err, r.rc) == ("", 0)
    assert r.out == ("wlan0 configuration:\nnetwork 0 [CURRENT]\n    ssid=\"Brackmoor-Open\"\n    mode=0\n"
                     "    frequency=0\n    key_mgmt=NONE\n    proto=WPA RSN\n    pairwise=CCMP TKIP\n"
                     "    group=CCMP TKIP\n    wep_tx_keyidx=0\n")


def test_real_daemon_link_state_and_device_pin(cam):
    r = real(cam, "--link", "--wps", "0")
    out = re.sub(r"address=[0-9a-f:]{17}", "address=MAC", r.out)
    out = re.sub(r"uuid=[0-9a-f-]{36}", "uuid=UUID", out)
    out = re.sub(r"code = \d{8} ", "code = PIN ", out)
    # A radio is a P2P device too; with no network it is idle, or scanning at first.
    p2p, state = ("    p2p_device_address=MAC\n", "(DISCONNECTED|INACTIVE|SCANNING)") if KERNEL else ("", "DISCONNECTED")
    assert re.fullmatch(re.escape("Wifi link down!\nwlan0 status:\n    wpa_state=") + state
                        + re.escape(f"\n{p2p}    address=MAC\n    uuid=UUID\nGet IPC-wifi pin code = PIN \n"), out), out
    assert (r.err, r.rc) == ("", 0)
    assert saved_networks(cam) == []


def test_real_daemon_starts_push_button_wps(cam):
    # The daemon's word for it, on the wired driver as on a radio with no access point
    # in push-button mode (where it goes on scanning for one).
    said = "grep -o WPS-PBC-ACTIVE /tmp/wpa_supplicant.log"
    r = real(cam, "--wps", "1", after=f"; for i in $(seq 50); do {said} >/dev/null && break; sleep 0.1; done; {said}")
    assert (r.out, r.err, r.rc) == ("WPS-PBC-ACTIVE\n", "", 0)
    assert saved_networks(cam) == []


def test_real_daemon_refuses_an_invalid_value(cam):
    r = real(cam, "-e", "2", "--ssid", "x" * 40, "--psk", "fernquail1")
    assert (r.out, r.rc) == ("", 0)
    assert re.fullmatch(CONFIG_ERROR, r.err), r.err
    assert saved_networks(cam) == []


# ---------------------------------------------------------------- on the radio (real kernel)

# The test networks of the real-kernel camera's radio (kernel/guest/radio): BSSID, MHz,
# flags and SSID as the daemon scans them; hwsim gives every frame the same signal.
AIR = {
    "open": ("02:00:00:00:01:00", 2412, "[ESS]", "Brackmoor-Open"),
    "wpa2": ("02:00:00:00:02:00", 2437, "[WPA2-PSK-CCMP][WPS][ESS]", "Brackmoor-Test"),
    "tkip": ("02:00:00:00:03:00", 2462, "[WPA-PSK-TKIP][ESS]", "Brackmoor-TKIP"),
    "wep": ("02:00:00:00:04:00", 2422, "[WEP][ESS]", "Brackmoor-WEP"),
}
HIDDEN = "02:00:00:00:05:00"
RADIO = pytest.mark.kernel_only("a radio, access points and the daemon on nl80211")
# A bounded wait beside the daemon for the link's loss.
UNLINKED = "for i in $(seq 200); do wpa_cli -i wlan0 status | grep -qx wpa_state=COMPLETED || break; sleep 0.1; done; "


def on_air(cam, script):
    """SCRIPT beside the camera's daemon on the radio, every test network on the air."""
    return cam.sh(f"/kernel/radio start && wpa-sim -- bash -c {shlex.quote(script)}", timeout=120)


def scan_row(bssid, freq, flags, ssid):
    return f"{bssid:<17}  {freq:5}  {-30:6}  {flags:<32}  {ssid}"


@RADIO
def test_radio_scan_lists_every_access_point_and_the_ad_hoc_cell(cam):
    # The ad-hoc cell is formed a few seconds after its first start: asked again until then.
    r = on_air(cam, "debug -M wifi --scan; for i in $(seq 10); do out=$(debug -M wifi -m 1 --scan);"
               " grep -q IBSS <<<\"$out\" && break; sleep 1; done; echo \"$out\"")
    assert (r.err, r.rc) == ("", 0)
    managed, adhoc = r.out.split("wlan0 scan, ad-hoc mode: ")
    rows = set(managed.splitlines()[2:])
    # A hidden network answers no probe for any network; it is listed, nameless, only
    # when one of its beacons came during the scan's moment on its channel.
    rows.discard(scan_row(HIDDEN, 2452, "[WPA2-PSK-CCMP][ESS]", ""))
    assert rows == {scan_row(*ap) for ap in AIR.values()}
    assert managed.splitlines()[:2] == [f"wlan0 scan, managed mode: {len(managed.splitlines()) - 2} networks",
                                        HEADING.rstrip("\n")]
    assert re.fullmatch("1 network\n" + HEADING + r"([0-9a-f]{2}:){5}[0-9a-f]{2}   2427     -30  \[IBSS\] {28}Cell-7\n",
                        adhoc), adhoc


@RADIO
@pytest.mark.parametrize("args, ap, ciphers, key_mgmt", [
    (["-e", "0", "--ssid", "Brackmoor-Open"], "open", "NONE", "NONE"),
    (["-e", "3", "--ssid", "Brackmoor-Test", "--psk", "fernquail"], "wpa2", "CCMP", "WPA2-PSK"),
    (["-e", "2", "--ssid", "Brackmoor-TKIP", "--pairwise", "1"], "tkip", "TKIP", "WPA-PSK"),
    (["-e", "1", "--ssid", "Brackmoor-WEP"], "wep", "WEP-40", "NONE"),
], ids=["open", "wpa2-psk", "wpa-psk-tkip", "wep40"])
def test_radio_configuration_reaches_the_access_point(cam, args, ap, ciphers, key_mgmt):
    bssid, freq, _, ssid = AIR[ap]
    r = on_air(cam, f"debug -M wifi {quote(args)}; {LINKED} debug -M wifi --link --status")
    assert (r.err, r.rc) == ("", 0)
    assert r.out.startswith(f"Wifi link up!\nwlan0 status:\n    bssid={bssid}\n    freq={freq}\n    ssid={ssid}\n"
                            f"    id=0\n    mode=station\n    pairwise_cipher={ciphers}\n    group_cipher={ciphers}\n"
                            f"    key_mgmt={key_mgmt}\n    wpa_state=COMPLETED\n"), r.out
    assert f"wlan0 configuration:\nnetwork 0 [CURRENT]\n    ssid=\"{ssid}\"\n" in r.out


@RADIO
@pytest.mark.parametrize("setup", [
    # the wrong passphrase: the daemon gives up on the network for a while
    "debug -M wifi -e 3 --ssid Brackmoor-Test --psk wrongquail; for i in $(seq 200); do"
    " grep -q reason=WRONG_KEY /tmp/wpa_supplicant.log && break; sleep 0.1; done; ",
    # linked, then the access point loses its power
    f"debug -M wifi -e 0 --ssid Brackmoor-Open; {LINKED} /kernel/radio cut open; {UNLINKED}",
], ids=["wrong-passphrase", "off-the-air"])
def test_radio_link_down(cam, setup):
    r = on_air(cam, setup + "debug -M wifi --link; /kernel/radio start open")
    assert (r.err, r.rc) == ("", 0)
    assert re.fullmatch(r"Wifi link down!\nwlan0 status:\n(    .*\n)*", r.out), r.out
    assert "wpa_state=COMPLETED" not in r.out


@RADIO
@pytest.mark.parametrize("script", [
    "/kernel/radio cli wpa2 wps_pbc >/dev/null; debug -M wifi --wps 1; ",
    "/kernel/radio cli wpa2 wps_ap_pin set 40917263 >/dev/null;"
    " debug -M wifi --wps 2 --apname Brackmoor-Test --pincode 40917263; ",
    # the PIN the program shows, taken by the access point
    "out=$(debug -M wifi -e 8 --wps 0); echo \"$out\" >&2; /kernel/radio cli wpa2 wps_pin any"
    " \"$(sed -n 's/^Get IPC-wifi pin code = \\([0-9]*\\) $/\\1/p' <<<\"$out\")\" | grep -qx OK || echo refused; ",
], ids=["push-button", "ap-pin", "device-pin"])
def test_radio_wps_saves_the_access_points_credentials(cam, script):
    r = on_air(cam, script + LINKED + "wpa_cli -i wlan0 status | grep -x wpa_state=COMPLETED")
    assert (r.out, r.rc) == ("wpa_state=COMPLETED\n", 0), r
    nets = saved_networks(cam)
    assert [(n["ssid"], n["psk"], n["key_mgmt"]) for n in nets] == [('"Brackmoor-Test"', '"fernquail"', "WPA-PSK")]
