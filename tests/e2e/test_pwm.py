# SPDX-License-Identifier: Apache-2.0
"""pwm on the simulated camera: a channel read or programmed, byte for byte."""
import re

import pytest
from conftest import KERNEL

CHIP = "/sys/class/pwm/pwmchip0"

USAGE = ("*" * 80 + "\n"
         "pwm usage:\n"
         "debug -M pwm [option] \n"
         "-M  --module [module]\tmodule name: pwm\n"
         "-c  --channel [0~PWM_MAX_CHN]\tselect pwm channel (default is 0)\n"
         "-d  --duty [1~1000]\tspecify duty ratio (0.1% ~ 99.9%), (defalut 500)\n"
         "-p  --period [2~12M]\tspecify period, (defalut 100K)\n"
         "-e  --enable [0~1]\tenable switch.\n"
         + "*" * 80 + "\n"
         "\nNotice:\n"
         "\tUse lsmod to make sure pwm module has been installed.\n"
         "\n")


def tree(cam):
    """What the chip holds: on the simulated camera every file of its folder, byte for
    byte; on the real kernel each exported channel's settings as its PWM core keeps them."""
    if not KERNEL:
        base = cam.path(CHIP)
        return {str(p.relative_to(base)): p.read_bytes() for p in base.rglob("*") if p.is_file()}
    r = cam.sh(f"cd {CHIP} && grep -H . pwm*/period pwm*/duty_cycle pwm*/enable 2>/dev/null")
    return {k: (v + "\n").encode() for k, v in (line.split(":", 1) for line in r.out.splitlines())}


def error(func, message):
    return r" ERROR  \(tq_pwm\|" + func + r"\|\d+\): " + re.escape(message)


@pytest.mark.parametrize("args, n, period, duty_cycle", [
    (["-c", "1", "-d", "300"], 1, "100000", "30000"),
    (["-e", "0"], 0, "100000", "0"),
    (["-e", "0", "-d", "300"], 0, "100000", "30000"),
    (["-d", "300", "-e", "0"], 0, "100000", "0"),
    (["-e", "1"], 0, "100000", "50000"),
    (["-d", "5000"], 0, "100000", "100000"),
    (["--channel", "3", "--period", "20000", "--duty", " +7abc"], 3, "20000", "140"),
])
def test_write_programs_the_channel_and_nothing_else(cam, args, n, period, duty_cycle):
    before = tree(cam)
    r = cam.run("-M", "pwm", *args)
    assert (r.out, r.err, r.rc) == ("", "", 0)
    after = tree(cam)
    assert [after[f"pwm{n}/{a}"] for a in ("period", "duty_cycle", "enable")] == [
        f"{period}\n".encode(), f"{duty_cycle}\n".encode(), b"1\n"]
    assert {k for k in after if after[k] != before.get(k)} <= {f"pwm{n}/period", f"pwm{n}/duty_cycle", f"pwm{n}/enable"}


@pytest.mark.parametrize("args", [["-c", "1"], ["-d", "300", "-c", "1"]])
def test_read_prints_the_channel_and_writes_nothing(cam, args):
    for attr, value in (("period", "100000\n"), ("duty_cycle", "30000\n"), ("enable", "1\n")):
        cam.write(f"{CHIP}/pwm1/{attr}", value)
    before = tree(cam)
    r = cam.run("-M", "pwm", *args)
    assert (r.out, r.err, r.rc) == ("pwm1: period 100000 ns, duty cycle 30000 ns (30.0%), enable 1\n", "", 0)
    assert tree(cam) == before


@pytest.mark.parametrize("period, duty_cycle", [("1", "9223372036854775807"), ("100000", "-5")])
@pytest.mark.sim_only("values the kernel's PWM core never keeps: a duty cycle above the period or below zero")
def test_read_of_values_no_channel_can_hold_is_reported(cam, period, duty_cycle):
    for attr, value in (("period", period), ("duty_cycle", duty_cycle), ("enable", "1")):
        cam.write(f"{CHIP}/pwm1/{attr}", value + "\n")
    r = cam.run("-M", "pwm", "-c", "1")
    assert (r.out, r.rc) == ("", 0)
    assert re.fullmatch(error("pwm_test_main", "pwm_read channel 1 faild!\n"), r.err), r.err


@pytest.mark.parametrize("args, message", [
    (["-d", "0"], "Error pwm duty\n"),
    (["-d", "abc"], "Error pwm duty\n"),
    (["-p", "-5"], "Error pwm period\n"),
    (["-c", "-1"], "Error pwm channel\n"),
    (["-c", "1", "-d", "300", "-e", "2"], "Error pwm period, must be [0-1]\n"),
    (["-x", "1"], "Unknow option\n"),
    (["--nosuch"], "Unknow option\n"),
    (["-c", "1", "-d"], "Unknow option\n"),
])
def test_rejected_option_ends_the_process_with_255_and_writes_nothing(cam, args, message):
    before = tree(cam)
    r = cam.run("-M", "pwm", *args)
    assert (r.out, r.rc) == (USAGE, 255)
    assert re.fullmatch(error("pwm_init_param", message), r.err), r.err
    assert tree(cam) == before


@pytest.mark.parametrize("args, op, n, export", [
    (["-c", "99"], "pwm_read", 99, ""),
    (["-c", "2", "-d", "300"], "pwm_write", 2, "2"),
])
def test_channel_the_chip_cannot_give_is_reported(cam, args, op, n, export):
    # Channel 99 is past the chip's four.
    cam.refuse_channel(2)
    r = cam.run("-M", "pwm", *args)
    assert (r.out, r.rc) == ("", 0)
    assert re.fullmatch(error("pwm_test_main", f"{op} channel {n} faild!\n"), r.err), r.err
    # Asked for (the kernel's export file keeps nothing to read back) and not given.
    assert tree(cam) == {} if KERNEL else cam.read(f"{CHIP}/export") == export


@pytest.mark.parametrize("args", [["-M", "pwm"], ["-M", "pwm", "--module", "pwm"]])
def test_usage_when_nothing_is_asked(cam, args):
    before = tree(cam)
    r = cam.run(*args)
    assert (r.out, r.err, r.rc) == (USAGE, "", 0)
    assert tree(cam) == before
