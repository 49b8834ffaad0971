# SPDX-License-Identifier: Apache-2.0
"""The sdmmc module in the simulated camera: the card is an image file at /dev/mmcblkN,
fdisk, mkdosfs and dosfsck are the real ones, and the mount stand-in mounts a tmpfs of
the image's size named after the device (the test kernel has no vfat); like the kernel
it refuses a card without FAT and marks the FAT dirty while it is mounted, and mkdosfs
cannot open a mounted card."""
import re
import subprocess

import pytest
from conftest import KERNEL, TOOLS

STARS = "*" * 80
USAGE = (STARS + "\nsdmmc usage:\ndebug -M sdmmc [option] \n"
         "-M  --module [module]\tmodule name: sdmmc\n"
         "-n  --filenum [digit]\tsdmmc filling file numbers [n], default 128, [1-40960]\n"
         "-z  --filesize [digit]\tsdmmc filling file echo filesize [n]MB, default 128MB, [1-4096]\n"
         "-i  --info\t\tsdmmc base information(blocksize, total size, freesize, usesize).\n"
         "    --init\t\tSdmmc init device.\n"
         "-s  --speed\t\tsdmmc check read and write speed.\n"
         "-r  --repair\t\tRepair sdmmc disk.\n"
         "-f  --format\t\tFormat sdmmc disk.\n"
         "-F  --filling\t\tFilling sdmmc disk to full.\n"
         "-m  --mount\t\tMount sdmmc.\n" + STARS + "\n")
NOT_INSERTED = "SD/mmc isn't inserted, please check again!\n"
REINIT = "SD/mmc has error, try to reinit!\n"
MOUNT = "-t vfat /dev/mmcblk0 /mnt/mmc -o async,umask=000\n"
MiB = 1 << 20


def err(func, text):
    return rf" ERROR  \(tq_sdmmc\|{func}\|\d+\): " + re.escape(text)


def card(cam, n=0, size=64 * MiB, fat=False):
    """An SD card: a sparse image file as the device node, blank or FAT32 throughout."""
    path = cam.path(f"/dev/mmcblk{n}")
    with open(path, "wb") as f:
        f.truncate(size)
    if fat:
        subprocess.run(["mkfs.fat", "-I", "-F", "32", str(path)], check=True, capture_output=True)


def session(cam, args, before="", after=""):
    """debug ARGS in a shell on the camera, output kept in files, so that commands after
    it can look at the card while it is still mounted (a mount ends with the shell).
    BEFORE and AFTER may take laps (Camera.laps)."""
    cam.timed(f"{before}debug -M sdmmc {args} >/tmp/out 2>/tmp/err; echo $? >/tmp/rc; {after}")
    return cam.read("/tmp/out"), cam.read("/tmp/err"), int(cam.read("/tmp/rc"))


# The mounted card's block size, blocks and free blocks as the kernel counts them, for
# room(): a FAT card's tables take some of it, the mount stand-in's tmpfs card none.
STATFS = "stat -f -c '%s %b %f' /mnt/mmc >/tmp/statfs"
# How many times the card is mounted at /mnt/mmc, by the kernel's own table.
MOUNTED = "grep -c '^/dev/mmcblk0 /mnt/mmc ' /proc/mounts >/tmp/mounted"


def room(cam):
    """The card's size and free room in bytes, kept by STATFS."""
    size, blocks, free = map(int, cam.read("/tmp/statfs").split())
    return blocks * size, free * size


def amounts(size):
    """A size in bytes as the card's figures show it."""
    return f"{size >> 10} KB = {size >> 20} MB = {(size >> 20) / 1024:.2f} GB"


def caches_kept(cam):
    """A /proc/sys/vm/drop_caches to read back what the program writes: the real kernel's
    cannot be read, so a file of the tree's is put there."""
    cam.write("/proc/sys/vm/drop_caches", "")


def mounts(cam):
    p = cam.path("/tmp/sim-mount.log")
    return p.read_text() if p.exists() else ""


