# SPDX-License-Identifier: Apache-2.0
"""The db module on the camera's real database files, byte for byte."""
import re
import shlex
import sqlite3

import pytest
from conftest import KERNEL

TQDB = "/mnt/nand/tqdb.db"
OEM = "/mnt/nand2/oem.db"


def current(path=TQDB):
    return f"Current Database File: [{path}] \n"


USAGE = ("*" * 80 + "\n"
         "db usage:\n"
         "debug -M db [option] \n"
         "-M  --module [module]\tmodule name: db\n"
         "-s  --select [str]\tCmd inquiry string.for example -s \"select * from user;\"\n"
         "-e  --execute [str]\tCmd execute string\n"
         "-f  --file [file]\tFilepath to execute\n"
         "-d  --database [str]\tSet database [tqdb, oem, sddb, log], default[tqdb]\n"
         "-t  --table\t\tList table name\n"
         + "*" * 80 + "\n")

TQDB_TABLES = ("Query Result: \nname            \nalarm_log\nimage\nmotion_detect\nnetwork\nosd\n"
               "ptz_preset\nschedule\nsqlite_sequence\nsys_info\nuser\nvideo_encode\n \n")
OEM_TABLES = "Query Result: \nname            \nfactory_test\nlens_curve\noem_info\nsensor_calib\n \n"


def invalid(name):
    return f"Invalid Database '{name}'! Optional: [tqdb, oem, sddb, log] \n"


def err(function, text):
    """A regular expression for one error report; the line number is not part of it."""
    return re.escape(" ERROR  (tq_db|" + function + "|") + r"\d+" + re.escape("): " + text)


def rows(cam, db, sql):
    with sqlite3.connect(cam.path(db)) as con:
        return con.execute(sql).fetchall()


def result_text(cam, db, sql):
    """The query result the way the module lays it out, before the 2047-character cut."""
    with sqlite3.connect(cam.path(db)) as con:
        cur = con.execute(sql)
        names = [d[0] for d in cur.description]
        text = "\n" + "".join(f"{n:<16}" for n in names)
        for row in cur:
            cells = ["" if v is None else str(v) for v in row]
            text += "\n" + "".join(f"{c:<16}" for c in cells[:-1]) + cells[-1]
    return text + "\n"


@pytest.mark.parametrize("args, out", [
    ([], current()),
    (["-d", "oem"], current() + current(OEM)),
    (["-d", "TQDB"], current() + invalid("TQDB") + current()),
    (["--database", "oem", "-d", "log"], current() + current(OEM) + invalid("log") + current(OEM)),
    (["-d", "oem", "-t", "-d", "tqdb", "-t"], current() + current(OEM) + OEM_TABLES + current() + TQDB_TABLES),
    (["-s", "select value from sys_info where name='model'", "-d", "oem",
      "--select", "select value from oem_info where name='model'"],
     current() + "Query Result: \nvalue           \nIPC-200\n \n" + current(OEM)
     + "Query Result: \nvalue           \nIPC-200-Z4\n \n"),
])
def test_database_selection_acts_in_command_line_order(cam, args, out):
    r = cam.run("-M", "db", *args)
    assert (r.out, r.err, r.rc) == (out, "", 0)


@pytest.mark.parametrize("sql, result", [
    ("select name from user order by id", "\nname            \nadmin\noperator\nguest\n"),
    ("select id, name, level from user order by id",
     "\nid              name            level           \n"
     "1               admin           0\n2               operator        1\n3               guest           2\n"),
    ("select iface, ip, dns2 from network order by iface",
     "\niface           ip              dns2            \n"
     "eth0            192.168.1.168   114.114.114.114\nwlan0                           \n"),
    ("select text, backlight_compensation from osd, image where id = 1",
     "\ntext            backlight_compensation\nFront Door Camera 01" + "0\n"),
])
def test_query_result_text(cam, sql, result):
    r = cam.run("-M", "db", "-s", sql)
    assert (r.out, r.err, r.rc) == (current() + "Query Result: " + result + " \n", "", 0)


def test_value_longer_than_the_column_buffer_is_cut_to_255_characters(cam):
    cert = rows(cam, OEM, "select value from oem_info where name = 'device_cert'")[0][0]
    assert len(cert) > 255
    r = cam.run("-M", "db", "-d", "oem", "-s", "select value from oem_info where name = 'device_cert'")
    assert r.out == current() + current(OEM) + "Query Result: \nvalue           \n" + cert[:255] + "\n \n"


