# SPDX-License-Identifier: Apache-2.0
"""Faults the camera meets in the field, end to end: whatever breaks, the run ends
soon, says what went wrong, keeps what was written before, and exits with its usual
status."""
import re
import sqlite3
import subprocess

import pytest
from conftest import KERNEL

LOG = "/mnt/nand/debug.log"
TQDB = "/mnt/nand/tqdb.db"
DATE = r"[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}"
IR_RECORD = "Test date: " + DATE + "\n\t IR-cut result: success\n\t use time: 0s \n"
IR_SHOWN = "\x1b\\[0;32m" + IR_RECORD + "\x1b\\[0;39m \n"
# The real mount, not the simulated camera's stand-in (which mounts only the card).
MOUNT = "mount" if KERNEL else "/usr/bin/mount"
# The flash bound read-only over itself.
READ_ONLY_NAND = f"{MOUNT} --bind /mnt/nand /mnt/nand && {MOUNT} -o remount,bind,ro /mnt/nand && "


def err(unit, function, text):
    return rf" ERROR  \({unit}\|{function}\|\d+\): " + re.escape(text)


def tree(cam, folder):
    base = cam.path(folder)
    return {str(p.relative_to(base)): p.read_bytes() for p in base.rglob("*") if p.is_file()}


# ---------------------------------------------------------------- the shared log


def test_log_semaphore_left_taken_by_a_killed_process_is_taken_over_once(cam):
    cam.write(LOG, "earlier record\n")
    r = cam.sh("osa_log_driver hold & h=$!; wait $h; echo $h >/tmp/holder; "
               "debug -M ir -t 2 -d 10 && debug -M ir -t 1 -d 10", timeout=30)
    holder = cam.read("/tmp/holder").strip()
    assert re.fullmatch(IR_SHOWN * 2, r.out), r.out
    taken_over = f"log semaphore left taken by ended process {holder}, taking it over\n"
    assert re.fullmatch(err("osa_log", "OSA_log", taken_over), r.err), "the second run finds the lock free"
    assert r.rc == 0
    assert re.fullmatch("earlier record\n" + IR_RECORD * 2, cam.read(LOG))


# ---------------------------------------------------------------- flash read-only

UPDATE = "update sys_info set value = 'fr' where name = 'language'"
SELECT = "select value from sys_info where name = 'language'"


@pytest.mark.parametrize("remove, args, out, errors", [
    # The result is still shown; the record that cannot be kept is reported.
    ([], ["-M", "ir", "-t", "1", "-d", "10"], IR_SHOWN,
     re.escape("open log:: Read-only file system\n") + err("osa_log", "OSA_log", f"Faild to open log: {LOG} \n")),
    # The statement is refused by the database, reading goes on.
    ([], ["-M", "db", "-e", UPDATE, "-s", SELECT],
     re.escape(f"Current Database File: [{TQDB}] \nEnd execute: '{UPDATE}' \n"
               "Query Result: \nvalue           \nen\n \n"),
     err("tq_db", "db_execute", f"execute '{UPDATE}' failed (sqlite error 8). \n")),
    # Start-up and the module each try the factory copy, silently; the module then
    # says the file is missing.
    (["tqdb.db"], ["-M", "db", "-s", SELECT],
     re.escape(f"Current Database File: [{TQDB}] \nSQL: '{SELECT}' Failed!! \n"),
     err("tq_db", "db_con_init", f"db=[{TQDB}] file not existed. \n")
     + err("tq_db", "is_db_init", f"db=[{TQDB}] not init. \n")),
])
def test_read_only_flash(cam, remove, args, out, errors):
    cam.write(LOG, "earlier record\n")
    for name in remove:
        cam.path("/mnt/nand/" + name).unlink()
    before = tree(cam, "/mnt/nand")
    quoted = " ".join("'" + a.replace("'", "'\\''") + "'" for a in args)
    r = cam.sh(READ_ONLY_NAND + "debug " + quoted, timeout=30)
    assert re.fullmatch(out, r.out), r.out
    assert re.fullmatch(errors, r.err), r.err
    assert r.rc == 0
    assert tree(cam, "/mnt/nand") == before


# ---------------------------------------------------------------- /proc/stat unreadable

GREEN, RED, DEFAULT = "\x1b[1;32m", "\x1b[0;31m", "\x1b[0;39m"


