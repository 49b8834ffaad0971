"""pwm on the simulated camera: a channel read or programmed, byte for byte."""
import re
import shutil

import pytest

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
    """Every file of the PWM chip's folder and what it holds."""
    base = cam.path(CHIP)
    return {str(p.relative_to(base)): p.read_bytes() for p in base.rglob("*") if p.is_file()}


def channel(cam, n):
    return tuple(cam.read(f"{CHIP}/pwm{n}/{attr}") for attr in ("period", "duty_cycle", "enable"))


def error(func, message):
    return r" ERROR  \(tq_pwm\|" + func + r"\|\d+\): " + re.escape(message)


@pytest.mark.parametrize("args, n, period, duty_cycle", [
    (["-c", "1", "-d", "300"], 1, "100000", "30000"),
    (["-e", "0"], 0, "100000", "0"),
    (["-e", "0", "-d", "300"], 0, "100000", "30000"),
    (["-d", "300", "-e", "0"], 0, "100000", "0"),
    (["-e", "1"], 0, "100000", "50000"),
    (["-d", "5000"], 0, "100000", "100000"),
    (["-c", "1", "-p", "1000000", "-d", "250"], 1, "1000000", "250000"),
    (["--channel", "2", "--period", "20000", "--duty", "1"], 2, "20000", "20"),
    (["-c", "3", "-d", "12abc"], 3, "100000", "1200"),
    (["-d", " +7"], 0, "100000", "700"),
    (["-p", "2"], 0, "2", "1"),
])
def test_write_programs_the_channel(cam, args, n, period, duty_cycle):
    before = tree(cam)
    r = cam.run("-M", "pwm", *args)
    assert (r.out, r.err, r.rc) == ("", "", 0)
    assert channel(cam, n) == (period, duty_cycle, "1")
    after = tree(cam)
    assert {k for k in after if after[k] != before[k]} <= {f"pwm{n}/period", f"pwm{n}/duty_cycle", f"pwm{n}/enable"}


def test_smaller_period_than_the_running_duty_cycle(cam):
    cam.write(f"{CHIP}/pwm1/period", "1000000\n")
    cam.write(f"{CHIP}/pwm1/duty_cycle", "900000\n")
    cam.write(f"{CHIP}/pwm1/enable", "1\n")
    r = cam.run("-M", "pwm", "-c", "1", "-p", "100000", "-d", "300")
    assert (r.out, r.err, r.rc) == ("", "", 0)
    assert channel(cam, 1) == ("100000", "30000", "1")


@pytest.mark.parametrize("args", [["-c", "1"], ["-d", "300", "-c", "1"], ["--channel", "01"]])
def test_read_prints_the_channel_and_writes_nothing(cam, args):
    cam.write(f"{CHIP}/pwm1/period", "100000\n")
    cam.write(f"{CHIP}/pwm1/duty_cycle", "30000\n")
    cam.write(f"{CHIP}/pwm1/enable", "1\n")
    before = tree(cam)
    r = cam.run("-M", "pwm", *args)
    assert (r.out, r.err, r.rc) == ("pwm1: period 100000 ns, duty cycle 30000 ns (30.0%), enable 1\n", "", 0)
    assert tree(cam) == before


@pytest.mark.parametrize("args, message", [
    (["-d", "0"], "Error pwm duty\n"),
    (["-d", "abc"], "Error pwm duty\n"),
    (["-d", "-300"], "Error pwm duty\n"),
    (["-p", "-5"], "Error pwm period\n"),
    (["-p", "0", "-d", "300"], "Error pwm period\n"),
    (["-c", "-1"], "Error pwm channel\n"),
    (["-e", "2"], "Error pwm period, must be [0-1]\n"),
    (["-c", "1", "-d", "300", "-e", "5"], "Error pwm period, must be [0-1]\n"),
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
    (["-c", "99", "-d", "300"], "pwm_write", 99, ""),
    (["-c", "2"], "pwm_read", 2, "2"),
    (["-c", "2", "-d", "300"], "pwm_write", 2, "2"),
])
def test_channel_the_chip_cannot_give_is_reported(cam, args, op, n, export):
    # The simulated chip has four channels and does not react to "export".
    shutil.rmtree(cam.path(f"{CHIP}/pwm2"))
    before = tree(cam)
    r = cam.run("-M", "pwm", *args)
    assert (r.out, r.rc) == ("", 0)
    assert re.fullmatch(error("pwm_test_main", f"{op} channel {n} faild!\n"), r.err), r.err
    assert cam.read(f"{CHIP}/export") == export
    assert {k: v for k, v in tree(cam).items() if k != "export"} == {k: v for k, v in before.items() if k != "export"}


@pytest.mark.parametrize("args", [["-M", "pwm"], ["-M", "pwm", "-M", "pwm"], ["-h", "pwm"]])
def test_usage_when_nothing_is_asked(cam, args):
    before = tree(cam)
    r = cam.run(*args)
    version = "debug version: 1.2.0\n" if args[0] == "-h" else ""
    assert (r.out, r.err, r.rc) == (version + USAGE, "", 0)
    assert tree(cam) == before