ENDLESS = "with recursive c(x) as (select 1 union all select x+1 from c) select x from c"


@pytest.mark.parametrize("sql, whole", [
    ("select * from alarm_log", "select * from alarm_log"),
    # Rows without end: the query is stepped no further once the text is full.
    (ENDLESS + ";", ENDLESS + " limit 1000"),
])
def test_result_longer_than_2047_characters_is_cut_silently(cam, sql, whole):
    full = result_text(cam, TQDB, whole)
    assert len(full) > 2047
    r = cam.run("-M", "db", "-s", sql, timeout=20)
    assert (r.out, r.err, r.rc) == (current() + "Query Result: " + full[:2047] + " \n", "", 0)


@pytest.mark.parametrize("sql, code", [
    ("select * from user where level > 5", None),
    ("", None),
    ("select * from no_such_table", 1),
    ("selec name from user", 1),
])
def test_query_without_rows_or_failing_reports_no_match(cam, sql, code):
    r = cam.run("-M", "db", "-s", sql)
    assert (r.out, r.rc) == (current() + "[0 Items, No Match Records!] \n" + f"SQL: '{sql}' Failed!! \n", 0)
    failed = err("db_query", f"query '{sql}' failed (sqlite error {code}). \n") if code else ""
    assert re.fullmatch(failed, r.err), r.err


@pytest.mark.parametrize("sql, check, expected", [
    ("insert into user(name, password, level) values('installer', 'x', 1)",
     "select name, level, enable from user where id = 4", [("installer", 1, 1)]),
    ("update image set brightness = 70 where chn = 0", "select brightness from image", [(70,)]),
    ("delete from alarm_log where type = 'sd_error'", "select count(*) from alarm_log", [(150,)]),
    ("insert into network(iface, dhcp) values('ppp0', 1); update sys_info set value = 'x' where name = 'language'",
     "select (select count(*) from network), value from sys_info where name = 'language'", [(3, "x")]),
])
def test_execute_changes_the_database(cam, sql, check, expected):
    r = cam.run("-M", "db", "-e", sql)
    assert (r.out, r.err, r.rc) == (current() + f"End execute: '{sql}' \n", "", 0)
    assert rows(cam, TQDB, check) == expected


def test_execute_on_oem_changes_only_that_database(cam):
    before = cam.path(TQDB).read_bytes()
    r = cam.run("-M", "db", "-d", "oem", "--execute", "update oem_info set value = 'SN42' where name = 'serial'")
    assert r.err == "" and r.rc == 0
    assert rows(cam, OEM, "select value from oem_info where name = 'serial'") == [("SN42",)]
    assert cam.path(TQDB).read_bytes() == before


@pytest.mark.parametrize("sql, code", [
    ("insert into no_such_table values(1)", 1),
    ("insert into user(id, name, password, level) values(1, 'dup', 'x', 0)", 19),
])
def test_failing_statement_is_reported_and_changes_nothing(cam, sql, code):
    before = rows(cam, TQDB, "select * from user")
    r = cam.run("-M", "db", "-e", sql)
    assert (r.out, r.rc) == (current() + f"End execute: '{sql}' \n", 0)
    assert re.fullmatch(err("db_execute", f"execute '{sql}' failed (sqlite error {code}). \n"), r.err)
    assert rows(cam, TQDB, "select * from user") == before


def test_statement_file_runs_line_by_line_in_255_character_pieces(cam):
    long_line = "insert into sys_info values('note', '" + "n" * 250 + "');\n"
    cam.write("/tmp/stmts.sql", "insert into user(name, password, level) values('svc', 'x', 1);\n"
              "\n"
              + long_line
              + "update ptz_preset set enable = 1, pan = 3600 where id = 5;\n"
              "delete from alarm_log where id <= 10")
    r = cam.run("-M", "db", "-f", "/tmp/stmts.sql")
    assert (r.out, r.rc) == (current(), 0)
    pieces = [long_line[:255], long_line[255:]]
    assert re.fullmatch("".join(err("db_execute", f"execute '{p}' failed (sqlite error 1). \n") for p in pieces),
                        r.err), r.err
    assert rows(cam, TQDB, "select name from user where id = 4") == [("svc",)]
    assert rows(cam, TQDB, "select count(*) from sys_info where name = 'note'") == [(0,)]
    assert rows(cam, TQDB, "select enable, pan from ptz_preset where id = 5") == [(1, 3600)]
    assert rows(cam, TQDB, "select min(id), count(*) from alarm_log") == [(11, 190)]