@pytest.mark.parametrize("cards, args, out, errors", [
    ([], ["-m"], NOT_INSERTED, [("sdmmc_init_param", "sdmmc mount faild!\n")]),
    ([], ["-i"], NOT_INSERTED, [("sdmmc_info", "sdmmc mount failed!\n"),
                                ("sdmmc_init_param", "sdmmc check information faild!\n")]),
    ([], ["-s"], NOT_INSERTED, [("sdmmc_test_speed", "sdmmc mount failed!\n"),
                                ("sdmmc_init_param", "sdmmc test speed faild!\n")]),
    ([], ["-F"], NOT_INSERTED, [("sdmmc_filling_disk", "sdmmc mount failed!\n"),
                                ("sdmmc_init_param", "sdmmc filling disk faild!\n")]),
    ([], ["-f"], NOT_INSERTED, [("sdmmc_init_param", "sdmmc format disk faild!\n")]),
    ([], ["-r"], NOT_INSERTED, [("sdmmc_init_param", "sdmmc repair disk faild!\n")]),
    ([0, 1], ["-m"], REINIT, [("sdmmc_init", "SD/mmc has error, reinit faild!\n"),
                              ("sdmmc_init_param", "sdmmc mount faild!\n")]),
    ([1, 3], ["-r"], REINIT, [("sdmmc_init", "SD/mmc has error, reinit faild!\n"),
                              ("sdmmc_init_param", "sdmmc repair disk faild!\n")]),
    ([2], ["--init"], "", []),
])
def test_card_check(cam, cards, args, out, errors):
    for n in cards:
        card(cam, n)
    r, seconds = cam.run_timed("-M", "sdmmc", *args)
    assert (r.out, r.rc) == (out, 0)
    assert re.fullmatch("".join(err(f, t) for f, t in errors), r.err), r.err
    assert mounts(cam) == ""
    if len(cards) > 1:
        assert seconds >= 1.0, "detection is retried after a pause of 1 s"


def test_second_detection_finds_one_card(cam):
    card(cam, 0, fat=True)
    card(cam, 1)
    # The second card goes in the pause after the first detection, however late the
    # program started.
    gone = "(until grep -qs reinit /tmp/out; do sleep 0.02; done; rm /dev/mmcblk1) & "
    out, errors, rc = session(cam, "-m", before=gone, after=f"wait; {MOUNTED}")
    assert (out, errors, rc) == (REINIT + "SD/mmc inserted!\n", "", 0)
    assert cam.read("/tmp/mounted") == "1\n"
    assert KERNEL or mounts(cam) == MOUNT


def test_mount_info_speed_in_order(cam):
    # Larger than the card the camera starts with: on the real kernel, another card.
    card(cam, 0, 192 * MiB, fat=True)
    caches_kept(cam)
    out, errors, rc = session(cam, "-m -i -s", after=f"ls -A /mnt/mmc >/tmp/ls; {STATFS}; {MOUNTED}")
    block = int(cam.read("/tmp/statfs").split()[0])
    total, free = room(cam)
    assert KERNEL or (block, total, free) == (4096, 192 * MiB, 192 * MiB)
    assert out == (f"Block = {block >> 10} KB \nTotal = {total} B = {amounts(total)}\n"
                   f"Free = {amounts(free)}\nUse = {amounts(total - free)}\n")
    assert rc == 0
    # Written, then read back, each timed by the shell.
    assert errors.count("1024+0 records in\n1024+0 records out\n" + TOOLS.dd_total) == 2
    assert errors.count(TOOLS.timed) == 2
    assert cam.read("/tmp/mounted") == "1\n" and (KERNEL or mounts(cam) == MOUNT), "-i and -s find the card mounted"
    assert cam.read("/tmp/ls") == "", "the speed-test file is removed"
    assert cam.read("/proc/sys/vm/drop_caches") == "3"


def test_a_card_already_mounted_is_not_mounted_again(cam):
    card(cam, 0, 32 * MiB, fat=True)
    out, errors, rc = session(cam, "-m -i", before="debug -M sdmmc -m && ",
                              after=f"{STATFS}; {MOUNTED}")
    total, _ = room(cam)
    assert KERNEL or total == 32 * MiB
    assert (out.splitlines()[1], errors, rc) == (
        f"Total = {total} B = {amounts(total)}", "", 0)
    assert cam.read("/tmp/mounted") == "1\n"
    assert KERNEL or mounts(cam) == MOUNT


def fdisk_logger(cam, body='tee /tmp/fdisk.in | PATH=${PATH#/tmp/bin:} fdisk "$@"'):
    cam.write("/tmp/bin/fdisk", f'#!/bin/sh\necho "$*" >/tmp/fdisk.args\n{body}\n', mode=0o755)
    return "PATH=/tmp/bin:$PATH "


def test_format_wipes_the_table_and_leaves_fat32(cam):
    card(cam, 0, 64 * MiB)
    caches_kept(cam)
    path = fdisk_logger(cam)
    out, errors, rc = session(cam, "-f", before="lap; " + path, after="lap")
    assert rc == 0
    assert "faild" not in errors and "failed" not in out, (out, errors)
    assert cam.read("/tmp/fdisk.args") == "/dev/mmcblk0\n"
    assert cam.read("/tmp/fdisk.in") == "d1\nd2\nd3\nd4\n w\n"
    assert out.count("Command (m for help): ") == 5 and "The partition table has been altered." in out
    assert TOOLS.mkdosfs in out
    with open(cam.path("/dev/mmcblk0"), "rb") as f:
        boot = f.read(512)
    assert boot[82:90] == b"FAT32   " and boot[510:] == b"\x55\xaa"
    assert cam.read("/proc/sys/vm/drop_caches") == "3"
    # Five half-second pauses, a flush, a second, and a flush after mkdosfs.
    assert cam.laps()[0] >= 7.5


