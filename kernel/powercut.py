# SPDX-License-Identifier: Apache-2.0
"""scripts/powercut: the flash's power cut at random points while the program writes to
it, on the real-kernel camera (kernel/camera.py, booted once). Each round starts from
the fresh tree, runs a scenario's commands under kernel/guest/powercut, mounts the flash
again and checks it (kernel/guest/cutcheck). Prints one table; exits 1 when anything
the program had reported done was lost or damaged.

    python3 powercut.py [N]
"""
import shlex
import subprocess
import sys
import time

import camera

# The 100-line statement file for `db -f`, each line tagged with its run (@).
STATEMENTS = "".join(f"insert into oem_info(name, value) values('@.{k}', 'cut');\n" for k in range(100))
DB = r"""
printf '%s' "$STATEMENTS" >/tmp/cut/stmts
/kernel/powercut -w 2000 '
for p in 1 2 3 4; do
    (i=0; while :; do
        o=$(debug -M db -e "insert into alarm_log(time, type, chn, info) values(0, '\''cut'\'', 0, '\''e$p.$i'\'')" 2>&1)
        [[ $o == *"End execute"* && $o != *failed* ]] && echo "e$p.$i" >>/tmp/cut/acks.$p
        i=$((i + 1))
    done) &
done
(i=0; while :; do
    sed "s/@/f$i/" /tmp/cut/stmts >/tmp/cut/f.sql
    o=$(debug -M db -d oem -f /tmp/cut/f.sql 2>&1)
    [[ $o != *failed* && $o != *ERROR* ]] && echo "f$i" >>/tmp/cut/facks
    i=$((i + 1))
done) &
wait'
"""
COPY = r"""
/kernel/powercut -w 2000 'while :; do rm -f /mnt/nand/tqdb.db; debug -h nosuch >/dev/null 2>&1; done'
"""
LOG = r"""
/kernel/powercut -w 2000 'for p in 1 2 3 4; do (while :; do debug -M ir -t 1 -d 10 >>/tmp/cut/out.$p 2>&1; done) & done; wait'
"""
# The cut as soon as the run that printed the record has ended.
IR = r"""
/kernel/powercut -w 100000 'debug -M ir -t 1 -d 10 >>/tmp/cut/out.1 2>&1'
"""
SCENARIOS = [("db -e x4, db -f", DB, "db"), ("start-up copy", COPY, "copy"),
             ("shared log x4", LOG, "log"), ("IR result record", IR, "log")]
COLUMNS = ["cuts", "recovered", "corrupt db", "torn copies", "torn log records", "acked lost"]
KEYS = ["corrupt", "torn", "logtorn", "lost"]


def main(argv):
    rounds = int(argv[0]) if argv else 100
    started = time.monotonic()
    g = camera.Guest()
    totals = []
    try:
        tree = g.cams / "main"
        tree.mkdir()
        subprocess.run([str(camera.REPO / "sim" / "layout"), str(tree)], check=True)
        g.use("main")
        for title, script, check in SCENARIOS:
            row = dict(cuts=0, recovered=0, acked=0, **{k: 0 for k in KEYS})
            for _ in range(rounds):
                out, err, rc = g.run("/kernel/flash fill main\nrm -rf /tmp/cut && mkdir /tmp/cut\n"
                                     f"export STATEMENTS={shlex.quote(STATEMENTS)}\n{script}"
                                     f"/kernel/cutcheck {check}\n", timeout=120)
                row["cuts"] += 1
                text = out.decode()
                if "; recovered" not in text:
                    print(f"powercut: {title}: the flash did not mount again:\n{text}{err.decode()}",
                          file=sys.stderr)
                    continue
                row["recovered"] += 1
                found = dict(kv.split("=") for kv in text.strip().splitlines()[-1].split())
                for k in KEYS + ["acked"]:
                    row[k] += int(found[k])
                if any(int(found[k]) for k in KEYS):
                    print(f"powercut: {title}: {text.strip().splitlines()[-2]}: {text.strip().splitlines()[-1]}",
                          file=sys.stderr)
            totals.append((title, row))
    finally:
        g.close()
    width = max(len(t) for t, _ in totals)
    print(" " * width + "  " + "  ".join(COLUMNS))
    for title, row in totals:
        cells = [row["cuts"], row["recovered"], *(row[k] for k in KEYS)]
        print(title.ljust(width) + "  " + "  ".join(str(c).rjust(len(h)) for c, h in zip(cells, COLUMNS)))
    print(f"{rounds} cuts per scenario in {time.monotonic() - started:.0f} s; reported done before the cuts: "
          + ", ".join(f"{row['acked']} ({title})" for title, row in totals if row["acked"]))
    for title, row in totals:
        if row["acked"] == 0 and title != "start-up copy":
            print(f"powercut: {title}: nothing was reported done before a cut, so nothing was proven",
                  file=sys.stderr)
    bad = any(row["recovered"] < row["cuts"] or any(row[k] for k in KEYS) for _, row in totals)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