@pytest.mark.parametrize("stat", [
    # a directory: it opens, and reading it fails
    pytest.param(None, marks=pytest.mark.sim_only("a /proc/stat that is a directory, as no kernel's is")),
    "",                     # empty
    "cpu  4705 150 1120",   # cut short inside the all-processor line
    "cpu0 4705 150 1120 16250 520 0 45 0 0 0\nintr 1\n",  # no all-processor line
])
def test_unreadable_proc_stat_is_reported_at_every_sample(cam, stat):
    if stat is None:
        cam.path("/proc/stat").mkdir(parents=True)
    else:
        cam.write("/proc/stat", stat)
    r = cam.run("-M", "cpu", "-c", "1", "-d", "1", timeout=30)
    # A baseline, one counted sample and the last: three readings, each one reported.
    assert r.err == f"{RED}Error: Failed to get cpu load information.\n{DEFAULT} \n" * 3
    zero = "CPU:  0% (sys:  0% user:  0% wait:  0% steal:  0%)"
    assert r.out == (f"{GREEN}Create cpu log: /tmp/cpulog.txt\n{DEFAULT} \n"
                     f"{GREEN}ARM LOAD RUNNING FOR COUNT: 1 \n{DEFAULT} \n"
                     f"{GREEN}{zero}{DEFAULT} \n"
                     f"{GREEN}Average:0.000%   Max:0.00%  Min:0.00%{DEFAULT} \n")
    assert r.rc == 0
    assert cam.read("/tmp/cpulog.txt") == f"{zero}\nAverage:0.000%   Max:0.00%  Min:0.00%\n"


# ---------------------------------------------------------------- SD card full during a fill

MiB = 1 << 20
FILES = "for f in /mnt/mmc/*; do [ -e \"$f\" ] && echo \"$f $(stat -c %s \"$f\")\"; done; cat /mnt/mmc/keep.jpg"


def fill_head(all_mb, free_mb):
    return (f"All size = {all_mb} MB, free size = {free_mb} MB \n"
            "Try to filling sdmmc by creating 40960 files, echo file size 1 MB \n")


def test_fill_ends_where_the_card_is_full_and_keeps_what_it_held(cam):
    with open(cam.path("/dev/mmcblk0"), "wb") as f:
        f.truncate(4 * MiB)
    subprocess.run(["mkfs.fat", "-I", str(cam.path("/dev/mmcblk0"))], check=True, capture_output=True)
    r = cam.sh("debug -M sdmmc -m && echo photo >/mnt/mmc/keep.jpg && "
               f"debug -M sdmmc -n 40960 -z 1 -F; echo rc=$?; {FILES}", timeout=60)
    lines = r.out.splitlines(keepends=True)
    # On the real kernel the card's FAT file system keeps part of it for its own tables.
    assert "".join(lines[:10]) == (fill_head(3 if KERNEL else 4, 3) + "".join(f"Create /mnt/mmc/file{i} \n" for i in range(4))
                                   + "Sd/mmc is full, /mnt/mmc/file3 is cut short \n"
                                   "Create total 3 files \nFree size = 0 MB \nrc=0\n")
    assert lines[10:13] == [f"/mnt/mmc/file{i} {MiB}\n" for i in range(3)]
    cut = re.fullmatch(r"/mnt/mmc/file3 (\d+)\n", lines[13])
    assert cut and 0 < int(cut.group(1)) < MiB, lines[13]
    assert lines[14:] == ["/mnt/mmc/keep.jpg 6\n", "photo\n"]
    assert r.err == ""


def test_fill_of_a_card_that_takes_nothing_ends_with_an_error(cam):
    r = cam.sh(f"{MOUNT} -t tmpfs -o ro,size=4m /dev/mmcblk0 /mnt/mmc && "
               f"debug -M sdmmc -n 40960 -z 1 -F; echo rc=$?", timeout=60)
    assert r.out == (fill_head(4, 4) + "Create /mnt/mmc/file0 \nCreate total 0 files \nFree size = 4 MB \nrc=0\n")
    assert re.fullmatch(err("tq_sdmmc", "sdmmc_filling_disk", "Create /mnt/mmc/file0 failed!\n")
                        + err("tq_sdmmc", "sdmmc_init_param", "sdmmc filling disk faild!\n"), r.err), r.err


# ---------------------------------------------------------------- a damaged database

TABLES = "select name from sqlite_master where type='table' order by name;"
NO_MATCH = "[0 Items, No Match Records!] \n"