def test_format_survives_an_fdisk_that_ends_early(cam):
    card(cam, 0, 64 * MiB)
    path = fdisk_logger(cam, "exit 1")
    out, errors, rc = session(cam, "-f", before=path)
    assert rc == 0 and "faild" not in errors, (out, errors, rc)
    with open(cam.path("/dev/mmcblk0"), "rb") as f:
        assert f.read(90)[82:90] == b"FAT32   "


@pytest.mark.parametrize("prepare, tail, fails", [
    ("mkdosfs -F 32 /dev/mmcblk0 >/dev/null 2>&1; ", "Sd/mmc repair /dev/mmcblk0 success!\n", False),
    ("", "Sd/mmc repair /dev/mmcblk0 faild!\n", True),
])
def test_repair(cam, prepare, tail, fails):
    card(cam, 0, 64 * MiB)
    out, errors, rc = session(cam, "-r", before=prepare)
    assert out.endswith(tail) and rc == 0, (out, errors)
    assert ("sdmmc repair disk faild!\n" in errors) == fails
    assert mounts(cam) == ""


DIRTY = "Dirty bit is set."
SUCCESS = "Sd/mmc repair /dev/mmcblk0 success!\n"


def prepared(cam, kind):
    """A card: blank; FAT32 throughout; the same still marked dirty by a mount, as a
    camera that lost power leaves it; or as a PC leaves it, FAT32 in its one partition."""
    card(cam, 0, fat=kind in ("fat", "dirty"))
    dev = str(cam.path("/dev/mmcblk0"))
    if kind == "dirty":
        with open(dev, "r+b") as f:
            f.seek(65)
            f.write(b"\x01")
    elif kind == "partitioned":
        subprocess.run(["sfdisk", "-q", dev], input=b"2048,,c\n", check=True, capture_output=True)
        subprocess.run(["mkfs.fat", "-F", "32", "--offset", "2048", dev], check=True, capture_output=True)


# Sequences a technician runs, in one run each. A repair or a format unmounts a mounted
# card first (the kernel's mounted file system is not written beneath it) and mounts it
# again after; a repair that repaired something is a success (BusyBox's mkdosfs leaves a
# label dosfsck removes, so the repair right after its format is one). "failed!" ends the
# program's own failure lines, not the tools' (BusyBox's fdisk says "failed," of a card
# image the kernel cannot reread).
@pytest.mark.parametrize("kind, args, shown, not_shown, mounted_after", [
    ("fat", "-i -r", ["Use = ", "fsck.fat", SUCCESS], [DIRTY, "faild"], True),
    ("dirty", "-r", [DIRTY, SUCCESS], ["faild"], False),
    ("blank", "-f -r", [TOOLS.mkdosfs, SUCCESS], [DIRTY, "faild", "failed!"], False),
    ("fat", "-i -f -i", ["Use = ", "The partition table has been altered.", TOOLS.mkdosfs, "Use = "],
     ["faild", "failed!", "busy"], True),
    ("fat", "-n 1 -z 1 -F -f -m", ["Create total 1 files", TOOLS.mkdosfs], ["faild", "failed!"], True),
    ("blank", "-m -f -m -i", ["mount: ", "sdmmc mount faild!", TOOLS.mkdosfs, "Use = "], [], True),
    ("partitioned", "-r -f -i -r", ["Sd/mmc repair /dev/mmcblk0 faild!", TOOLS.mkdosfs, "Use = ", SUCCESS], [], True),
])
def test_card_sequences(cam, kind, args, shown, not_shown, mounted_after):
    prepared(cam, kind)
    path = fdisk_logger(cam, "grep -c '^/dev/mmcblk0 ' /proc/mounts >>/tmp/fdisk.mounted; PATH=${PATH#/tmp/bin:} fdisk \"$@\"")
    cam.sh(f"{path}debug -M sdmmc {args} >/tmp/out 2>&1; grep -c '^/dev/mmcblk0 ' /proc/mounts >/tmp/mounted")
    text = cam.read("/tmp/out")
    at = 0
    for part in shown:
        at = text.find(part, at)
        assert at >= 0, (part, text)
        at += len(part)
    assert not [t for t in not_shown if t in text], text
    assert cam.read("/tmp/mounted") == ("1\n" if mounted_after else "0\n")
    if "-f" in args:
        assert cam.read("/tmp/fdisk.mounted") == "0\n", "fdisk never runs beneath a mounted card"


