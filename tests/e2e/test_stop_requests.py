# SPDX-License-Identifier: Apache-2.0
"""A Ctrl-C (SIGINT to the program) ends what a module is doing at once. The SD-card
module starts nothing it had not started yet, so the card is left as it was."""
import re
import subprocess

import pytest

MiB = 1 << 20
GET_SIGNAL = "\nGet signal, signo = 2\n"


def card(cam, size=64 * MiB):
    """A FAT32 card (the camera mounts nothing else); its boot sector as it was made."""
    path = cam.path("/dev/mmcblk0")
    with open(path, "wb") as f:
        f.truncate(size)
    subprocess.run(["mkfs.fat", "-I", "-F", "32", str(path)], check=True, capture_output=True)
    return boot_sector(cam)


def boot_sector(cam):
    with open(cam.path("/dev/mmcblk0"), "rb") as f:
        return f.read(512)


def interrupted(cam, args, after, before=""):
    """debug -M sdmmc ARGS, a SIGINT to it alone after some seconds; the output, the status
    and the seconds from the signal to the end."""
    _, (seconds,) = cam.timed(f"{before}debug -M sdmmc {args} >/tmp/out 2>/tmp/err & pid=$!; sleep {after}; "
                              "lap; kill -INT $pid; wait $pid; echo $? >/tmp/rc; lap")
    return cam.read("/tmp/out"), cam.read("/tmp/err"), int(cam.read("/tmp/rc")), seconds


def test_a_stop_while_fdisk_waits_leaves_the_table_and_formats_nothing(cam):
    before = card(cam)
    cam.write("/tmp/bin/fdisk", '#!/bin/sh\ntee /tmp/fdisk.in | PATH=${PATH#/tmp/bin:} fdisk "$@"\n', mode=0o755)
    out, err, rc, seconds = interrupted(cam, "-f", after=1.2, before="PATH=/tmp/bin:$PATH ")
    assert rc == 0 and GET_SIGNAL in out and out.endswith("Sd/mmc format failed!\n"), out
    # fdisk's own complaints about the partitions it was asked to delete come first.
    assert re.search(r" ERROR  \(tq_sdmmc\|sdmmc_init_param\|\d+\): sdmmc format disk faild!\n\Z", err), err
    # Only whole lines before the stop reached fdisk, never the "w" that writes the table.
    assert "w" not in cam.read("/tmp/fdisk.in") and "The partition table has been altered" not in out
    assert "mkfs.fat" not in out and boot_sector(cam) == before
    # The format's pauses that were left, had it gone on, would be more than 5 s.
    assert seconds < 2.5


@pytest.mark.sim_only("mounts a blank card, as only the mount stand-in does")
def test_a_stop_during_a_fill_ends_it_and_the_next_action_does_not_start(cam):
    before = card(cam)
    out, err, rc, seconds = interrupted(cam, "-n 100 -z 1 -F -f", after=1.5)
    assert (err, rc) == ("", 0)
    created = int(re.search(r"Create total (\d+) files \n", out).group(1))
    assert 0 < created < 100
    assert GET_SIGNAL in out and out.endswith(f"Create total {created} files \nFree size = {64 - created} MB \n")
    # Marked dirty while mounted (the stop leaves it mounted), otherwise as it was made.
    after = boot_sector(cam)
    assert "Command (m for help)" not in out and after[:65] + after[66:] == before[:65] + before[66:]
    # The closing pauses, had they not been skipped, would be 2 s.
    assert seconds < 1.8


@pytest.mark.sim_only("a converter reading written by the test; no IIO driver gives one without hardware")
def test_a_stop_only_ends_the_pause_of_a_counted_adc_run(cam):
    """A script that asks for N readings gets N: each signal ends the pause in progress,
    the run goes on to its count, and ends after the last pause."""
    cam.write("/sys/bus/iio/devices/iio:device0/in_voltage0_raw", "1000\n")
    r, (seconds,) = cam.timed("debug -M adc -t 2 -d 2147483647 & pid=$!; sleep 0.7; kill -INT $pid; sleep 0.7;"
                              " lap; kill -INT $pid; wait $pid; echo rc=$?; lap")
    assert r.out == ("Adc[0] = 305\n" + GET_SIGNAL) * 2 + "rc=0\n", r
    # Without the second signal the last pause would last 24 days.
    assert seconds < 3
