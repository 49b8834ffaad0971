# SPDX-License-Identifier: Apache-2.0
"""gpio on the simulated camera: one line read, driven or made an input, byte for byte."""
import re

import pytest
from conftest import KERNEL

GPIO = "/sys/class/gpio"

USAGE = ("*" * 80 + "\n"
         "gpio usage:\n"
         "debug -M gpio [option] \n"
         "-M  --module [module]\tmodule name: gpio\n"
         "-r  --read [hex]\tread gpio id, default[system_reset]\n"
         "-w  --write [hex]\twrite gpio id, default[system_reset]\n"
         "-d  --data [data]\tdata to written, defalut [0x0]\n"
         "-t  --time [digit]\tgpio opration times, default 1, [-1] means no timeout\n"
         "-D  --delay [digit]\tgpio opration delay [n]s, n>0, default 1\n"
         "-p  --input_config [config]\tgpio input config\n"
         + "*" * 80 + "\n")


def set_line(cam, n, value, direction="in\n"):
    cam.write(f"{GPIO}/gpio{n}/value", value)
    if KERNEL and direction == "out\n":
        # The kernel makes a line an output driving low unless told the level with it;
        # the value written above is its input level (the pull), which it reads again
        # once it is an input.
        direction = {"0\n": "low\n", "1\n": "high\n"}[value]
    cam.write(f"{GPIO}/gpio{n}/direction", direction)


def line(cam, n):
    return cam.read(f"{GPIO}/gpio{n}/direction"), cam.read(f"{GPIO}/gpio{n}/value")


def tree(cam):
    base = cam.path(GPIO)
    return {str(p.relative_to(base)): p.read_bytes() for p in base.rglob("*") if p.is_file()}


@pytest.mark.parametrize("args, n, out", [
    ([], 0, "GPIO read id = 0, data = 1\n"),
    (["-r", "5"], 5, "===g_gpio_cfg(0,5)=======\nGPIO read id = 5, data = 1\n"),
    (["--read", "0x10"], 16, "===g_gpio_cfg(0,16)=======\nGPIO read id = 16, data = 1\n"),
    (["-r", "300"], 300, "===g_gpio_cfg(0,300)=======\nGPIO read id = 300, data = 1\n"),
    (["-w", "4", "-r", "4"], 4, "===g_gpio_cfg(0,4)=======\nGPIO read id = 4, data = 1\n"),
    (["-d", "0", "-t", "5", "-D", "2"], 0, "GPIO read id = 0, data = 1\n"),
])
def test_read_reports_the_level_and_changes_nothing(cam, args, n, out):
    set_line(cam, n, "1\n")
    before = tree(cam)
    r = cam.run("-M", "gpio", *args)
    assert (r.out, r.err, r.rc) == (out, "", 0)
    assert tree(cam) == before


@pytest.mark.parametrize("args, n, before, out, after", [
    (["-w", "3", "-d", "1"], 3, ("in\n", "0\n"), "GPIO write id = 3, data = 1\n", ("out\n", "1\n")),
    (["-w", "3"], 3, ("in\n", "1\n"), "GPIO write id = 3, data = 0\n", ("out\n", "0\n")),
    (["-w", "3", "-d", "2"], 3, ("in\n", "0\n"), "GPIO write id = 3, data = 2\n", ("out\n", "1\n")),
    (["--write", "0x7f", "--data", "1"], 127, ("in\n", "0\n"), "GPIO write id = 127, data = 1\n", ("out\n", "1\n")),
    (["-w", "6", "-d", "0"], 6, ("out\n", "1\n"), "GPIO write id = 6, data = 0\n", ("out\n", "0\n")),
    (["-p", "7"], 7, ("out\n", "1\n"), "GPIO input config:7 1\n", ("in\n", "1\n")),
    (["-w", "7", "-d", "0", "--input_config", "7"], 7, ("out\n", "1\n"), "GPIO input config:7 1\n", ("in\n", "1\n")),
])
def test_write_and_input_config_set_the_line(cam, args, n, before, out, after):
    set_line(cam, n, before[1], direction=before[0])
    r = cam.run("-M", "gpio", *args)
    assert (r.out, r.err, r.rc) == (out, "", 0)
    assert line(cam, n) == after


@pytest.mark.parametrize("args, diagnostic, message", [
    (["-w", "128"], "", "gio id must <= 127\n"),
    (["-w", "0x80", "-d", "1"], "", "gio id must <= 127\n"),
    (["-p", "128"], "", "gio id must <= 127\n"),
    (["-w", "3", "-d", "3"], "", "gio value must be 0/1! \n"),
    (["-D", "0", "-w", "3", "-d", "1"], "", "gio delay time must > 0! \n"),
    (["-x", "-w", "3", "-d", "1"], "debug: invalid option -- 'x'\n", "Unknow option\n"),
    (["-w"], "debug: option requires an argument -- 'w'\n", "Unknow option\n"),
])
def test_rejected_option_prints_usage_touches_no_line_and_ends_with_status_0(cam, args, diagnostic, message):
    before = tree(cam)
    r = cam.run("-M", "gpio", *args)
    assert (r.out, r.rc) == (USAGE, 0)
    assert re.fullmatch(re.escape(diagnostic) + r" ERROR  \(tq_gpio\|gpio_init_param\|\d+\): "
                        + re.escape(message), r.err), r.err
    assert tree(cam) == before


@pytest.mark.parametrize("args, n, out", [
    (["-r", "200"], 200, "===g_gpio_cfg(0,200)=======\ngpio_do_rw faild!\n"),
    (["-w", "5", "-d", "1"], 5, "gpio_do_rw faild!\n"),
])
def test_line_that_cannot_be_exported_is_a_failed_step(cam, args, n, out):
    # Line 5 is another user's and the board has no line 200: each export is refused.
    cam.take_line(5)
    r = cam.run("-M", "gpio", *args)
    assert (r.out, r.err, r.rc) == (out, "", 0)
    if not KERNEL:  # the kernel's export file keeps nothing to read back
        assert cam.read(f"{GPIO}/export") == str(n)
