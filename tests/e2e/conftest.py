# SPDX-License-Identifier: Apache-2.0
"""The simulated camera for end-to-end tests: the real program, run by sim/camera.

With DEBUG_CAMERA=kernel the same tests run on the real-kernel camera instead (Debian's
arm64 kernel under qemu, kernel/camera.py), booted once per run; tests marked sim_only
need a fault or fixture contents that no kernel gives, and are skipped there."""
import os
import pathlib
import re
import shlex
import shutil
import subprocess
import sys
import types

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
SIM = REPO / "sim" / "camera"
LAYOUT = REPO / "sim" / "layout"
KERNEL = os.environ.get("DEBUG_CAMERA") == "kernel"

# The camera's shell and tools (DEBUG_USERLAND): Debian's dash, coreutils and util-linux,
# or BusyBox's ash and applets. What the tools print themselves differs between them and
# is compared through this table; what the program prints is the same on both.
USERLAND = os.environ.get("DEBUG_USERLAND") or "debian"
TOOLS = {
    # the shell's `time` after a command; dd's total after its record counts (BusyBox's
    # says none); what mkdosfs says first (BusyBox's says nothing).
    "debian": types.SimpleNamespace(timed="elapsed", dd_total="134217728 bytes (134 MB, 128 MiB) copied",
                                    mkdosfs="mkfs.fat"),
    "busybox": types.SimpleNamespace(timed="\nreal\t", dd_total="", mkdosfs=""),
}[USERLAND]


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

    def take_line(self, n):
        """GPIO line N is another user's: the board offers it, but its export is refused."""
        shutil.rmtree(self.path(f"/sys/class/gpio/gpio{n}"))

    def refuse_channel(self, n):
        """PWM channel N is one the chip counts but refuses, its pin serving something else."""
        shutil.rmtree(self.path(f"/sys/class/pwm/pwmchip0/pwm{n}"))

    def take_away(self, folder):
        """A folder the board's kernel does not give, for the commands after."""
        shutil.rmtree(self.path(folder))

    def remove(self, device):
        """No device file at DEVICE, as when the board's device manager made none."""
        self.path(device).unlink(missing_ok=True)

    def without_proc(self, entry):
        """No /proc/ENTRY, as from a kernel built without what makes it."""
        self.path(f"/proc/{entry}").unlink()

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
def cam(camera_template, tmp_path, request):
    if KERNEL:
        return request.getfixturevalue("kernel_cam")
    root = tmp_path / "camera"
    shutil.copytree(camera_template, root, symlinks=True)
    return Camera(root)


def pytest_configure(config):
    config.addinivalue_line("markers", "uptime_lead(seconds): how long before a boundary the uptime fixture"
                            " starts the camera's clock (default 0.5)")
    config.addinivalue_line("markers", "sim_only(reason): needs what only the simulated camera gives")
    config.addinivalue_line("markers", "kernel_only(reason): needs what only the real-kernel camera gives")


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


class FifoLevels:
    """Every level written to some lines: each value file is a FIFO the test holds open
    at both ends, so the program's writes never block and nothing is lost."""

    def __init__(self, cam, lines):
        self.fds = {}
        for n in lines:
            value = cam.path(f"/sys/class/gpio/gpio{n}/value")
            value.unlink()
            os.mkfifo(value)
            r = os.open(value, os.O_RDONLY | os.O_NONBLOCK)
            self.fds[n] = (r, os.open(value, os.O_WRONLY))

    def levels(self, *lines):
        """Each line's levels written since the last look, e.g. "0101" (each line is
        looked at once)."""
        return [self._read(n) for n in lines]

    def _read(self, n):
        data = b""
        try:
            while chunk := os.read(self.fds[n][0], 65536):
                data += chunk
        except BlockingIOError:
            pass
        return data.decode().replace("\n", "")

    def close(self):
        for fds in self.fds.values():
            for fd in fds:
                os.close(fd)


class TraceLevels:
    """The same from the real kernel's GPIO trace events (kernel/guest/gpio-levels)."""

    def __init__(self, cam):
        self.guest = cam.guest
        self.guest.run("/kernel/gpio-levels start\n")

    def levels(self, *lines):
        out, err, rc = self.guest.run(f"/kernel/gpio-levels {' '.join(map(str, lines))}\n")
        assert rc == 0, err
        return out.decode().split("\n")[:len(lines)]


@pytest.fixture
def gpio_levels(cam):
    """gpio_levels(LINES) records every level the program writes to those lines from
    then on; .levels(*LINES) gives each one's, in order."""
    made = []

    def record(lines):
        if KERNEL:
            return TraceLevels(cam)
        made.append(FifoLevels(cam, lines))
        return made[-1]

    yield record
    for r in made:
        r.close()