def test_database_overwritten_with_garbage_fails_every_action_and_stays_as_it_is(cam):
    garbage = bytes(range(256)) * 64
    cam.write(TQDB, garbage)
    r = cam.run("-M", "db", "-s", "select * from user", "-e", "delete from user", "-t")
    assert r.out == (f"Current Database File: [{TQDB}] \n"
                     + NO_MATCH + "SQL: 'select * from user' Failed!! \n"
                     + "End execute: 'delete from user' \n"
                     + NO_MATCH + f"SQL: '{TABLES}' Failed!! \n")
    assert re.fullmatch(err("tq_db", "db_query", "query 'select * from user' failed (sqlite error 26). \n")
                        + err("tq_db", "db_execute", "execute 'delete from user' failed (sqlite error 26). \n")
                        + err("tq_db", "db_query", f"query '{TABLES}' failed (sqlite error 26). \n"), r.err), r.err
    assert r.rc == 0
    assert cam.path(TQDB).read_bytes() == garbage


def test_rows_cut_off_by_a_damaged_page_are_not_shown_as_the_result(cam):
    # A small table first, then one spread over many pages; the file's last page is
    # the last of the big table's rows, and it is overwritten.
    path = cam.path(TQDB)
    path.unlink()
    db = sqlite3.connect(path)
    db.execute("create table user (name text)")
    db.execute("insert into user values ('admin')")
    db.execute("create table alarm (id integer primary key, note text)")
    db.executemany("insert into alarm values (?, ?)", [(i, "n" * 100) for i in range(1, 401)])
    db.commit()
    db.close()
    data = bytearray(path.read_bytes())
    data[-4096:] = bytes(range(256)) * 16
    path.write_bytes(bytes(data))
    r = cam.run("-M", "db", "-s", "select id from alarm", "-e", "delete from alarm", "-s", "select name from user")
    assert r.out == (f"Current Database File: [{TQDB}] \n"
                     "SQL: 'select id from alarm' Failed!! \n"
                     "End execute: 'delete from alarm' \n"
                     "Query Result: \nname            \nadmin\n \n")
    assert re.fullmatch(err("tq_db", "db_query", "query 'select id from alarm' failed (sqlite error 11). \n")
                        + err("tq_db", "db_execute", "execute 'delete from alarm' failed (sqlite error 11). \n"),
                        r.err), r.err
    assert r.rc == 0
    assert path.read_bytes() == bytes(data)


# ---------------------------------------------------------------- the serial port missing

PORT = "/dev/ttyAMA1"


def not_sent(function, call):
    return err("tq_ptz", function, f"{call} failed, no frame sent on {PORT}\n")


@pytest.mark.parametrize("port, args, errors", [
    (None, ["--zoomin"], [("ptz_test_main", "pt_run(10)")]),
    (None, ["-s", "3", "-g", "0x104"], [("ptz_init_param", "pt_set_preset(3)"),
                                         ("ptz_init_param", "pt_go_preset(260)"),
                                         ("ptz_test_all", "pt_run(0)")]),
    # A device that is no serial port at all takes no frame either.
    ("", ["-c", "7", "--stop"], [("ptz_init_param", "pt_remove_preset(7)"), ("ptz_test_main", "pt_run(32)")]),
])
def test_commands_that_reach_no_port_are_reported_and_not_waited_for(cam, port, args, errors):
    if port is None:
        cam.remove(PORT)
    else:
        cam.write(PORT, port)
    r, seconds = cam.run_timed("-M", "ptz", *args, timeout=30)
    assert seconds < 5, "no wait (5 s or more) for a movement that never started"
    assert (r.out, r.rc) == ("", 0)
    assert re.fullmatch("".join(not_sent(f, c) for f, c in errors), r.err), r.err
    if port is not None:
        assert cam.read(PORT) == port


# ---------------------------------------------------------------- wpa_supplicant never answers


@pytest.mark.uptime_lead(1.5)  # the first request's 2 s deadline lies past the boundary
def test_a_wpa_supplicant_that_never_answers_costs_seconds_and_says_so(cam, uptime):
    if KERNEL:
        cam.local_tmp = True  # its sockets, as in test_wifi
    r, (seconds,) = cam.timed("wpa-fake --mute '*' -- bash -c "
                              "'lap; debug -M wifi --wps 0 -e 0 --ssid Lab; rc=$?; lap; exit $rc'", timeout=30)
    assert r.out == "Get IPC-wifi pin code =  \n"
    assert re.fullmatch(re.escape("wifi: wlan0: wpa_supplicant did not answer WPS_PIN get\n")
                        + err("tq_wifi", "wifi_test_main", "wifi config has error!\n"), r.err), r.err
    assert r.rc == 0
    # Two requests, each given up after its 2 s: not at once, and not after the 10 s of
    # the client library's own wait.
    assert 3.9 <= seconds < 10
    # Asked once each; no request went out after a lost answer, no client socket is left.
    assert cam.read("/tmp/wpa-fake.log").splitlines() == ["WPS_PIN get", "ADD_NETWORK"]
    assert list(cam.path("/tmp").glob("wpa_ctrl_*")) == []
