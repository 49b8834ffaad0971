# SPDX-License-Identifier: Apache-2.0
"""The cpu module: measurement lines on screen and in the log, the summary, the
option errors, and a stop before anything was counted."""
import re

import pytest

GREEN, RED, DEFAULT = "\x1b[1;32m", "\x1b[0;31m", "\x1b[0;39m"
LOG = "/tmp/cpulog.txt"
USAGE = ("*" * 80 + "\ncpu usage:\ndebug -M cpu [option] \n"
         "-M  --module [module]\tmodule name: cpu\n"
         "-d  --delay [digit]\tcpu check interval seconds, defalut [1]s\n"
         "-c  --count [digit]\tcpu repeat count times, defalut [60]\n"
         "-l  --log [file]\tcpu log file, default[/tmp/cpulog.txt]\n"
         "-v  --version\t\tcpu version information\n"
         + "*" * 80 + "\n")
PCT = r" *\d{1,3}"
MEASUREMENT = rf"CPU:{PCT}% \(sys:{PCT}% user:{PCT}% wait:{PCT}% steal:{PCT}%\)"
SUMMARY = r"Average:(\d+\.\d{3})%   Max:(\d+\.\d{2})%  Min:(\d+\.\d{2})%"


def heading(count, log=LOG):
    return (f"{GREEN}Create cpu log: {log}\n{DEFAULT} \n"
            f"{GREEN}ARM LOAD RUNNING FOR COUNT: {count} \n{DEFAULT} \n")


def screen_lines(out, count):
    """The measurement lines and the summary, without colour, checked for form."""
    lines = out.splitlines(keepends=True)
    assert len(lines) == count + 1, out
    plain = []
    for line in lines:
        assert line.startswith(GREEN) and line.endswith(DEFAULT + " \n"), line
        plain.append(line[len(GREEN):-len(DEFAULT + " \n")] + "\n")
    assert all(re.fullmatch(MEASUREMENT + "\n", p) for p in plain[:-1]), plain
    return plain


def test_three_measurements_take_five_intervals_and_are_logged_plain(cam, uptime):
    # The processor time of the shell's children before and after (before: the
    # simulator's own start-up), around debug alone.
    r, (seconds,) = cam.timed("times >/tmp/t0; lap; debug -M cpu -c 3 -d 1; lap; times >/tmp/t1", timeout=30)
    assert (r.err, r.rc) == ("", 0)
    assert r.out.startswith(heading(3))
    plain = screen_lines(r.out[len(heading(3)):], 3)
    assert cam.read(LOG) == "".join(plain)

    cpus = [int(re.match(r"CPU: *(\d+)", p).group(1)) for p in plain[:3]]
    average, high, low = map(float, re.fullmatch(SUMMARY + "\n", plain[3]).groups())
    assert abs(high - max(cpus)) <= 0.5 and abs(low - min(cpus)) <= 0.5
    assert low <= average <= high
    # A baseline, three counted intervals and a last one that ends the run.
    assert 4.8 <= seconds < 8
    # It sleeps between samples. Its share of the processor is a figure for
    # scripts/bench; here only a busy loop is caught, which would take seconds of it
    # even on a loaded machine, far above what a sanitizer's or an emulator's start-up
    # costs.
    def children(times):
        return sum(float(m) for m in re.findall(r"(\d+\.\d+)s", times.splitlines()[1]))
    used = children(cam.read("/tmp/t1")) - children(cam.read("/tmp/t0"))
    assert used < 1.0, used


def test_log_path_of_62_characters_with_percent_is_used_as_it_stands(cam):
    path = "/tmp/%s%n%d" + "a" * 51
    assert len(path) == 62
    r = cam.run("-M", "cpu", "-c", "1", "-d", "1", "-l", path, timeout=30)
    assert (r.err, r.rc) == ("", 0)
    assert r.out.startswith(heading(1, path))
    plain = screen_lines(r.out[len(heading(1, path)):], 1)
    assert cam.read(path) == "".join(plain)
    assert not cam.path(LOG).exists()


def test_unwritable_log_is_reported_and_the_screen_still_shows_the_load(cam):
    r = cam.run("-M", "cpu", "-v", "-c", "1", "-d", "1", "-l", "/nodir/cpu.txt", timeout=30)
    assert (r.err, r.rc) == (f"{RED}Error: Can't create log /nodir/cpu.txt\n{DEFAULT} \n", 0)
    first = f"CPU version: 1.0.2\n{GREEN}ARM LOAD RUNNING FOR COUNT: 1 \n{DEFAULT} \n"
    assert r.out.startswith(first)
    screen_lines(r.out[len(first):], 1)


def error(message):
    return rf" ERROR  \(tq_cpu\|cpu_init_param\|\d+\): {re.escape(message)}\n"


@pytest.mark.parametrize("args, out, err", [
    (["-c", "0"], "", error("Cpu count must > 0")),
    (["-c", "-5"], "", error("Cpu count must > 0")),
    (["--count", "4294967296"], "", error("Cpu count must > 0")),
    (["-d", "0"], "", error("Cpu delay must > 0")),
    (["-v", "-l", "/tmp/" + "a" * 58], "CPU version: 1.0.2\n", error("Cpu log name length must < 64!")),
    (["-x"], "", "debug: invalid option -- 'x'\n" + error("Unknow option")),
    (["-c"], "", "debug: option requires an argument -- 'c'\n" + error("Unknow option")),
])
def test_option_error_prints_usage_and_measures_nothing(cam, args, out, err):
    r = cam.run("-M", "cpu", *args)
    assert (r.out, r.rc) == (out + USAGE, 0)
    assert re.fullmatch(err, r.err), r.err
    assert not cam.path(LOG).exists()


def test_interrupt_before_the_first_counted_sample(cam):
    r = cam.interrupt("-M", "cpu", "-d", "5", after=0.5, timeout=30)
    # 0 divided by 0: how the C library spells that NaN depends on the processor.
    summary = r"Average:(-nan| nan)%   Max:0\.00%  Min:100\.00%"
    assert re.fullmatch(re.escape(heading(60) + "\nGet signal, signo = 2\n" + GREEN) + summary
                        + re.escape(DEFAULT + " \n"), r.out), r
    assert (r.err, r.rc) == ("", 0)
    assert re.fullmatch(summary + "\n", cam.read(LOG))


def test_counters_that_do_not_move_show_no_load(cam):
    # Every sample reads the same counters: each interval is 0 % busy, never 0/0.
    cam.write("/proc/stat", "cpu  5050 0 5050 50100 300 0 0 0 0 0\n")
    r = cam.run("-M", "cpu", "-c", "2", "-d", "1", timeout=30)
    line = "CPU:  0% (sys:  0% user:  0% wait:  0% steal:  0%)\n"
    assert r.out == heading(2) + "".join(GREEN + t[:-1] + DEFAULT + " \n" for t in (
        line, line, "Average:0.000%   Max:0.00%  Min:0.00%\n"))
    assert (r.err, r.rc) == ("", 0)
    assert cam.read(LOG) == line * 2 + "Average:0.000%   Max:0.00%  Min:0.00%\n"


def test_usage(cam):
    r = cam.run("-h", "cpu")
    assert (r.out, r.err, r.rc) == ("debug version: 1.2.0\n" + USAGE, "", 0)
