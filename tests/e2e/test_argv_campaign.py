# SPDX-License-Identifier: Apache-2.0
"""Random and mutated command lines against the program in the simulated camera.

Every vector must end with status 0 or 255, without a signal, without a sanitizer
report, and, where it runs on (monitors, endurance loops, waits, fills, moves), must
end within a grace period after a Ctrl-C sent to its process group when it has run
for a while. The normal suite runs a few vectors from a fixed seed; a campaign runs
many, e.g. on the sanitizer build:

    cd tests/e2e && DEBUG_BIN=$PWD/../../build/asan/bin/debug DEBUG_ARGV_VECTORS=3000 \\
        DEBUG_ARGV_SEED=random /usr/bin/python3 -m pytest -q -s test_argv_campaign.py

One camera run carries all vectors: a small runner inside it starts each in turn, so
the namespace is set up once.
"""
import json
import os
import pathlib
import random
import shlex

REPO = pathlib.Path(__file__).resolve().parents[2]
SEEDS = REPO / "fuzz" / "seeds"

VECTORS = int(os.environ.get("DEBUG_ARGV_VECTORS", "100"))
SEED = os.environ.get("DEBUG_ARGV_SEED", "9")
RUN_SECONDS = float(os.environ.get("DEBUG_ARGV_RUN_SECONDS", "1.5"))
GRACE_SECONDS = 2.0
# A lens move is not cut short by a Ctrl-C: the stepper finishes it (at most the focus
# travel, 6764 half steps; many times slower in the camera's sysfs than on the board).
MOTOR_GRACE_SECONDS = 30.0

MODULES = ["adc", "gpio", "pwm", "ptz", "cpu", "motor", "sdmmc", "db", "ir", "wifi", "media", "pt", "mtd",
           "extdrv"]

# Values that have broken parsers elsewhere: empty, signs, limits of 32 and 64 bits,
# bases, blanks, format directives, long and non-ASCII text. Paths stay inside the
# camera's own writable tree.
ODD_VALUES = [
    "", "-", "--", "-1", "0", "1", "2", "00", "08", "0x", "0x0", "0xffffffff", "0x100000000", "2147483647",
    "2147483648", "-2147483648", "-2147483649", "4294967295", "4294967296", "18446744073709551615",
    "18446744073709551616", "99999999999999999999999", "1e3", " 7", "7 ", "+5", "3abc", "%s%s%s%s%n", "%x%p",
    "A" * 63, "B" * 64, "C" * 300, "D" * 5000, "\xff\xfe\x80", "\u00e9\u00e8", "\t", "\n", "'", "\"", ";",
    "/tmp/argv.log", "/tmp/nodir/x.log", "/mnt/nand/debug.log", "tqdb", "oem", "select 1;", "select * from nothing;",
]


def seed_lines():
    """The fuzzers' seed command lines, by module: valid use and a few rejections."""
    lines = {}
    for path in SEEDS.glob("parse_*"):
        module = path.name[len("parse_"):]
        words = [shlex.split(line) for line in path.read_text().splitlines() if line.strip()]
        for m in (["pt", "extdrv"] if module == "drvboard" else [module]):
            lines[m] = words
    return lines


def option_tokens(lines):
    return sorted({w for ws in lines.values() for line in ws for w in line if w.startswith("-")})


def mutate(rng, argv, tokens):
    argv = list(argv)
    for _ in range(rng.randint(1, 3)):
        op = rng.randrange(9)
        i = rng.randrange(len(argv)) if argv else 0
        if op == 0 and argv:
            argv[i] = rng.choice(ODD_VALUES)
        elif op == 1:
            argv.insert(i, rng.choice(tokens + ODD_VALUES))
        elif op == 2 and argv:
            del argv[i]
        elif op == 3 and argv:
            argv[i:i + 1] = [argv[i]] * rng.randint(2, 40)
        elif op == 4 and len(argv) > 1:
            j = rng.randrange(len(argv))
            argv[i], argv[j] = argv[j], argv[i]
        elif op == 5 and argv and argv[i].startswith("--") and len(argv[i]) > 3:
            argv[i] = argv[i][:rng.randint(3, len(argv[i]) - 1)]
        elif op == 6 and argv and i + 1 < len(argv) and argv[i].startswith("-"):
            sep = "=" if argv[i].startswith("--") else ""
            argv[i:i + 2] = [argv[i] + sep + argv[i + 1]]
        elif op == 7:
            argv[i:i] = [rng.choice(["-M", "-h", "--module", "--help"]), rng.choice(MODULES + ODD_VALUES)]
        elif op == 8:
            argv.append(rng.choice(tokens))
    return argv


