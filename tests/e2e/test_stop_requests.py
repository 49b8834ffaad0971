# SPDX-License-Identifier: Apache-2.0
"""A Ctrl-C (SIGINT to the program) ends what a module is doing at once. The SD-card
module starts nothing it had not started yet, so the card is left as it was."""
import re
import subprocess

import pytest
from conftest import KERNEL

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


def interrupted(cam, args, after, before="", then=""):
    """debug -M sdmmc ARGS, a SIGINT to it alone after some seconds, then the script THEN;
    the output, the status and the seconds from the signal to the end."""
    _, (seconds,) = cam.timed(f"{before}debug -M sdmmc {args} >/tmp/out 2>/tmp/err & pid=$!; sleep {after}; "
                              f"lap; kill -INT $pid; wait $pid; echo $? >/tmp/rc; lap; {then}")
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


def test_a_stop_during_a_fill_ends_it_and_the_next_action_does_not_start(cam):
    before = card(cam)
    # The free room as the kernel counts it (a FAT card's tables take some).
    out, err, rc, seconds = interrupted(cam, "-n 100 -z 1 -F -f", after=1.5,
                                        then="stat -f -c '%s %f' /mnt/mmc >/tmp/statfs")
    assert (err, rc) == ("", 0)
    created = int(re.search(r"Create total (\d+) files \n", out).group(1))
    assert 0 < created < 100
    size, free = map(int, cam.read("/tmp/statfs").split())
    assert GET_SIGNAL in out and out.endswith(f"Create total {created} files \nFree size = {free * size >> 20} MB \n")
    assert KERNEL or free * size >> 20 == 64 - created
    # Marked dirty while mounted (the stop leaves it mounted), otherwise as it was made.
    after = boot_sector(cam)
    assert "Command (m for help)" not in out and after[:65] + after[66:] == before[:65] + before[66:]
    # The closing pauses, had they not been skipped, would be 2 s.
    assert seconds < 1.8


def test_a_stop_only_ends_the_pause_of_a_counted_adc_run(cam):
    """A script that asks for N readings gets N: each signal ends the pause in progress,
    the run goes on to its count, and ends after the last pause."""
    cam.write("/sys/bus/iio/devices/iio:device0/in_voltage0_raw", "1000\n")
    r, (seconds,) = cam.timed("debug -M adc -t 2 -d 2147483647 & pid=$!; sleep 0.7; kill -INT $pid; sleep 0.7;"
                              " lap; kill -INT $pid; wait $pid; echo rc=$?; lap")
    assert r.out == ("Adc[0] = 305\n" + GET_SIGNAL) * 2 + "rc=0\n", r
    # Without the second signal the last pause would last 24 days.
    assert seconds < 3



TABLES = "select name from sqlite_master where type='table' order by name;"
NO_END = "with recursive c(x) as (select 1 union all select x+1 from c) select x from c where x < 0;"
TQDB = "Current Database File: [/mnt/nand/tqdb.db] \n"
# Another process of the camera takes a lock and keeps it until it is ended: the record
# lock on the database's lock file, or the shared log's semaphore (taken by a live
# process, so no one takes it over). /tmp/held says it is taken.
HOLD_DB_LOCK = ("fd = os.open('/tmp/db.fl', os.O_RDWR | os.O_CREAT)\n"
                "fcntl.lockf(fd, fcntl.LOCK_EX)\n")
HOLD_LOG_SEMAPHORE = ("libc = ctypes.CDLL(None, use_errno=True)\n"
                      "sem = libc.semget(libc.ftok(b'/mnt/nand/', ord('s')), 1, 0o1666)\n"
                      "libc.semctl(sem, 0, 16, 1)\n"  # SETVAL: free, as its first user leaves it
                      "assert libc.semop(sem, (ctypes.c_short * 3)(0, -1, 0), 1) == 0\n"
                      "atexit.register(libc.semop, sem, (ctypes.c_short * 3)(0, 1, 0), 1)\n")
SILENT_FIFO = "rm -f /proc/media/vi /tmp/media/vi.log && mkdir -p /tmp/media && mkfifo /tmp/media/vi.log"
MEDIA_ONLY = pytest.mark.sim_only("the media pipeline's logs, which the kernel camera has not")


def held(script):
    return ("cat >/tmp/holder.py <<'EOF'\nimport atexit, ctypes, fcntl, os, signal, sys, time\n"
            "signal.signal(signal.SIGTERM, lambda *_: sys.exit())\n"
            f"{script}open('/tmp/held', 'w').close()\ntime.sleep(60)\nEOF\n"
            "python3 /tmp/holder.py & holder=$!; while [ ! -e /tmp/held ]; do sleep 0.05; done")


def db_err(function, text):
    return re.escape(f" ERROR  (tq_db|{function}|") + r"\d+" + re.escape(f"): {text}")


# A wait that would never end of itself, ended by one signal: the step that waited
# fails as it fails otherwise, and the program ends its usual way. The media reader
# never waits for a log's writer: it shows what is there.
@pytest.mark.parametrize("before, command, sig, out, err", [
    pytest.param(held(HOLD_DB_LOCK), "debug -M db -t", "INT", re.escape(TQDB + f"SQL: '{TABLES}' Failed!! \n"),
                 db_err("db_file_lock", "lock file=[/tmp/db.fl] lock failed: Interrupted system call. \n"),
                 id="db-lock"),
    pytest.param("", f'debug -M db -s "{NO_END}"', "QUIT",
                 re.escape(TQDB + "[0 Items, No Match Records!] \n" + f"SQL: '{NO_END}' Failed!! \n"),
                 db_err("db_query", f"query '{NO_END}' failed (sqlite error 9). \n"), id="db-query-steps"),
    pytest.param(SILENT_FIFO, "debug -M media --vi", "TERM", "\n", "", id="media-log-fifo", marks=MEDIA_ONLY),
    pytest.param(SILENT_FIFO + " && exec 3<>/tmp/media/vi.log", "debug -M media --vi", "TERM", "\n", "",
                 id="media-log-fifo-silent-writer", marks=MEDIA_ONLY),
    pytest.param(held(HOLD_LOG_SEMAPHORE), "debug -M ir -t 2 -d 1", "INT",
                 "\x1b\\[0;32mTest date: .{24}\n\t IR-cut result: success\n\t use time: 0s \n\x1b\\[0;39m \n",
                 r" ERROR  \(osa_log\|OSA_log\|\d+\): log semaphore still taken after \d+ ms, writing without it\n",
                 id="ir-log-semaphore"),
])
def test_a_stop_ends_a_wait_that_would_not_end(cam, before, command, sig, out, err):
    # A program still there 5 s after the signal is killed, so that the fault fails the test.
    _, laps = cam.timed(f"{before}\n{command} >/tmp/out 2>/tmp/err & pid=$!; sleep 0.5; lap; kill -{sig} $pid; "
                        "(sleep 5; kill -KILL $pid) >/dev/null 2>&1 & guard=$!; wait $pid; echo $? >/tmp/rc; lap; "
                        "kill $guard ${holder:-}")
    signal = "\nGet signal, signo = %d\n" % {"INT": 2, "QUIT": 3, "TERM": 15}[sig]
    got = cam.read("/tmp/out")
    assert re.fullmatch(out, got.replace(signal, "", 1)), got
    assert re.fullmatch(err, cam.read("/tmp/err")), cam.read("/tmp/err")
    assert cam.read("/tmp/rc") == "0\n"
    assert laps[0] < 1
