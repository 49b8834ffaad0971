# SPDX-License-Identifier: Apache-2.0
"""Start-up, command-line selection, the general usage and shutdown, byte for byte."""
import pytest

from conftest import KERNEL

MODULES = ["adc", "gpio", "pwm", "ptz", "cpu", "motor", "sdmmc", "db",
           "ir", "wifi", "media", "pt", "mtd", "extdrv"]


def module_list():
    names = MODULES
    out = "modules name:\n"
    for i, name in enumerate(names):
        out += "\t" + name
        if (i + 1) % 8 == 0:
            out += "\n"
    return out + "\n"


USAGE = ("debug usage:\n"
         "debug [module option] \n"
         "-M  --module [str]\tmodule name like spi/i2c/gpio/adc/sensor\n"
         "-h  --help [str]\tdisplay module usage, module name like spi/i2c/gpio/adc/sensor \n"
         "Note: use { debug -h [module name] } to get detail help!\n")
VERSION = "debug version: 1.2.0\n"


def usage():
    return USAGE + module_list()


@pytest.mark.parametrize("args, expected", [
    ([], "usage"),
    (["-h"], "version+usage"),
    (["--help"], "version+usage"),
    (["-M"], "usage"),
    (["--module"], "usage"),
    (["-M", "wifi", "-h"], "version+usage"),
    (["-M", "nosuch"], ""),
    (["-M", "MEDIA"], ""),
    (["-h", "nosuch"], "version"),
    (["--help", "CPU"], "version"),
    (["-x", "foo"], "usage"),
])
def test_selection_without_a_module_run(cam, args, expected):
    r = cam.run(*args)
    want = {"usage": usage(), "version+usage": VERSION + usage(), "version": VERSION, "": ""}[expected]
    assert (r.out, r.err, r.rc) == (want, "", 0)


def test_module_list_has_all_modules_in_id_order(cam):
    r = cam.run()
    assert r.out.endswith("modules name:\n\tadc\tgpio\tpwm\tptz\tcpu\tmotor\tsdmmc\tdb\n"
                          "\tir\twifi\tmedia\tpt\tmtd\textdrv\n")


def test_overlong_arguments_are_cut_safely(cam):
    r = cam.sh("exec -a " + "p" * 400 + " debug -M " + "m" * 300)
    assert (r.out, r.rc) == ("", 0)
    r = cam.sh("exec -a " + "p" * 400 + " debug -h")
    assert r.out.startswith(VERSION + "p" * 255 + " usage:\n")


def test_missing_database_is_copied_before_anything_is_printed(cam):
    cam.path("/mnt/nand/tqdb.db").unlink()
    cam.write("/mnt/nand/tqdb.db.tmp", "the temporary of a copy cut short")
    r = cam.run("-h", "nosuch")
    assert (r.out, r.rc) == (VERSION, 0)
    assert cam.path("/mnt/nand/tqdb.db").read_bytes() == cam.path("/opt/app/tqdb.db").read_bytes()
    assert not cam.path("/mnt/nand/tqdb.db.tmp").exists()
    cam.write("/mnt/nand/tqdb.db", "changed since")
    cam.run("-h", "nosuch")
    assert cam.read("/mnt/nand/tqdb.db") == "changed since", "no copy when both files exist"


def test_copy_onto_a_full_flash_leaves_no_torn_database(cam):
    cam.path("/mnt/nand2/oem.db").unlink()
    # On the kernel camera its UBIFS volume filled with what it cannot compress; in the
    # simulated one a small tmpfs over it (the host's mount: the camera's is a stand-in).
    # The listing after the run shows neither a torn database nor a temporary left behind.
    if KERNEL:
        full, done = "head -c 64M /dev/urandom >/mnt/nand2/fill 2>/dev/null; ", "; rm /mnt/nand2/fill"
    else:
        full, done = "/bin/mount -t tmpfs -o size=16k full /mnt/nand2 && ", "; /bin/umount /mnt/nand2"
    r = cam.sh(f"{full}debug -h nosuch && ls -A /mnt/nand2 | grep -vx fill{done}")
    assert (r.out, r.err, r.rc) == (VERSION, "", 0)
    # With room on the flash, the next start copies it whole.
    assert cam.run("-h", "nosuch").out == VERSION
    assert cam.path("/mnt/nand2/oem.db").read_bytes() == cam.path("/opt/app/oem.db").read_bytes()


def test_missing_flash_stops_start_up(cam):
    import shutil
    shutil.rmtree(cam.path("/mnt/nand"))
    r = cam.run("-h")
    assert r.rc == 0
    assert r.out == ""
    assert r.err.endswith(" ERROR  (osa_log|OSA_logInit|{}): OSA_ipcMakeKey() \n".format(
        r.err.split("OSA_logInit|")[1].split(")")[0]) +
        " ERROR  (test|main|{}): test_init failed!\n".format(r.err.split("main|")[1].split(")")[0]))
