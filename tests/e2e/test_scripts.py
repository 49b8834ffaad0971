# SPDX-License-Identifier: Apache-2.0
"""The commands a newcomer runs first, on a fresh clone: no build/, no package. The
build tools and the boot are stubs that leave what the real ones would (a program, a
package) and say what they were asked; what is tested is the script around them."""
import os
import pathlib
import subprocess

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]

STUBS = {
    # cmake --preset P makes build/P's cache; cmake --build DIR makes its program.
    "cmake": 'case $1 in --preset) mkdir -p build/$2 && touch build/$2/CMakeCache.txt ;;\n'
             '  --build) mkdir -p $2/bin && touch $2/bin/debug && chmod +x $2/bin/debug ;; esac\n',
    "cpack": "touch debug_1.2.0_arm64.deb\n",
    "python3": 'case $1 in */kernel/camera.py) shift; echo "booted with: $*"; exit 0 ;; esac\n'
               'exec /usr/bin/python3 "$@"\n',
}


@pytest.fixture
def clone(tmp_path):
    """A fresh clone of the committed tree, stubs first on PATH."""
    top = tmp_path / "clone"
    subprocess.run(["git", "clone", "-q", str(REPO), str(top)], check=True)
    stubs = tmp_path / "stubs"
    stubs.mkdir()
    for name, body in STUBS.items():
        (stubs / name).write_text("#!/bin/bash\n" + body)
        (stubs / name).chmod(0o755)
    env = {**os.environ, "PATH": f"{stubs}:{os.environ['PATH']}"}
    return top, env


def test_kernel_builds_packages_and_boots_on_a_fresh_clone_and_again(clone):
    top, env = clone
    runs = [subprocess.run([str(top / "scripts/kernel"), "-M", "gpio", "-r", "5"], cwd=top, env=env,
                           capture_output=True, text=True) for _ in range(2)]
    assert [(r.returncode, r.stdout) for r in runs] == [(0, "booted with: -M gpio -r 5\n")] * 2, runs
    assert runs[0].stderr == ("scripts/kernel: building the program first (aarch64 preset, build/aarch64)\n"
                              "scripts/kernel: packaging the camera program (cpack, build/aarch64)\n")
    assert runs[1].stderr == ""


@pytest.mark.parametrize("script", ["sim", "kernel"])
def test_help_is_one_screen_and_builds_nothing(clone, script):
    top, env = clone
    r = subprocess.run([str(top / "scripts" / script), "--help"], cwd=top, env=env, capture_output=True,
                       text=True)
    lines = r.stdout.splitlines()
    assert (r.returncode, r.stderr) == (0, ""), r
    assert len(lines) <= 24 and max(map(len, lines)) <= 100, r.stdout
    assert not (top / "build").exists()
