# SPDX-License-Identifier: Apache-2.0
"""The lens motors: what the coils of each axis did, the P-iris position kept between
runs, and the whole output of each run."""
import re

import pytest

AXES = {"focus": range(64, 68), "zoom": range(68, 72), "piris": range(72, 76)}
HALF_STEPS = ["1000", "1100", "0100", "0110", "0010", "0011", "0001", "1001"]

STARS = "*" * 80
USAGE = (STARS + "\nmotor usage:\ndebug -M motor [option] \n"
         "-M  --module [module]\tmodule name: motor\n"
         "-t  --type [digit]\tmotor type, default[0]:focus\n"
         "-d  --dir [digit]\tmotor directory, default[0]:forward , value[0:forward]\n"
         "-s  --step [digit]\tmotor run steps, default[10]\n"
         "-i  --init [digit]\tmotor initial\n"
         "-p  --piris [digit]\tP-iris target duty\n" + STARS + "\n"
         "MOTOR arguments: \ntype:\n    [0]: focus, [1]: zoom, [2]: p-iris\n"
         "dir:\n    [0]: forward, [1]: back \nstep:\n    motor run steps\n"
         "    For zoom: max steps = 2768\n    For focus: max steps = 6764\n"
         "    For piris: max steps = 184\npiris:\n    motor set p-iris duty[0-184].\n\n")


class Coils:
    """Every level written to the coil lines."""

    def __init__(self, record):
        self.record = record(range(64, 76))

    def moves(self, axis, phase=0):
        """What the axis did, e.g. "-184 +50 off": each move is a run of neighbouring
        half-step phases ended by a release; "off" is a release without a move."""
        columns = self.record.levels(*AXES[axis])
        assert len(set(map(len, columns))) == 1, columns
        out, count, direction = [], 0, 0
        for coils in map("".join, zip(*columns)):
            if coils == "0000":
                out.append(f"{'+' if direction > 0 else '-'}{count}" if count else "off")
                count = 0
                continue
            step = (HALF_STEPS.index(coils) - phase) % 8
            assert step in (1, 7), f"{axis}: phase {phase} to {coils}"
            direction, phase, count = (1 if step == 1 else -1), HALF_STEPS.index(coils), count + 1
        assert count == 0, f"{axis} left powered"
        return " ".join(out)


@pytest.fixture
def coils(gpio_levels):
    return Coils(gpio_levels)


def error(function, message):
    return re.compile(r" ERROR  \(tq_motor\|" + function + r"\|\d+\): " + re.escape(message))


RUN = error("motor_test_main", "STEPPER_run failed! \n")


@pytest.mark.parametrize("args, focus, zoom, piris, position", [
    ([], "+10 off", "off", "off", -1),
    (["-i", "5"], "+10 off", "off", "off", -1),
    (["-t", "0x1"], "off", "+10 off", "off", -1),
    (["--type", "2", "--dir", "1", "--step", "3"], "off", "off", "-3 off", -1),
    (["-t", "2", "-d", "3"], "off", "off", "-184 off", 0),
    (["-t", "2", "-s", "100000"], "off", "off", "+184 off", -1),
    (["-t", "2", "-d", "2", "-s", "0"], "off", "off", "+184 off", 184),
    (["-s", "010", "-d", "1", "-t", "1", "-t", "0"], "-8 off", "off", "off", -1),
    (["-p", "50"], "+10 off", "off", "-184 +50 off", 50),
    (["-p", "184", "-p", "0", "-s", "0"], "off", "off", "-184 +184 -184 off", 0),
])
def test_run_drives_the_coils_then_closes(cam, coils, args, focus, zoom, piris, position):
    r = cam.run("-M", "motor", *args)
    assert (r.out, r.err, r.rc) == ("", "", 0)
    assert (coils.moves("focus"), coils.moves("zoom"), coils.moves("piris")) == (focus, zoom, piris)
    assert cam.read("/tmp/stepper.state").endswith(f" piris-position={position}\n")


def test_half_steps_keep_their_period(cam, coils, uptime):
    # Homing, opening and closing the iris: 552 half steps of at least 1 ms each, the
    # same with the clock passing a boundary of its millisecond count during the move.
    r, seconds = cam.run_timed("-M", "motor", "-p", "184", "-p", "0", "-s", "0")
    assert (r.out, r.err, r.rc) == ("", "", 0)
    assert coils.moves("piris") == "-184 +184 -184 off"
    assert 0.552 <= seconds < 10


@pytest.mark.parametrize("args, err, piris", [
    (["-t", "3"], error("motor_init_param", "Error motor type!\n"), ""),
    (["-d", "4"], error("motor_init_param", "Error motor directory!\n"), ""),
    (["-p", "185"], error("motor_init_param", "Error P-iris duty!\n"), ""),
    (["-p", "-1"], error("motor_init_param", "Error P-iris duty!\n"), ""),
    (["-x"], re.compile(r"debug: invalid option -- 'x'\n" + error("motor_init_param", "Unknow option\n").pattern), ""),
    (["-s"], re.compile(r"debug: option requires an argument -- 's'\n" +
                        error("motor_init_param", "Unknow option\n").pattern), ""),
    (["-p", "50", "-t", "9"], error("motor_init_param", "Error motor type!\n"), "-184 +50"),
])
def test_rejected_option_prints_usage_and_runs_nothing(cam, coils, args, err, piris):
    r = cam.run("-M", "motor", *args)
    assert (r.out, r.rc) == (USAGE, 255)
    assert err.fullmatch(r.err), r.err
    assert (coils.moves("focus"), coils.moves("zoom"), coils.moves("piris")) == ("", "", piris)


def test_without_gpio_lines_the_run_fails_but_the_status_is_zero(cam):
    cam.take_away("/sys/class/gpio")
    r = cam.run("-M", "motor", "-p", "20")
    assert (r.out, r.rc) == ("", 0)
    piris = error("motor_piris_move", "STEPPER_set_piris_duty(20) failed, the P-iris did not move\n")
    assert re.fullmatch(piris.pattern + RUN.pattern, r.err), r.err
    assert cam.read("/tmp/stepper.state").endswith(" piris-position=-1\n")