def pytest_collection_modifyitems(config, items):
    if not KERNEL:
        for item in items:
            mark = item.get_closest_marker("kernel_only")
            if mark:
                item.add_marker(pytest.mark.skip(reason=f"real kernel only: {mark.args[0]}"))
        return
    for item in items:
        mark = item.get_closest_marker("sim_only")
        if mark:
            reason = mark.args[0] if mark.args else mark.kwargs.get("reason", "simulation only")
            item.add_marker(pytest.mark.skip(reason=f"simulation only: {reason}"))


def absolute(camera_path):
    """A path in the camera, however a test wrote it: "/dev/x" for "dev/x" or "/dev/x"."""
    return "/" + str(camera_path).lstrip("/")


class KernelCamera(Camera):
    """The real-kernel camera: the tree's folders (/mnt, /opt/app, /tmp, /var/run) are
    files on the host through 9p, the flash folders a copy of the guest's UBIFS volumes
    exchanged around each command; sysfs, /proc and /dev are the kernel's, read and
    written in the guest. A gpio line's value written from here is the level on its
    input pin (the mockup's debugfs file); the SD card is the image behind /dev/mmcblk0.
    The converter's raw files stay the tree's, as on the simulated camera: what a test
    writes or removes there is what the test driver converts to before the next command
    (kernel/guest/iio), and a script's write to one sets the driver's reading."""

    GPIO_LINE = re.compile(r"/sys/class/gpio/gpio(\d+)/(\w+)$")
    PWM_CHANNEL = re.compile(r"(/sys/class/pwm/pwmchip\d+)/pwm(\d+)/\w+$")
    PWM_REFUSED = "/sys/module/pwm_test/parameters/refused"
    CARD = re.compile(r"/dev/mmcblk(\d)")
    CONVERTER = "/sys/bus/iio/devices/iio:device0"
    CONVERTER_WRITE = re.compile(r">\s*" + re.escape(CONVERTER) + r"/(in_voltage\d+_raw)\b")

    def __init__(self, guest, name):
        super().__init__(guest.cams / name)
        self.guest = guest
        self.injected = set()
        self.held = set()  # lines another user holds during each command
        self.covered = set()  # kernel folders an empty file system covers during each command
        self.proc_entries = True  # False: /proc has the processes' entries alone during each command
        self.removed = set()  # device files gone from each command's start
        self.cards_seen = self.cards()
        # True: /tmp is in the guest's memory for each command, as Unix sockets need.
        self.local_tmp = False
        self.converter_seen = self.converter()

    def cards(self):
        """When each slot's card image was last written, to see which a test put in."""
        return [os.stat(image).st_mtime_ns for image in self.guest.sd]

    def converter(self):
        """What the tree's converter files hold, to see whether a test changed them."""
        state = []
        for p in sorted(super().path(self.CONVERTER).glob("*_raw")):
            try:
                state.append((p.name, p.read_bytes()))
            except OSError:
                state.append((p.name, None))  # a file that cannot be read: the conversion fails
        return state

    def path(self, camera_path):
        p = absolute(camera_path)
        m = self.CARD.fullmatch(p)
        if m and int(m.group(1)) < len(self.guest.sd):
            return self.guest.sd[int(m.group(1))]
        return self.guest.host_path(p) or super().path(p)

    def take_line(self, n):
        self.held.add(n)

    def refuse_channel(self, n):
        # The test chip's requests for it fail from now on (kernel/pwm-test.c).
        self.guest.run(f"echo $(($(cat {self.PWM_REFUSED}) | 1 << {n})) >{self.PWM_REFUSED}\n")

    def take_away(self, folder):
        # As a kernel built without it shows the folder: nothing in it.
        self.covered.add(folder)

    def without_proc(self, entry):
        # A /proc of the processes' entries alone: ENTRY is gone as from a kernel without
        # it, and so is every other entry but the processes'.
        self.proc_entries = False

    def remove(self, device):
        # Before each command (after the flash it asks for is made, which makes its
        # device files anew), kept aside for kernel/guest/use to put back.
        self.removed.add(device)

    def read(self, camera_path):
        if self.guest.host_path(camera_path) or absolute(camera_path) in self.injected:
            return super().read(camera_path)
        out, err, rc = self.guest.run(f"cat {shlex.quote(str(camera_path))}\n")
        if rc:
            raise OSError(err.decode("latin-1"))
        return out.decode("latin-1")

    def write(self, camera_path, data, mode=None):
        if self.guest.host_path(camera_path) or str(camera_path).startswith(self.CONVERTER + "/"):
            return super().write(camera_path, data, mode)
        p = absolute(camera_path)
        if p.startswith(("/proc/", "/dev/")):
            # Contents no kernel would give (counters that never move, a table cut short,
            # a plain file where a device should be): the file is the tree's, bound over
            # the kernel's for the commands after.
            self.injected.add(p)
            return super().write(camera_path, data, mode)
        if isinstance(data, str):
            data = data.encode("latin-1")
        script = f"cat >{shlex.quote(str(camera_path))}\n"
        m = self.GPIO_LINE.match(str(camera_path))
        if m:
            # The board's lines and channels all exist; set up here, they are exported first.
            n = m.group(1)
            script = f"[ -e /sys/class/gpio/gpio{n} ] || echo {n} >/sys/class/gpio/export\n"
            if m.group(2) == "value":
                script += f"/kernel/gpio-pull {n}\n"
                self.guest.pulls.add(int(n))
            else:
                script += f"cat >/sys/class/gpio/gpio{n}/{m.group(2)}\n"
        m = self.PWM_CHANNEL.match(str(camera_path))
        if m:
            script = f"[ -e {m.group(1)}/pwm{m.group(2)} ] || echo {m.group(2)} >{m.group(1)}/export\n" + script
        _, err, rc = self.guest.run(script, stdin=data)
        if rc:
            raise OSError(err.decode("latin-1"))
        return self.path(camera_path)

    # The partitions' first erase blocks on the simulated chip (kernel/mtdparts).
    MTD_FIRST_BLOCK = {"mtd0": 0, "mtd1": 8, "mtd2": 40, "mtd3": 168, "mtd4": 248, "mtd5": 288}
    MTD_SHIM = re.compile(r"(?:ASAN_OPTIONS=\S+ )?MTD_SHIM='([^']*)' LD_PRELOAD=\S+ ")

    def bad_blocks(self, script):
        """The flash bad blocks the simulation's preloaded shim would answer, made real:
        nandsim reloaded with them (each "mtdN@OFFSET" of MTD_SHIM), and a block whose
        request fails ("mtdN!OFFSET") failing in the NAND core (kernel/nand-fault.c);
        the shim dropped."""
        m = self.MTD_SHIM.search(script)
        if not m:
            return script
        blocks, failing = [], []
        for entry in filter(None, m.group(1).split(",")):
            part, kind, offset = re.fullmatch(r"(mtd\d)([@!])(\w+)", entry).groups()
            (blocks if kind == "@" else failing).append(self.MTD_FIRST_BLOCK[part] + int(offset, 0) // 0x20000)
        self.guest.badblocks = ",".join(map(str, sorted(blocks)))
        fault = f"echo {failing[0]} >/sys/module/nand/parameters/failing_block\n" if failing else ""
        assert len(failing) <= 1, "the NAND core fails one block's requests at most"
        self.guest.run(f"/kernel/nand '{self.guest.badblocks}'\n{fault}")
        return script[:m.start()] + script[m.end():]

    def exec(self, argv, input=None, timeout=60):
        self.guest.follow_userland()
        if argv[:2] == ["bash", "-c"]:
            script, writes = self.CONVERTER_WRITE.subn(r">/sys/kernel/debug/iio-test/\1", self.bad_blocks(argv[2]))
            argv = [*argv[:2], script, *argv[3:]]
            self.guest.converter_kept &= not writes
        script = ""
        written = [n for n, (now, seen) in enumerate(zip(self.cards(), self.cards_seen)) if now != seen]
        if written:
            script = self.guest.cards_in(written)
            self.guest.card_in = True
        for d in map(shlex.quote, sorted(self.removed)):
            script += f"if [ -e {d} ] || [ -L {d} ]; then mkdir -p /kernel/removed && cp -a {d} /kernel/removed/ && rm {d}; fi\n"
        if self.converter() != self.converter_seen:
            script += f"/kernel/iio set {self.guest.current}\n"
            self.converter_seen = self.converter()
            self.guest.converter_kept = False
        if self.uptime is not None:
            argv = ["/kernel/uptime", str(self.uptime), *argv]
        if self.held:
            argv = ["/kernel/hold-line", *map(str, sorted(self.held)), "--", *argv]
        if self.injected or self.covered or not self.proc_entries:
            mounts = [f"mount --bind /share/cams/{self.root.name}{p} {p}" for p in sorted(self.injected)]
            mounts += [f"mount -t tmpfs none {p}" for p in sorted(self.covered)]
            mounts += [] if self.proc_entries else ["mount -t proc -o subset=pid proc /proc"]
            argv = ["unshare", "-m", "sh", "-c", " && ".join([*mounts, 'exec "$@"']), "-", *argv]
        script += "exec " + " ".join(shlex.quote(str(a)) for a in argv) + "\n"
        out, err, rc = self.guest.run(script, stdin=input, timeout=timeout, sync=True, local_tmp=self.local_tmp)
        self.cards_seen = self.cards()
        return Result(types.SimpleNamespace(stdout=out, stderr=err, returncode=rc))


@pytest.fixture(scope="session")
def kernel_guest():
    sys.path.insert(0, str(REPO / "kernel"))
    import camera
    guest = camera.Guest()
    yield guest
    guest.close()


@pytest.fixture
def kernel_cam(request, camera_template):
    guest = request.getfixturevalue("kernel_guest")
    # Every test's tree in one place, refilled: the guest's binds of it stay.
    guest.use("cam", kept=guest.refill("cam", camera_template))
    return KernelCamera(guest, "cam")