def test_statement_file_that_cannot_be_opened_is_reported(cam):
    r = cam.run("-M", "db", "-f", "/tmp/none.sql", "-s", "select value from sys_info where name = 'language'")
    assert (r.out, r.rc) == (current() + "Query Result: \nvalue           \nen\n \n", 0)
    assert re.fullmatch(err("db_execute_file", "file=[/tmp/none.sql] open failed: No such file or directory. \n"),
                        r.err)


# Without its file and without the factory copy to copy it from, the action goes on
# without a connection.


@pytest.mark.parametrize("args, out, errors", [
    (["-s", "select * from user"], "SQL: 'select * from user' Failed!! \n", ["con", "init"]),
    (["-t"], "SQL: 'select name from sqlite_master where type='table' order by name;' Failed!! \n", ["con", "init"]),
    (["-e", "delete from user"], "End execute: 'delete from user' \n", ["con", "init"]),
    (["-f", "/tmp/two.sql"], "", ["con", "init", "init"]),
])
def test_missing_database_file(cam, args, out, errors):
    cam.path(TQDB).unlink()
    cam.path("/opt/app/tqdb.db").unlink()
    cam.write("/tmp/two.sql", "delete from user;\ndelete from osd;\n")
    r = cam.run("-M", "db", *args)
    assert (r.out, r.rc) == (current() + out, 0)
    texts = {"con": err("db_con_init", f"db=[{TQDB}] file not existed. \n"),
             "init": err("is_db_init", f"db=[{TQDB}] not init. \n")}
    assert re.fullmatch("".join(texts[e] for e in errors), r.err), r.err
    assert list(cam.path("/mnt/nand").glob("tqdb.db*")) == [], "neither a database nor a temporary"


def test_missing_database_file_is_copied_from_the_factory_files(cam):
    cam.path(OEM).unlink()
    r = cam.run("-M", "db", "-d", "oem", "-s", "select value from oem_info where name = 'vendor'")
    assert (r.out, r.err) == (current() + current(OEM) + "Query Result: \nvalue           \nOEM\n \n", "")
    assert cam.path(OEM).read_bytes() == cam.path("/opt/app/oem.db").read_bytes()


def test_database_that_cannot_be_opened(cam):
    cam.path(TQDB).unlink()
    cam.path(TQDB).mkdir()
    r = cam.run("-M", "db", "-e", "delete from user")
    assert (r.out, r.rc) == (current() + current() + "End execute: 'delete from user' \n", 0)
    assert re.fullmatch(err("db_con_init", "db init failed. \n") + err("is_db_init", f"db=[{TQDB}] not init. \n"),
                        r.err)


@pytest.mark.parametrize("args, getopt_says, before_usage, tables", [
    (["-x", "-e", "delete from user"], "debug: invalid option -- 'x'\n", "", TQDB_TABLES),
    (["-d", "oem", "--bogus", "-t"], "debug: unrecognized option '--bogus'\n", current(OEM), OEM_TABLES),
    (["-s"], "debug: option requires an argument -- 's'\n", "", TQDB_TABLES),
])
def test_unknown_option_ends_the_loop_and_prints_usage_with_tables(cam, args, getopt_says, before_usage, tables):
    r = cam.run("-M", "db", *args)
    assert (r.out, r.rc) == (current() + before_usage + USAGE + "DB table list: \n" + tables, 0)
    assert re.fullmatch(re.escape(getopt_says) + err("db_init_param", "Unknow option. \n"), r.err), r.err
    assert rows(cam, TQDB, "select count(*) from user") == [(3,)], "options after it are not acted on"


def test_help_prints_usage_current_file_and_table_list(cam):
    r = cam.run("-h", "db")
    assert (r.out, r.err, r.rc) == ("debug version: 1.2.0\n" + USAGE + "DB table list: \n" + current() + TQDB_TABLES,
                                    "", 0)