def vectors(count, seed):
    rng = random.Random(seed)
    lines = seed_lines()
    tokens = option_tokens(lines)
    out = []
    for n in range(count):
        module = rng.choice(MODULES)
        kind = n % 4
        if kind == 0:
            # A valid or seed command line as it stands.
            argv = ["-M", module, *rng.choice(lines[module])]
        elif kind == 3:
            # Words drawn at random, module chosen or not.
            argv = [rng.choice(tokens + ODD_VALUES) for _ in range(rng.randint(0, 8))]
            if rng.random() < 0.8:
                argv[0:0] = [rng.choice(["-M", "-h"]), module]
        else:
            argv = mutate(rng, ["-M", module, *rng.choice(lines[module])], tokens)
        out.append(argv)
    return out


# Runs inside the camera: each vector in a session of its own, stopped the way a
# technician stops it when it runs on (Ctrl-C to the foreground group), killed only
# when that does not end it.
RUNNER = r'''
import json, os, signal, subprocess, sys, time
vectors = json.load(open(sys.argv[1]))
run_s = float(sys.argv[3])
# Added to what the camera sets (the kernel shim asks the sanitizer not to insist on
# coming first), not in place of it.
asan = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), "detect_leaks=0:abort_on_error=0"]))
env = dict(os.environ, ASAN_OPTIONS=asan, UBSAN_OPTIONS="print_stacktrace=1")
results = []
for argv, grace in vectors:
    args = [b"debug"] + [a.encode("latin-1") for a in argv]
    start = time.monotonic()
    p = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         start_new_session=True, env=env, cwd="/tmp")
    stopped = hung = False
    try:
        _, err = p.communicate(timeout=run_s)
    except subprocess.TimeoutExpired:
        stopped = True
        os.killpg(p.pid, signal.SIGINT)
        try:
            _, err = p.communicate(timeout=grace)
        except subprocess.TimeoutExpired:
            hung = True
            os.killpg(p.pid, signal.SIGKILL)
            _, err = p.communicate()
    try:
        os.killpg(p.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    results.append({"rc": p.returncode, "stopped": stopped, "hung": hung,
                    "secs": round(time.monotonic() - start, 3), "err": err[-4000:].decode("latin-1")})
json.dump(results, open(sys.argv[2], "w"))
'''

SANITIZER_MARKS = ["AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer", "runtime error:"]


def faults(argv, r):
    found = []
    if r["hung"]:
        found.append("still running after Ctrl-C")
    elif r["rc"] not in (0, 255):
        found.append(f"status {r['rc']}")
    if any(mark in r["err"] for mark in SANITIZER_MARKS):
        found.append("sanitizer report")
    return found


def test_no_command_line_crashes_hangs_or_trips_a_sanitizer(cam):
    seed = str(random.randrange(1 << 30)) if SEED == "random" else SEED
    vecs = vectors(VECTORS, seed)
    graces = [MOTOR_GRACE_SECONDS if "motor" in argv else GRACE_SECONDS for argv in vecs]
    cam.write("/tmp/argv-vectors.json", json.dumps(list(zip(vecs, graces))))
    cam.write("/tmp/argv-runner.py", RUNNER)
    # A small card, so that the SD-card actions get past detection.
    with open(cam.path("/dev/mmcblk0"), "wb") as card:
        card.truncate(16 << 20)
    timeout = VECTORS * RUN_SECONDS + sum(graces) + 120
    r = cam.exec(["/usr/bin/python3", "/tmp/argv-runner.py", "/tmp/argv-vectors.json", "/tmp/argv-results.json",
                  str(RUN_SECONDS)], timeout=timeout)
    assert r.rc == 0, r
    results = json.loads(cam.read("/tmp/argv-results.json"))
    assert len(results) == len(vecs)

    bad = [(argv, res, faults(argv, res)) for argv, res in zip(vecs, results) if faults(argv, res)]
    statuses = {}
    for res in results:
        statuses[res["rc"]] = statuses.get(res["rc"], 0) + 1
    print(f"\nargv campaign: seed {seed}, {len(vecs)} vectors, statuses {statuses}, "
          f"{sum(res['stopped'] for res in results)} stopped by Ctrl-C, "
          f"{sum(res['secs'] for res in results):.0f} s, {len(bad)} faulty")
    report = "\n".join(f"debug {shlex.join(argv)}: {', '.join(why)}\n{res['err'][-1500:]}"
                       for argv, res, why in bad[:10])
    assert not bad, f"seed {seed}:\n{report}"
