# SPDX-License-Identifier: Apache-2.0
"""The mtd module in the simulated camera. Partitions are regular files there; the
preloaded shim answers MEMGETBADBLOCK with the bad blocks a test names in MTD_SHIM."""
import re

import pytest

STARS = "*" * 80
USAGE = (STARS + "\nmtd usage:\ndebug -M mtd [option] \n"
         "-M  --module [module]\tmodule name: mtd\n"
         "-b  --badblock [1]\tcat badblock info\n" + STARS + "\n")
SHIM = "/opt/debug/bin/libkernel_shim.so"


def prefix(func):
    return rf" ERROR  \(tq_mtd\|{func}\|\d+\): "


def check(cam, shim="", args=("-b", "1")):
    # The sanitizer runtime wants to be loaded first; the shim is preloaded before it.
    line = " ".join(args)
    return cam.sh(f"ASAN_OPTIONS=verify_asan_link_order=0 MTD_SHIM='{shim}' LD_PRELOAD={SHIM} "
                  f"debug -M mtd {line}")


def table(cam, *parts):
    """/proc/mtd with (device, size, erase size, name) rows, and a device file for each."""
    text = "dev:    size   erasesize  name\n"
    for dev, size, erasesize, name in parts:
        text += f"{dev}: {size:08x} {erasesize:08x} \"{name}\"\n"
        cam.write(f"/dev/{dev}", "")
    cam.write("/proc/mtd", text)


@pytest.mark.parametrize("args", [[], ["-b", "2"], ["-b", "0", "-b", "x"], ["--badblock", "0x1"]])
def test_without_badblock_one_nothing_runs(cam, args):
    r = check(cam, "mtd1@0", args)
    assert (r.out, r.err, r.rc) == ("", "", 0)


@pytest.mark.parametrize("shim, out", [
    ("", "\nTotal bad block : 0\n"),
    # mtd1 starts after mtd0's 1 MiB: its second block is at 0x120000.
    ("mtd1@0x20000", "/dev/mtd1 (\"kernel\") : \nBad block found at : 00120000\n\nTotal bad block : 1\n"),
    ("mtd0@0xe0000,mtd2@0,mtd2@0xfe0000,mtd5@0x20000",
     "/dev/mtd0 (\"boot\") : \nBad block found at : 000e0000\n"
     "/dev/mtd2 (\"rootfs\") : \nBad block found at : 00500000\nBad block found at : 014e0000\n"
     "/dev/mtd5 (\"nand2\") : \nBad block found at : 02420000\n\nTotal bad block : 4\n"),
    # A request that fails ends that partition's scan; what it found before stays.
    ("mtd2@0x20000,mtd2!0x40000,mtd2@0x60000,mtd3@0",
     "ioctl MEMGETBADBLOCK failed, /dev/mtd2, error=-1\n"
     "/dev/mtd2 (\"rootfs\") : \nBad block found at : 00520000\n"
     "/dev/mtd3 (\"app\") : \nBad block found at : 01500000\n\nTotal bad block : 2\n"),
])
def test_bad_blocks_of_the_cameras_flash(cam, shim, out):
    r = check(cam, shim)
    assert (r.out, r.err, r.rc) == (out, "", 0)


def test_missing_device_node_is_reported_and_skipped(cam):
    cam.remove("/dev/mtd1")
    r = check(cam, "mtd1@0,mtd2@0x20000")
    assert r.out == "/dev/mtd2 (\"rootfs\") : \nBad block found at : 00520000\n\nTotal bad block : 1\n"
    assert re.fullmatch(prefix("tq_badblock_check") + r"/dev/mtd1 open failed\n", r.err), r.err
    assert r.rc == 0


@pytest.mark.sim_only("plain files where /proc/mtd names partitions, as no kernel makes them")
def test_without_the_mtd_layer_every_request_fails(cam):
    r = cam.run("-M", "mtd", "-b", "1")
    assert r.out == "".join(f"ioctl MEMGETBADBLOCK failed, /dev/mtd{n}, error=-1\n" for n in range(6)) + \
        "\nTotal bad block : 0\n"
    assert (r.err, r.rc) == ("", 0)


def test_missing_proc_mtd(cam):
    cam.without_proc("mtd")
    r = check(cam)
    assert r.out == ""
    assert re.fullmatch(prefix("tq_badblock_check") + r"/proc/mtd open failed\n", r.err), r.err


@pytest.mark.parametrize("args, complaints", [
    (["-x", "-b", "1"], ["debug: invalid option -- 'x'\n"]),
    (["-b", "1", "-b", "0", "--nosuch"], ["debug: unrecognized option '--nosuch'\n"]),
    (["-q", "-b", "1", "-b"], ["debug: invalid option -- 'q'\n", "debug: option requires an argument -- 'b'\n"]),
])
def test_bad_options_are_reported_and_the_check_still_runs(cam, args, complaints):
    r = check(cam, "mtd0@0", args)
    assert r.out == USAGE * len(complaints) + \
        "/dev/mtd0 (\"boot\") : \nBad block found at : 00000000\n\nTotal bad block : 1\n"
    unknown = prefix("mtd_init_param") + "Unknow option\n"
    assert re.fullmatch("".join(re.escape(c) + unknown for c in complaints), r.err), r.err


