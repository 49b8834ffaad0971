# SPDX-License-Identifier: Apache-2.0
"""The manual page and the bash completion that the build generates from the option
tables: the page renders without warnings, the completion works in an interactive bash."""
import os
import pathlib
import re
import shutil
import subprocess
import time

import pytest

DOC = pathlib.Path(os.environ.get("DEBUG_DOC_DIR", pathlib.Path(__file__).resolve().parents[2] / "build/default/doc"))
MAN = DOC / "debug.1"
COMPLETION = DOC / "debug.bash-completion"


def test_manual_renders_without_warnings_and_lists_every_module():
    r = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", str(MAN)], capture_output=True,
                       env={**os.environ, "MANWIDTH": "80", "MAN_KEEP_FORMATTING": "0"}, text=True)
    assert r.returncode == 0 and r.stderr == "", r.stderr
    text = subprocess.run(["col", "-b"], input=r.stdout, capture_output=True, text=True).stdout
    for module in ["adc", "gpio", "pwm", "ptz", "cpu", "motor", "sdmmc", "db",
                   "ir", "wifi", "media", "pt", "mtd", "extdrv"]:
        assert f"\n   {module}\n" in text, module
    assert "-r, --read [hex]" in text


MODULES = ["adc", "gpio", "pwm", "ptz", "cpu", "motor", "sdmmc", "db", "ir", "wifi", "media", "pt", "mtd", "extdrv"]
HELP_ROW = re.compile(r"(?:-(\w)  |    )--([^\t\[]+?)(?: \[([^\]]*)\])?\t+(.*)")
# What the manual adds after a module's help: for db in place of the tables its help
# lists from the camera's database, for sdmmc what the repair's lines mean.
MANUAL_ADDS = {"db": "(the tables of the current database file", "sdmmc": "A repair that corrects errors"}


def manual_sections():
    """Each module's section of `man debug` as text, its headings' indentation removed."""
    r = subprocess.run(["man", "-E", "UTF-8", "-l", str(MAN)], capture_output=True, check=True,
                       env={**os.environ, "MANWIDTH": "200", "MAN_KEEP_FORMATTING": "0"}, text=True)
    text = subprocess.run(["col", "-bx"], input=r.stdout, capture_output=True, text=True).stdout
    body = text.split("\nMODULES\n", 1)[1].split("\nEXIT STATUS\n", 1)[0]
    parts = re.split(r"^   (\w+)\n", body, flags=re.M)[1:]
    return {name: "\n".join(line[7:].rstrip() for line in part.split("\n")).strip("\n")
            for name, part in zip(parts[::2], parts[1::2])}


@pytest.mark.sim_only("reads the manual of the host build")
def test_manual_carries_each_modules_whole_help(cam):
    """What `debug -h MODULE` prints, word for word: its options as the manual lists
    them, then every line after the table as it stands."""
    sections = manual_sections()
    assert list(sections) == MODULES
    for module in MODULES:
        out = cam.run("-h", module).out
        _, table, after = out.split("*" * 80 + "\n")
        if module == "db":
            after = after[:after.index("DB table list: \n") + len("DB table list: \n")]
        rows = []
        for row in table.splitlines()[2:]:
            short, long, kind, help = HELP_ROW.fullmatch(row).groups()
            if long != "module":
                rows.append(f"{'-' + short + ', ' if short else ''}--{long}{' [' + kind + ']' if kind else ''} "
                            f"{help.strip() or '(no description)'}")
        text = "\n".join(line.expandtabs(8).rstrip() for line in after.splitlines()).strip("\n")
        section = sections[module]
        if module in MANUAL_ADDS:
            added = re.search(r"\s+".join(map(re.escape, MANUAL_ADDS[module].split())), section)
            section = section[:added.start()].rstrip()
        assert section.endswith(text), (module, section)
        listed = section[:len(section) - len(text)]
        assert " ".join(listed.split()) == " ".join(" ".join(rows).split()), module


def complete(line):
    """What the completion offers for the last word of a command line, in bash -i."""
    words = line.split(" ")
    script = (f"source {COMPLETION}; complete -p debug >/dev/null || exit 9; "
              f"COMP_WORDS=({' '.join(repr(w) for w in words)}); COMP_CWORD={len(words) - 1}; "
              "_debug; printf '%s\\n' \"${COMPREPLY[@]}\"")
    r = subprocess.run(["bash", "--norc", "--noprofile", "-i", "-c", script], capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    return r.stdout.split()


@pytest.mark.parametrize("line, offered", [
    ("debug -M g", ["gpio"]),
    ("debug --help p", ["pwm", "ptz", "pt"]),
    ("debug -h ", ["adc", "gpio", "pwm", "ptz", "cpu", "motor", "sdmmc", "db",
                   "ir", "wifi", "media", "pt", "mtd", "extdrv"]),
    ("debug -M gpio --re", ["--read"]),
    ("debug -M gpio -", ["-M", "--module", "-r", "--read", "-w", "--write", "-d", "--data",
                         "-t", "--time", "-D", "--delay", "-p", "--input_config"]),
    ("debug -M media --vi", ["--vi", "--video"]),
    ("debug --", ["--module", "--help"]),
])
def test_completion_offers_modules_and_their_options(line, offered):
    assert sorted(complete(line)) == sorted(offered)


@pytest.mark.skipif(shutil.which("tmux") is None, reason="needs tmux")
def test_completion_in_a_terminal(tmp_path):
    """A technician's Tab in a real terminal, through tmux."""
    sock = str(tmp_path / "tmux.sock")
    tmux = ["tmux", "-S", sock]
    subprocess.run([*tmux, "new-session", "-d", "-x", "120", "-y", "10", "bash --norc --noprofile"], check=True)
    try:
        subprocess.run([*tmux, "send-keys", f"source {COMPLETION}; clear", "Enter"], check=True)
        subprocess.run([*tmux, "send-keys", "debug -M gp", "Tab", "--wr", "Tab"], check=True)
        deadline = time.time() + 10
        while time.time() < deadline:
            screen = subprocess.run([*tmux, "capture-pane", "-p"], capture_output=True, text=True).stdout
            if "debug -M gpio --write" in screen:
                break
            time.sleep(0.1)
        assert "debug -M gpio --write" in screen
    finally:
        subprocess.run([*tmux, "kill-server"])
