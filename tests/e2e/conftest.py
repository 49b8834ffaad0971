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


# Durations are taken inside the camera, around the program alone: the simulator's
# set-up (namespaces, mounts, a daemon a test starts) is the test bed's time, and on a
# loaded machine it takes seconds. In a script run by Camera.timed, `lap` notes the
# clock (bash's own, no child process); the laps come back as seconds between them.
LAP = 'lap() { echo "${EPOCHREALTIME/[.,]/}" >>/tmp/laps; }; export -f lap; rm -f /tmp/laps\n'


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
        # What the monotonic and boot-time clocks read when a command starts (seconds);
        # None: the machine's own.
        self.uptime = None

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
        uptime = [] if self.uptime is None else ["--uptime", str(self.uptime)]
        cmd = [str(SIM), "--root", str(self.root), "--bin", program(),
               "--runner", os.environ.get("DEBUG_RUNNER", ""), *uptime, "--", *argv]
        proc = subprocess.run(cmd, input=input, capture_output=True, timeout=timeout)
        return Result(proc)

    def run(self, *args, input=None, timeout=60):
        """debug ARGS on the camera."""
        return self.exec(["debug", *map(str, args)], input=input, timeout=timeout)

    def sh(self, script, timeout=60):
        """A shell script on the camera (debug and the simulator's tools on PATH)."""
        return self.exec(["bash", "-c", script], timeout=timeout)

    def timed(self, script, timeout=60):
        """A shell script that marks moments with `lap`; the result and the seconds
        from each lap to the next."""
        r = self.sh(LAP + script, timeout=timeout)
        return r, self.laps()

    def laps(self):
        """The seconds from each lap to the next in the last timed script."""
        marks = [int(m) for m in self.read("/tmp/laps").split()] if self.path("/tmp/laps").exists() else []
        return [(b - a) / 1e6 for a, b in zip(marks, marks[1:])]

    def run_timed(self, *args, timeout=60):
        """debug ARGS on the camera, and the seconds from its start to its end."""
        line = " ".join(shlex.quote(str(a)) for a in args)
        r, laps = self.timed(f"lap; debug {line}; rc=$?; lap; exit $rc", timeout=timeout)
        return r, laps[0]

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


def pytest_configure(config):
    config.addinivalue_line("markers", "uptime_lead(seconds): how long before a boundary the uptime fixture"
                            " starts the camera's clock (default 0.5)")


# The monotonic clock's millisecond count passes 2^31 after 24.8 days of uptime and 2^32
# after 49.7 days; cameras run for months. A test that takes this fixture runs on a
# freshly booted camera and again with the clock passing each boundary during the run,
# and expects the same. The camera's clock starts short of the boundary by the test's
# uptime_lead: early enough that what the program does first (a deadline it sets) falls
# before the boundary, late enough that the boundary comes before the program ends.
@pytest.fixture(params=[None, 1 << 31, 1 << 32], ids=["boot", "2^31ms", "2^32ms"])
def uptime(request, cam):
    if request.param is not None:
        marker = request.node.get_closest_marker("uptime_lead")
        cam.uptime = request.param / 1000 - (marker.args[0] if marker else 0.5)
    return request.param