@pytest.mark.sim_only("a /proc/mtd unlike any kernel's: lines it never writes, partitions it has not")
def test_odd_tables_are_reported_and_the_check_goes_on(cam):
    parts = [(f"mtd{n}", 0x40000, 0x20000, f"p{n}") for n in range(18)]
    parts[2] = ("mtd2", 0x40000, 0, "zero")
    parts[3] = ("mtd3", 300 * 0x20000, 0x20000, "worn")
    table(cam, *parts)
    text = cam.read("/proc/mtd").replace("mtd4: ", "mtd4 garbage ")
    cam.write("/proc/mtd", text)
    r = check(cam, "mtd3@*,mtd15@0x20000,mtd16@0,mtd17@0")
    # mtd4 is not understood and takes no slot, so mtd16 is the last one checked. mtd3
    # follows three partitions of 256 KiB, mtd15 its 300 blocks and ten more partitions.
    worn = "".join(f"Bad block found at : {0xc0000 + k * 0x20000:08x}\n" for k in range(128))
    after_worn = 0xc0000 + 300 * 0x20000
    assert r.out == ("/dev/mtd3 (\"worn\") : \n" + worn +
                     f"/dev/mtd15 (\"p15\") : \nBad block found at : {after_worn + 10 * 0x40000 + 0x20000:08x}\n"
                     f"/dev/mtd16 (\"p16\") : \nBad block found at : {after_worn + 11 * 0x40000:08x}\n"
                     "\nTotal bad block : 302\n")
    p = prefix("tq_badblock_check")
    assert re.fullmatch(p + r"/proc/mtd line not understood, skipped: mtd4 garbage 00040000 00020000 \"p4\"\n" +
                        p + r"more than 16 partitions, /dev/mtd17 not checked\n" +
                        p + r"/dev/mtd2 erase size is 0, not checked\n" +
                        p + r"/dev/mtd3 has 300 bad blocks, the first 128 are listed\n", r.err), r.err


@pytest.mark.parametrize("first, name, err", [
    # A name too long for the record keeps its first 31 characters, and its partition
    # its place: mtd1's second block is still at 0x120000.
    ('mtd0: 00100000 00020000 "u-boot-environment-redundant-1"\n', '"u-boot-environment-redundant-1', ""),
    # The tail of a long line is neither a partition nor a line of its own.
    ('mtd0: 00100000 00020000 "' + "x" * 1100 + ' mtd9: 00100000 00020000 "evil"\n', '"' + "x" * 30, ""),
    ('mtd_' + "x" * 1100 + ' mtd9: 00100000 00020000 "evil"\nmtd0: 00100000 00020000 "boot"\n', '"boot"',
     r"/proc/mtd line not understood, skipped: mtd_x{1019}\n"),
], ids=["long-name", "long-line", "long-unusable-line"])
@pytest.mark.sim_only("a /proc/mtd unlike any kernel's: lines it never writes, partitions it has not")
def test_long_names_and_lines_keep_every_address(cam, first, name, err):
    cam.write("/dev/mtd9", "")
    cam.write("/proc/mtd", "dev:    size   erasesize  name\n" + first + 'mtd1: 00400000 00020000 "kernel"\n')
    r = check(cam, "mtd0@0x20000,mtd1@0x20000,mtd9@0")
    assert r.out == (f"/dev/mtd0 ({name}) : \nBad block found at : 00020000\n"
                     "/dev/mtd1 (\"kernel\") : \nBad block found at : 00120000\n\nTotal bad block : 2\n")
    assert re.fullmatch(prefix("tq_badblock_check") + err if err else "", r.err), r.err
    assert r.rc == 0


@pytest.mark.parametrize("sig, signo", [("INT", 2), ("TERM", 15)])
@pytest.mark.sim_only("a /proc/mtd unlike any kernel's: lines it never writes, partitions it has not")
def test_signal_ends_a_scan_of_billions_of_blocks(cam, sig, signo):
    # 16 partitions of 2^24 blocks each: far more than the program asks in a second.
    table(cam, *[(f"mtd{n}", 0xffffff00, 0x100, f"p{n}") for n in range(16)])
    r, (seconds,) = cam.timed(f"ASAN_OPTIONS=verify_asan_link_order=0 MTD_SHIM='mtd0@0' LD_PRELOAD={SHIM} "
                              f"debug -M mtd -b 1 & pid=$!; sleep 0.5; lap; kill -{sig} $pid; wait $pid; lap",
                              timeout=60)
    assert r.out == (f"\nGet signal, signo = {signo}\n" +
                     "".join(f"ioctl MEMGETBADBLOCK failed, /dev/mtd{n}, error=-1\n" for n in range(16)) +
                     "/dev/mtd0 (\"p0\") : \nBad block found at : 00000000\n\nTotal bad block : 1\n")
    assert (r.err, r.rc) == ("", 0)
    assert seconds < 1
