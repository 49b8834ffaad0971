# SPDX-License-Identifier: Apache-2.0
"""ir on the simulated camera: the IR-cut line switched, the result shown and logged."""
import re
import time

import pytest

GPIO = "/sys/class/gpio"
CUT, LED = 55, 56
LOG = "/mnt/nand/debug.log"

USAGE = ("*" * 80 + "\n"
         "ir usage:\n"
         "debug -M ir [option] \n"
         "-M  --module [module]\tmodule name: IR\n"
         "-l  --ir-led [hex]\tset IR-led status\n"
         "-c  --ir-cut [hex]\tset IR-cut status\n"
         "-m  --mode [digit]\tIR test mode\n"
         "-t  --time [digit]\tIR opration times, default 10, [-1] means no timeout\n"
         "-d  --delay [digit]\tIR opration delay [n]ms, n>0, default 500\n"
         + "*" * 80 + "\n"
         "\nIR test mode: \n"
         "IR-led on, switch IR-cut \n"
         "IR-led off, switch IR-cut \n"
         "switch IR-cut and IR-led, on the same\n"
         "switch IR-cut and IR-led, diffrent each other\n")

DATE = r"[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}"
RECORD = "Test date: {date}\n\t IR-cut result: success\n\t use time: {secs}s \n"


def shown(secs):
    return re.compile("\x1b\\[0;32m" + RECORD.format(date="(" + DATE + ")", secs=secs) + "\x1b\\[0;39m \n")


def check_result(cam, out, secs, prefix=""):
    """The green result on screen (after prefix), the same record in the log, dated now."""
    m = re.compile(re.escape(prefix) + shown(secs).pattern).fullmatch(out)
    assert m, out
    date = m.group(1)
    assert abs(time.mktime(time.strptime(date, "%a %b %d %H:%M:%S %Y")) - time.time()) < 30
    assert cam.read(LOG) == RECORD.format(date=date, secs=secs)


def gpio_tree(cam):
    base = cam.path(GPIO)
    return {str(p.relative_to(base)): p.read_bytes() for p in base.rglob("*") if p.is_file()}


def test_default_switches_ten_times_at_500_ms_and_ends_at_1(cam, uptime):
    r = cam.run("-M", "ir")
    assert (r.err, r.rc) == ("", 0)
    check_result(cam, r.out, 5)
    assert (cam.read(f"{GPIO}/gpio{CUT}/value"), cam.read(f"{GPIO}/gpio{CUT}/direction")) == ("1\n", "out\n")
    assert cam.read(f"{GPIO}/gpio{LED}/value") == "1\n"


@pytest.mark.parametrize("args, cut, led", [
    (["-t", "3"], "010", "1"),
    (["-t", "0"], "", "1"),
    (["-m", "1", "-t", "4"], "0101", "0"),
    (["-m", "2", "-t", "4"], "0101", "0101"),
    (["-t", "4", "-m", "2"], "0101", "0101"),
    (["--mode", "0x3", "--time", "5"], "01010", "10101"),
    (["-l", "0", "--ir-cut", "1", "-t", "2"], "01", "1"),
])
def test_switches_in_order_as_many_times_as_asked(cam, gpio_levels, args, cut, led):
    lines = gpio_levels([CUT, LED])
    r = cam.run("-M", "ir", "-d", "1", *args)
    assert (lines.levels(CUT, LED), r.err, r.rc) == ([cut, led], "", 0)
    check_result(cam, r.out, 0)


@pytest.mark.parametrize("sig, signo", [("INT", 2), ("TERM", 15), ("QUIT", 3)])
def test_unlimited_runs_until_a_signal(cam, gpio_levels, sig, signo):
    lines = gpio_levels([CUT, LED])
    r = cam.interrupt("-M", "ir", "-t", "-1", "-d", "20", after=0.6, sig=sig)
    cut, led = lines.levels(CUT, LED)
    check_result(cam, r.out, 0, prefix=f"\nGet signal, signo = {signo}\n")
    assert len(cut) >= 5 and cut == ("01" * len(cut))[:len(cut)], cut
    assert (led, r.err, r.rc) == ("1", "", 0)


@pytest.mark.parametrize("line, args, function, name", [
    (CUT, [], "ir_cut_set", "IR-cut"),
    (LED, ["-m", "2"], "ir_led_set", "IR LED"),
])
def test_missing_line_keeps_the_result_and_is_reported_once(cam, line, args, function, name):
    cam.take_line(line)
    r = cam.run("-M", "ir", "-t", "4", "-d", "10", *args)
    check_result(cam, r.out, 0)
    report = rf" ERROR  \(tq_ir\|{function}\|\d+\): {name} line {line} cannot be switched, it did not move\n"
    assert (re.fullmatch(report, r.err) is not None, r.rc) == (True, 0), r.err


def test_hex_delay_is_512_ms(cam):
    # 4 pauses of 512 ms make two seconds; of 200 ms (a decimal reading) they would not
    # make one. Few switches leave most of a second for a busy machine's delays.
    r = cam.run("-M", "ir", "-t", "4", "-d", "0x200")
    assert (r.err, r.rc) == ("", 0)
    check_result(cam, r.out, 2)


@pytest.mark.parametrize("args, err", [
    (["-m", "4"], "Invalid mode value."),
    (["-t", "1", "-d", "0"], "Invalid delay value."),
    (["-x"], "debug: invalid option -- 'x'\n", ),
    (["-t"], "debug: option requires an argument -- 't'\n"),
])
def test_rejected_option_ends_with_255_and_switches_nothing(cam, args, err):
    before = gpio_tree(cam)
    r = cam.run("-M", "ir", *args)
    assert (r.out, r.rc) == (USAGE, 255)
    if err.startswith("debug:"):
        pattern = re.escape(err) + r" ERROR  \(tq_ir\|ir_init_param\|\d+\): Unknow option\n"
    else:
        pattern = r" ERROR  \(tq_ir\|ir_init_param\|\d+\): " + re.escape(err)
    assert re.fullmatch(pattern, r.err), r.err
    assert gpio_tree(cam) == before
    assert not cam.path(LOG).exists()