def test_eight_concurrent_writers_all_land(cam):
    r = cam.sh("for i in $(seq 8); do for j in 1 2 3; do "
               "debug -M db -e \"insert into alarm_log(time, type, chn, info) "
               "values(datetime('now'), 'test', 0, 'writer $i.$j')\"; done & done; wait")
    assert r.rc == 0 and r.err == "", r
    assert r.out.count("End execute: ") == 24
    got = sorted(i for (i,) in rows(cam, TQDB, "select info from alarm_log where type = 'test'"))
    assert got == sorted(f"writer {i}.{j}" for i in range(1, 9) for j in range(1, 4))


# Another process of the camera holds the lock file while it writes a row; the module's
# statement and query wait for it.
HOLDER = """
import fcntl, os, sqlite3, sys, time
fd = os.open('/tmp/db.fl', os.O_RDWR | os.O_CREAT)
fcntl.lockf(fd, fcntl.LOCK_EX)
open('/tmp/held', 'w').close()
time.sleep(0.6)
con = sqlite3.connect('/mnt/nand/tqdb.db')
con.execute("insert into alarm_log(time, type, chn, info) values('t', 'holder', 0, 'holder')")
con.commit()
con.close()
fcntl.lockf(fd, fcntl.LOCK_UN)
"""


def test_statement_and_query_wait_for_the_lock_file(cam):
    cam.write("/tmp/holder.py", HOLDER)
    r = cam.sh("python3 /tmp/holder.py & while [ ! -e /tmp/held ]; do sleep 0.05; done; "
               "debug -M db -e \"insert into alarm_log(time, type, chn, info) values('t', 'debug', 0, 'debug')\" "
               "-s \"select info from alarm_log where time = 't' order by id\"; wait")
    assert r.err == "" and r.rc == 0, r
    assert r.out.endswith("Query Result: \ninfo            \nholder\ndebug\n \n")


def test_lock_file_that_cannot_be_opened_is_reported_and_the_statement_runs(cam):
    cam.path("/tmp/db.fl").mkdir()
    r = cam.run("-M", "db", "-e", "delete from alarm_log")
    assert (r.out, r.rc) == (current() + "End execute: 'delete from alarm_log' \n", 0)
    assert re.fullmatch(err("db_file_lock", "lock file=[/tmp/db.fl] open failed: Is a directory. \n"), r.err)
    assert rows(cam, TQDB, "select count(*) from alarm_log") == [(0,)]


# SQLite gone from the camera (every copy the loader could find replaced by an empty
# file), for the host's program and the emulated AArch64 one alike.
NO_SQLITE = (": >/tmp/empty.so && for lib in /usr/lib/*/libsqlite3.so.0 /usr/aarch64-linux-gnu/lib/libsqlite3.so.0; "
             "do [ ! -e \"$lib\" ] || /bin/mount --bind /tmp/empty.so \"$lib\" || exit 1; done && ")


def without_sqlite(command):
    # The real kernel's commands share the guest's mounts: the binds get a namespace of their own.
    return f"unshare -m sh -c {shlex.quote(NO_SQLITE + command)}" if KERNEL else NO_SQLITE + command


def test_without_sqlite_only_the_database_calls_fail(cam):
    gpio = cam.run("-M", "gpio", "-r", "5")
    cam.path(OEM).unlink()
    r = cam.sh(without_sqlite("debug -M gpio -r 5"))
    assert (r.out, r.err, r.rc) == (gpio.out, gpio.err, 0)
    assert cam.path(OEM).read_bytes() == cam.path("/opt/app/oem.db").read_bytes(), "start-up copies without SQLite"

    why = re.escape("db: libsqlite3.so.0 cannot be loaded, so no database can be opened: ") + r"[^\n]+\n"
    failed = err("db_con_init", "db init failed. \n") + err("is_db_init", f"db=[{TQDB}] not init. \n")
    r = cam.sh(without_sqlite("debug -h db"))
    assert (r.out, r.rc) == ("debug version: 1.2.0\n" + USAGE + "DB table list: \n" + current() + current()
                             + "SQL: 'select name from sqlite_master where type='table' order by name;' Failed!! \n", 0)
    assert re.fullmatch(why + failed, r.err), r.err
    r = cam.sh(without_sqlite("debug -M db -e 'delete from user' -e 'delete from osd'"))
    assert (r.out, r.rc) == (current() + current() + "End execute: 'delete from user' \n"
                             + current() + "End execute: 'delete from osd' \n", 0)
    # Told once why; each action then reports its own failure as usual.
    assert re.fullmatch(why + failed + failed, r.err), r.err
    assert rows(cam, TQDB, "select count(*) from user") == [(3,)]
