# SPDX-License-Identifier: Apache-2.0
"""The adc module: photodiode readings from the IIO raw file, and the light-control
block that reaches its reader's segment, read back in the same IPC namespace."""
import re
import shlex

import pytest

RAW = "/sys/bus/iio/devices/iio:device0/in_voltage0_raw"
FIELDS = ["valid", "mode", "value1", "value2"] + [f"reserved[{i}]" for i in range(8)]
NONE = "no segment with key 0x0074f718\n"
USAGE = ("*" * 80 + "\nadc usage:\ndebug -M adc [option] \n"
         "-M  --module [module]\tmodule name: adc\n"
         "-c  --channel [hex]\tadc channel, default [4], means all\n"
         "-t  --times [digit]\tadc read times, default [-1] means no timeout\n"
         "-d  --delay [digit]\tadc read delay [n] ms,  default [1000]ms\n"
         "-N  --night_ev_th [0~1023]\t0 is min   ,31023 is max\n"
         "-D  --day_ev_th [0~1023]\t0 is min   ,31023 is max\n"
         "-s  --sensitive [0~9]\t0 is min   ,9 is max\n"
         "-g  --debug switch [debug switch]\t0: close, 1: open\n"
         "-i  --info  [param]\tshow param info\n"
         + "*" * 80 + "\n"
         "ADC infomation descryption: \n"
         "channel0: Photodiode AD sampling\nchannel1: reserve\nchannel2: reserve\n\n")


def block(valid, mode, value1, value2):
    words = [valid, mode, value1, value2] + [0] * 8
    return ("key 0x0074f718 size 48 perms 666\n"
            + "".join(f"{name:<12}{value}\n" for name, value in zip(FIELDS, words)))


def error(message):
    return rf" ERROR  \(tq_adc\|adc_init_param\|\d+\): {re.escape(message)}\n"


def run_and_dump(cam, args, before=""):
    return cam.sh(f"{before}{shlex.join(['debug', '-M', 'adc', *args])}; echo rc=$?; shmdump light")


@pytest.mark.parametrize("raw, reading", [
    ("1000\n", 305),
    ("4095\n", 1250),
    ("12345\n", 376),  # four characters count
    ("7\n", 2),
    ("0\n", 0),
])
def test_raw_value_is_scaled(cam, raw, reading):
    cam.write(RAW, raw)
    r = cam.run("-M", "adc", "-t", "1", "-d", "1")
    assert (r.out, r.err, r.rc) == (f"Adc[0] = {reading}\n", "", 0)


def test_counted_run_sleeps_after_every_reading(cam, uptime):
    cam.write(RAW, "1000\n")
    r, seconds = cam.run_timed("-M", "adc", "-t", "3", "-d", "200")
    assert (r.out, r.err, r.rc) == ("Adc[0] = 305\n" * 3, "", 0)
    # Three pauses of 0.2 s; not of a second (the default) or more.
    assert 0.6 <= seconds < 3


@pytest.mark.parametrize("args, out, err", [
    (["-t", "0"], "", ""),
    (["-c", "2", "-t", "1", "-d", "1"], "Adc[0] = 625\n", error("Adc channel reset=0")),
    (["--channel", "0", "-t", "1", "-d", "1"], "Adc[0] = 625\n", ""),
])
def test_sampling_options(cam, args, out, err):
    r = cam.run("-M", "adc", *args)
    assert (r.out, r.rc) == (out, 0)
    assert re.fullmatch(err, r.err), r.err


# A converter whose conversion fails (a read of the raw file that fails, EIO) gives no
# reading: the pass reports it as it does a converter that is not there.
@pytest.mark.parametrize("failing, out", [
    (None, "open ADC_CHN_A error!!!\nadc_read error!\nAdc[0] = -1\n"),
    ("/proc/self/mem", "adc_read error!\nAdc[0] = -1\n"),
], ids=["missing", "read-fails"])
def test_raw_file_without_a_reading_reports_every_pass_and_goes_on(cam, failing, out):
    cam.path(RAW).unlink()
    if failing:
        cam.path(RAW).symlink_to(failing)
    r = cam.run("-M", "adc", "-t", "2", "-d", "1")
    assert (r.out, r.err, r.rc) == (out * 2, "", 0)


