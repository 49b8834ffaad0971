# SPDX-License-Identifier: Apache-2.0
"""The shared log on flash: several processes appending at once, reuse and recovery."""
import re

import pytest


def test_concurrent_appends_lose_and_interleave_nothing(cam):
    r = cam.sh("for t in a b c d e f g h; do osa_log_driver append 300 $t & done; wait")
    assert r.rc == 0, r
    lines = cam.read("/mnt/nand/debug.log").splitlines()
    assert len(lines) == 2400
    assert all(re.fullmatch(r"[a-h] \d{6}", l) for l in lines)
    for t in "abcdefgh":
        assert [l for l in lines if l[0] == t] == [f"{t} {i:06d}" for i in range(300)]


def test_existing_semaphore_is_reused_and_log_reopened_after_exit(cam):
    r = cam.sh("osa_log_driver reopen x && osa_log_driver append 1 y && grep -vc '^ *key' /proc/sysvipc/sem")
    assert (r.out, r.rc) == ("1\n", 0), r
    assert cam.read("/mnt/nand/debug.log") == "x 000000\nx 000001\ny 000000\n"


def test_semaphore_left_taken_by_a_dead_process_is_recovered(cam):
    r = cam.sh("osa_log_driver hold; timeout 5 osa_log_driver append 2 z", timeout=30)
    assert r.rc == 0, r
    assert cam.read("/mnt/nand/debug.log") == "z 000000\nz 000001\n"
    assert "taking it over" in r.err
    assert r.err.count("taking it over") == 1, "the takeover frees the lock for the next append"


def test_unwritable_log_reports_every_time(cam):
    cam.path("/mnt/nand/debug.log").mkdir()
    r = cam.sh("osa_log_driver append 2 q")
    assert r.rc == 1
    assert r.err.count("open log:: Is a directory\n") == 2
    assert len(re.findall(r" ERROR  \(osa_log\|OSA_log\|\d+\): Faild to open log: /mnt/nand/debug.log \n", r.err)) == 2


def test_failed_write_is_reported_and_the_lock_released(cam):
    cam.path("/mnt/nand/debug.log").symlink_to("/dev/full")
    r = cam.sh("osa_log_driver append 2 w; echo rc=$?")
    assert r.err == "write log: No space left on device\n" * 2
    assert r.out == "rc=1\n", "the second append found the lock free"


def fnv1a(data):
    h = 0xcbf29ce484222325
    for c in data.encode():
        h = ((h ^ c) * 0x100000001b3) & (1 << 64) - 1
    return h


APPEND = "osa_log_driver append 1 y; echo rc=$?"
START = "debug -h nosuch >/dev/null; echo rc=0"


# A record cut short (the power gone mid-write, the flash full) must not run into the
# next one, and one that cannot be written whole is not left half there. The intent an
# append leaves until its record is synced tells the next run what a cut left torn.
@pytest.mark.parametrize("mount, before, pending, run, after, rc, err", [
    ("", "x 000000\nx 00", "", APPEND, "x 000000\nx 00\ny 000000\n", 0, ""),
    ("", "x 000000\nx 00", "9 9 0\n", APPEND, "x 000000\ny 000000\n", 0, ""),
    ("", "x 000000\nx 00", "9 9 0\n", START, "x 000000\n", 0, ""),
    ("", "x 000000\nx 000001\n", "9 9 %x\n" % fnv1a("x 000001\n"), START, "x 000000\nx 000001\n", 0, ""),
    ("", "x 000000\nx 00\nz 000000\n", "9 9 0\n", APPEND, "x 000000\nx 00\nz 000000\ny 000000\n", 0, ""),
    ("/bin/mount -t tmpfs -o size=4k full /mnt/nand && ", "x 000000\n" * 454 + "x 0000\n", "", APPEND,
     "x 000000\n" * 454 + "x 0000\n", 1, "write log: No space left on device\n"),
], ids=["torn-record-before", "torn-by-a-cut", "torn-by-a-cut-next-start", "whole-before-the-cut",
        "torn-with-later-records", "flash-full-midway"])
def test_cut_record_stays_apart(cam, mount, before, pending, run, after, rc, err):
    r = cam.sh(f"{mount}printf '{before}' >/mnt/nand/debug.log; printf '{pending}' >/mnt/nand/debug.log.pending; "
               f"{run}; cat /mnt/nand/debug.log; cat /mnt/nand/debug.log.pending")
    assert (r.out, r.err) == (f"rc={rc}\n" + after, err)
