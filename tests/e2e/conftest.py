"""The simulated camera for end-to-end tests: the real program, run by sim/camera."""
import os
import pathlib
import shlex
import shutil
import subprocess

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
SIM = REPO / "sim" / "camera"
LAYOUT = REPO / "sim" / "layout"


def program():
    return os.environ.get("DEBUG_BIN") or str(REPO / "build" / "default" / "bin" / "debug")


class Result:
    """What a run left: standard output and error as text (byte for byte), the status."""

    def __init__(self, proc):
        self.out = proc.stdout.decode("latin-1")
        self.err = proc.stderr.decode("latin-1")
        self.rc = proc.returncode

    def __repr__(self):
        return f"Result(rc={self.rc}, out={self.out!r}, err={self.err!r})"


class Camera:
    """One camera tree in a folder; every run is a fresh namespace over it."""

    def __init__(self, root):
        self.root = pathlib.Path(root)

    def path(self, camera_path):
        """The host path of a path on the camera."""
        return self.root / str(camera_path).lstrip("/")

    def write(self, camera_path, data, mode=None):
        p = self.path(camera_path)
        p.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(data, str):
            data = data.encode("latin-1")
        p.write_bytes(data)
        if mode is not None:
            p.chmod(mode)
        return p

    def read(self, camera_path):
        return self.path(camera_path).read_bytes().decode("latin-1")

    def exec(self, argv, input=None, timeout=60):
        cmd = [str(SIM), "--root", str(self.root), "--bin", program(),
               "--runner", os.environ.get("DEBUG_RUNNER", ""), "--", *argv]
        proc = subprocess.run(cmd, input=input, capture_output=True, timeout=timeout)
        return Result(proc)

    def run(self, *args, input=None, timeout=60):
        """debug ARGS on the camera."""
        return self.exec(["debug", *map(str, args)], input=input, timeout=timeout)

    def sh(self, script, timeout=60):
        """A shell script on the camera (debug and the simulator's tools on PATH)."""
        return self.exec(["bash", "-c", script], timeout=timeout)

    def interrupt(self, *args, after=0.5, sig="INT", timeout=60):
        """debug ARGS, ended by a signal after some seconds, as a technician's Ctrl-C."""
        line = " ".join(shlex.quote(str(a)) for a in args)
        return self.sh(f"debug {line} & pid=$!; sleep {after}; kill -{sig} $pid; wait $pid", timeout=timeout)


@pytest.fixture(scope="session")
def camera_template(tmp_path_factory):
    template = tmp_path_factory.mktemp("template") / "camera"
    subprocess.run([str(LAYOUT), str(template)], check=True)
    return template


@pytest.fixture
def cam(camera_template, tmp_path):
    root = tmp_path / "camera"
    shutil.copytree(camera_template, root, symlinks=True)
    return Camera(root)