def test_unlimited_run_reads_anew_each_pass_until_interrupted(cam, uptime):
    # The reading changes after two passes and the signal comes after two more, whatever
    # the pace of a busy camera's shell (the pauses' length is the counted run's test).
    twice = 'until [ "$(grep -c "{}" /tmp/out)" -ge 2 ]; do sleep 0.01; done'
    r = cam.sh(f"debug -M adc -d 100 >/tmp/out & pid=$!; {twice.format(625)}; echo 1000 >{RAW}; "
               f"{twice.format(305)}; kill -INT $pid; wait $pid; echo rc=$? >>/tmp/out")
    out = cam.read("/tmp/out")
    # A signal during a reading (not a pause) lets that reading end and be shown.
    assert re.fullmatch(r"(Adc\[0\] = 625\n){2,}(Adc\[0\] = 305\n){2,}\nGet signal, signo = 2\n"
                        r"(Adc\[0\] = 305\n)?rc=0\n", out), out
    assert (r.out, r.err) == ("", "")


# valid, mode, value1, value2 of the block; None: nothing handed over, sampling runs.
@pytest.mark.parametrize("args, expected", [
    (["-N", "300", "-D", "500"], (1, 1, 300, 500)),
    (["-N", "300"], (1, 0, 300, 0)),
    (["-s", "5", "-N", "300", "-D", "500"], (1, 1, 300, 500)),
    (["--night_ev_th=1", "--day_ev_th", "2", "-D", "3"], (1, 0, 1, 3)),
    (["-D", "4", "-D", "5"], (1, 1, 0, 5)),
    (["-s", "9"], (1, 2, 9, 0)),
    (["--debug", "1"], (1, 3, 1, 0)),
    (["-g", "0"], (1, 3, 0, 0)),
    (["-i"], (1, 4, 0, 0)),
    (["--info", "-t", "1"], (1, 4, 0, 0)),
    (["-D", "500", "-t", "1", "-d", "1"], None),
])
def test_light_control_block_reaches_the_reader(cam, args, expected):
    r = run_and_dump(cam, args)
    if expected is None:
        assert (r.out, r.err, r.rc) == ("Adc[0] = 625\nrc=0\n" + NONE, "", 1)
    else:
        assert (r.out, r.err, r.rc) == ("rc=0\n" + block(*expected), "", 0)


@pytest.mark.parametrize("args, err", [
    (["-d", "0", "-N", "300"], error("Adc delay time must > 0 !")),
    (["-N", "300", "-x"], "debug: invalid option -- 'x'\n" + error("Unknow option")),
    (["-i", "-N"], "debug: option requires an argument -- 'N'\n" + error("Unknow option")),
])
def test_option_error_shows_usage_and_neither_samples_nor_writes(cam, args, err):
    r = run_and_dump(cam, args)
    assert (r.out, r.rc) == (USAGE + "rc=0\n" + NONE, 1)
    assert re.fullmatch(err, r.err), r.err


def test_usage_ends_with_the_channel_descriptions(cam):
    r = cam.run("-h", "adc")
    assert (r.out, r.err, r.rc) == ("debug version: 1.2.0\n" + USAGE, "", 0)


def test_block_segment_that_cannot_be_had_is_left_alone(cam):
    r = run_and_dump(cam, ["-i"], before="shmdump --create light 8; ")
    assert r.out == ("faild to get shm id==-1\nrc=0\n"
                     "key 0x0074f718 size 8 perms 666\nvalid       0\nmode        0\n")
    assert r.err == ""
