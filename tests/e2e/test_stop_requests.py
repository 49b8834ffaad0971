"""A Ctrl-C (SIGINT to the program) ends what a module is doing at once. The SD-card
module starts nothing it had not started yet, so the card is left as it was."""
import re

import pytest

MiB = 1 << 20
GET_SIGNAL = "\nGet signal, signo = 2\n"


def card(cam, size=64 * MiB):
    with open(cam.path("/dev/mmcblk0"), "wb") as f:
        f.truncate(size)


def boot_sector(cam):
    with open(cam.path("/dev/mmcblk0"), "rb") as f:
        return f.read(512)


def interrupted(cam, args, after, before=""):
    """debug -M sdmmc ARGS, a SIGINT to it alone after some seconds; the output, the status
    and the milliseconds from the signal to the end."""
    cam.sh(f"{before}debug -M sdmmc {args} >/tmp/out 2>/tmp/err & pid=$!; sleep {after}; "
           "t0=$(date +%s%N); kill -INT $pid; wait $pid; echo $? >/tmp/rc; t1=$(date +%s%N); "
           "echo $(( (t1 - t0) / 1000000 )) >/tmp/ms")
    return cam.read("/tmp/out"), cam.read("/tmp/err"), int(cam.read("/tmp/rc")), int(cam.read("/tmp/ms"))


def test_a_stop_while_fdisk_waits_leaves_the_table_and_formats_nothing(cam):
    card(cam)
    cam.write("/tmp/bin/fdisk", '#!/bin/sh\ntee /tmp/fdisk.in | /usr/sbin/fdisk "$@"\n', mode=0o755)
    out, err, rc, ms = interrupted(cam, "-f", after=1.2, before="PATH=/tmp/bin:$PATH ")
    assert rc == 0 and GET_SIGNAL in out and out.endswith("Sd/mmc format failed!\n"), out
    # fdisk's own complaints about the partitions it was asked to delete come first.
    assert re.search(r" ERROR  \(tq_sdmmc\|sdmmc_init_param\|\d+\): sdmmc format disk faild!\n\Z", err), err
    # Only whole lines before the stop reached fdisk, never the "w" that writes the table.
    assert "w" not in cam.read("/tmp/fdisk.in") and "The partition table has been altered" not in out
    assert "mkfs.fat" not in out and boot_sector(cam) == bytes(512)
    assert ms < 1500


@pytest.mark.sim_only("mounts a blank card, as only the mount stand-in does")
def test_a_stop_during_a_fill_ends_it_and_the_next_action_does_not_start(cam):
    card(cam)
    out, err, rc, ms = interrupted(cam, "-n 100 -z 1 -F -f", after=1.5)
    assert (err, rc) == ("", 0)
    created = int(re.search(r"Create total (\d+) files \n", out).group(1))
    assert 0 < created < 100
    assert GET_SIGNAL in out and out.endswith(f"Create total {created} files \nFree size = {64 - created} MB \n")
    assert "Command (m for help)" not in out and boot_sector(cam) == bytes(512)
    assert ms < 1000


@pytest.mark.sim_only("a converter reading written by the test; no IIO driver gives one without hardware")
@pytest.mark.parametrize("args", [["-t", "100", "-d", "200"], ["-t", "3", "-d", "2147483647"]])
def test_a_stop_ends_a_counted_adc_run(cam, args):
    cam.write("/sys/bus/iio/devices/iio:device0/in_voltage0_raw", "1000\n")
    line = " ".join(["debug", "-M", "adc", *args])
    r = cam.sh(f"{line} & pid=$!; sleep 0.7; t0=$(date +%s%N); kill -INT $pid; wait $pid; echo rc=$?;"
               " t1=$(date +%s%N); echo $(( (t1 - t0) / 1000000 ))")
    *lines, ms = r.out.split("\n")[:-1]
    assert re.fullmatch(r"(Adc\[0\] = 305\n)+\nGet signal, signo = 2\nrc=0\n", "\n".join(lines) + "\n"), r
    assert int(ms) < 500