# The program's own lines, apart from what the tools it runs print.
OWN = re.compile(r"^(?:SD/mmc|Sd/mmc|Block = |Total = |Free = |Use = |All size|Try to|Create |Free size| ERROR ).*",
                 re.M)


@pytest.mark.parametrize("kind, args", [
    ("blank", "-f -r -i"),
    ("fat", "-m -i -n 2 -z 1 -F -r"),
    ("partitioned", "-r -f -i -r"),
])
def test_own_lines_are_the_same_on_both_userlands(cam, kind, args, monkeypatch):
    seen = []
    for userland in ("debian", "busybox"):
        monkeypatch.setenv("DEBUG_USERLAND", userland)
        prepared(cam, kind)
        cam.sh(f"debug -M sdmmc {args} >/tmp/out 2>&1")
        own = OWN.findall(cam.read("/tmp/out"))
        # The two mkdosfs lay a card out differently, which a real file system's
        # figures show: there, the lines are compared without them.
        seen.append([re.sub(r"\d", "#", line) for line in own] if KERNEL else own)
    assert seen[0] == seen[1]


def test_fill_ten_small_files(cam):
    card(cam, 0, 64 * MiB, fat=True)
    caches_kept(cam)
    out, errors, rc = session(cam, "-n 10 -z 1 -F", after=f"stat -c '%n %s' /mnt/mmc/* >/tmp/ls; {STATFS}")
    total, free = (n >> 20 for n in room(cam))
    assert KERNEL or (total, free) == (64, 54)
    assert (out, errors, rc) == (
        f"All size = {total} MB, free size = {free + 10} MB \n"
        "Try to filling sdmmc by creating 10 files, echo file size 1 MB \n"
        + "".join(f"Create /mnt/mmc/file{i} \n" for i in range(10)) +
        f"Create total 10 files \nFree size = {free} MB \n", "", 0)
    assert sorted(cam.read("/tmp/ls").splitlines()) == sorted(f"/mnt/mmc/file{i} {MiB}" for i in range(10))
    assert cam.read("/proc/sys/vm/drop_caches") == "3"


def test_fill_count_after_the_fill_is_not_used_and_a_signal_stops_it(cam):
    card(cam, 0, 64 * MiB, fat=True)
    caches_kept(cam)
    # The signal comes once the second file is under way, however slow the card.
    r, (seconds,) = cam.timed("debug -M sdmmc -z 1 -F -n 10 >/tmp/out & pid=$!; "
                              "until grep -qs file1 /tmp/out; do sleep 0.02; done; lap; kill -INT $pid; wait $pid; "
                              f"rc=$?; lap; cat /tmp/out; {STATFS}; exit $rc")
    assert seconds < 1.8, "after a stop request the closing pauses (2 s) are skipped"
    assert cam.read("/proc/sys/vm/drop_caches") == "3", "the caches are still released"
    total, free = (n >> 20 for n in room(cam))
    assert KERNEL or (total, free) == (64, 62)
    assert (r.out, r.err, r.rc) == (
        f"All size = {total} MB, free size = {free + 2} MB \n"
        "Try to filling sdmmc by creating 128 files, echo file size 1 MB \n"
        "Create /mnt/mmc/file0 \nCreate /mnt/mmc/file1 \n"
        "\nGet signal, signo = 2\n"
        f"Create total 2 files \nFree size = {free} MB \n", "", 0)


@pytest.mark.parametrize("args, complaint, message", [
    (["-n", "0"], "", "filling file numbers must in [1-40960]!\n"),
    (["-n", "40961", "-m"], "", "filling file numbers must in [1-40960]!\n"),
    (["-n", "junk"], "", "filling file numbers must in [1-40960]!\n"),
    (["-n", "4294967297"], "", "filling file numbers must in [1-40960]!\n"),
    (["-z", "1025"], "", "filling file size must in [1-1024]!\n"),
    (["-z", "0", "-m"], "", "filling file size must in [1-1024]!\n"),
    (["-x", "-m"], "debug: invalid option -- 'x'\n", "Unknow option\n"),
    (["-m", "-n"], "debug: option requires an argument -- 'n'\n", "Unknow option\n"),
])
def test_rejected_option_ends_with_usage_and_255(cam, args, complaint, message):
    r = cam.run("-M", "sdmmc", *args)
    before = NOT_INSERTED if args[0] == "-m" else ""
    assert (r.out, r.rc) == (before + USAGE, 255)
    expected = re.escape(complaint)
    if before:
        expected = err("sdmmc_init_param", "sdmmc mount faild!\n") + expected
    assert re.fullmatch(expected + err("sdmmc_init_param", message), r.err), r.err
