# SPDX-License-Identifier: Apache-2.0
"""The extdrv and pt modules: the command record that reaches the driver-board
service's segment, read back field by field in the same IPC namespace."""
import re
import shlex

import pytest

KEYS = {"extdrv": 0x767DB9, "pt": 0x767DB8}
FIELDS = ["valid", "status", "cmd"] + [f"param[{i}]" for i in range(10)]


def dump(module, cmd=0, params=(), valid=None):
    """What shmdump shows for a 52-byte record."""
    words = [1 if valid is None and cmd else (valid or 0), 0, cmd] + list(params) + [0] * (10 - len(params))
    return (f"key 0x{KEYS[module]:08x} size 52 perms 666\n"
            + "".join(f"{name:<12}{value}\n" for name, value in zip(FIELDS, words)))


def none(module):
    return f"no segment with key 0x{KEYS[module]:08x}\n"


def run_and_dump(cam, module, args, before=""):
    line = shlex.join(["debug", "-M", module, *args])
    return cam.sh(f"{before}{line}; echo rc=$?; shmdump {module}")


def usage(module):
    rows = [
        ("M", "module", "module", f"module name: {module}"),
        ("w", "titl_i", "0~31", "0 is min   ,31is max"),
        ("q", "pan_i", "0~31", "0 is min   ,31is max"),
        ("a", "heat", "0~1", "0 is close ,1 is open default:0"),
        ("f", "fan", "0~1", "0 is close ,1 is open default:0"),
        ("d", "defog", "0~1", "0 is close ,1 is open default:0"),
        ("c", "temp", "0~10000", "the time_cnt for printf temp(1s)"),
        ("p", "pan_param", "0~10000", "the pan_step will be set default:0"),
        ("t", "tilt_param", "0~10000", "the tilt_step will be set default:0"),
        ("s", "set_step", "00~11", "XY == (X=P_dir Y=T_dir) set dir and start run step"),
        ("i", "query_info", "1~10", "1==(version) 2==(oc_off) 3 = (oc_value) 4==(temp_Info)"),
        ("o", "set_corrent", "0~1", "0 = open 1= close"),
        ("e", "set_temp_ctl", "0~1", "0 = open 1= close"),
        ("l", "set_heat_open_value", "0~50", "default(28)"),
        ("r", "set_heat_close_value", "0~50", "default(30)"),
        ("u", "set_fan_open_value", "0~100", "real value need cut off 50 ; default(-5)"),
        ("n", "set_fan_close_value", "0~100", "real value need cut off 50 ; default(-8)"),
        ("g", "set_current_up_value", "0~100", "real value need cut off 50 ; default(-5)"),
        ("k", "set_current_down_value", "0~100", "real value need cut off 50 ; default(-10)"),
        ("b", "set pwm_run", "1200~2000", "set electric,current running"),
        ("j", "set pwm_idle", "1200~2000", "set electric,current idle"),
        ("x", "set obj_dis", "0~10000", "set image_dis"),
        ("y", "set image_dis", "1200~2000", "setobj_dis"),
        ("W", "query_wiper_info", "0-1", "set test wiegand mode"),
    ]
    bare = ["O calibration qx300_optical_sys", "V query_wiper_ver", "P query_wiper_sensor_vsn",
            "F set LIGHT1", "L set LIGHT2", "E SELECT HAVE OR NONE ENDLINE", "G set wie HID",
            "Y set wie PID", "T set ext LIGHT", "R test wiegand mode", "m control motor run step",
            "A test rs485"]
    text = "*" * 80 + f"\n{module} usage:\ndebug -M {module} [option] \n"
    text += "".join(f"-{c}  --{name} [{kind}]\t{help}\n" for c, name, kind, help in rows)
    text += "".join(f"-{b[0]}  --{b[2:]}\t\t\n" for b in bare)
    return text + "*" * 80 + "\n"


@pytest.mark.parametrize("module", ["extdrv", "pt"])
def test_each_module_writes_to_its_own_key(cam, module):
    other = "pt" if module == "extdrv" else "extdrv"
    r = cam.sh(f"debug -M {module} -a 1; echo rc=$?; shmdump {module}; shmdump {other}")
    assert (r.out, r.err) == ("rc=0\n" + dump(module, 101, [1]) + none(other), "")


@pytest.mark.parametrize("module, args, out, cmd, params, valid", [
    ("pt", [], "", 0, [], 0),
    ("extdrv", ["-q", "12"], "\n current of pan_motor=12 \n", 110, [12], None),
    ("pt", ["--titl_i", "31"], "\n current of tile_motor=31 \n", 111, [31], None),
    ("extdrv", ["-s", "11", "-p", "100", "-t", "200"], "", 104, [0x800064, 0x8000C8], None),
    ("pt", ["-s", "10", "-p", "100", "-t", "200"], "", 104, [0x800064, 200], None),
    ("extdrv", ["-s", "0", "-p", "100", "-t", "200"], "", 104, [100, 200], None),
    ("pt", ["-s", "-1", "-p", "100", "-t", "200"], "", 0, [], 0),
    ("extdrv", ["-l", "28", "-r", "30"], "", 109, [5, 28, 30], None),
    ("pt", ["-l", "28"], "", 0, [0, 28], 0),
    ("extdrv", ["--set pwm_run", "1500", "--set pwm_idle=1300"], "", 109, [4, 0xDC, 0x05, 0x14, 0x05], None),
    ("pt", ["-j", "1300"], "", 0, [], 0),
    ("extdrv", ["-m", "1", "2", "3", "4"], "", 122, [1, 2, 3, 4], None),
    ("pt", ["-m", "1"], "", 0, [], 0),
    ("extdrv", ["-a", "1", "-f", "0"], "", 100, [0], None),
    ("pt", ["--set wie HID", "5", "--set wie PID", "6"], "", 118, [5, 6], None),
    ("extdrv", ["--calibration", "9"], "", 113, [9], None),
    ("pt", ["-F", "3", "-L", "4", "-z", "7"], "", 116, [7, 4], None),
])
def test_record_reaches_the_service_field_by_field(cam, module, args, out, cmd, params, valid):
    r = run_and_dump(cam, module, args)
    assert (r.out, r.err, r.rc) == (out + "rc=0\n" + dump(module, cmd, params, valid), "", 0)


@pytest.mark.parametrize("module", ["extdrv", "pt"])
@pytest.mark.parametrize("args", [["-G", "5"], ["-a", "1", "-Y", "6"], ["-q", "12", "-x"], ["-a"]])
def test_unknown_option_ends_with_255_and_writes_nothing(cam, module, args):
    r = run_and_dump(cam, module, args)
    printed = "\n current of pan_motor=12 \n" if "-q" in args else ""
    assert r.out == printed + usage(module) + "rc=255\n" + none(module)
    assert re.fullmatch(rf" ERROR  \(tq_{module}\|pt_init_param\|\d+\): Unknow option\n", r.err), r.err


@pytest.mark.parametrize("module", ["extdrv", "pt"])
def test_usage_lists_all_36_options(cam, module):
    r = cam.run("-h", module)
    assert (r.out, r.err, r.rc) == ("debug version: 1.2.0\n" + usage(module), "", 0)


def test_segment_that_cannot_be_had_is_neither_attached_nor_written(cam):
    r = run_and_dump(cam, "extdrv", ["-q", "12"], before="shmdump --create extdrv 8; ")
    assert r.out == ("\n current of pan_motor=12 \nfaild to get shm id==-1\nrc=0\n"
                     "key 0x00767db9 size 8 perms 666\nvalid       0\nstatus      0\n")
    assert r.err == ""


def test_next_run_overwrites_the_whole_record(cam):
    r = cam.sh("debug -M pt -m 1 2 3 4 && debug -M pt -l 28; shmdump pt")
    assert r.out == dump("pt", 0, [0, 28], 0)
