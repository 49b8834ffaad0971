# SPDX-License-Identifier: Apache-2.0
"""The real-kernel test camera, seen from the host: Debian's arm64 kernel under
qemu-system-aarch64 with the camera's devices from real drivers, the program unpacked
from its .deb, and an agent in the guest that runs one shell script at a time.

Files go in and out through a 9p share: the camera trees (/mnt, /opt/app, /tmp,
/var/run) live in share/cams/NAME on the host and are bound in place in the guest. The
flash folders /mnt/nand and /mnt/nand2 are UBIFS volumes on the simulated raw NAND
instead (kernel/guest/flash), filled from the tree; for a run that asks, what the host
changed there goes in before it and what the guest holds comes back after it.
The SD cards are raw images on the host (sdN.img, one a slot), the PTZ port's host end
is relayed to sim/tools/ptz-head when a script in the guest starts `ptz-head`.
"""
import glob
import gzip
import json
import os
import pathlib
import select
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = pathlib.Path(__file__).resolve().parent
REPO = HERE.parent
# A card's size when the camera boots (QEMU wants a power of two then); a card of
# another size goes in as a new medium (Guest.cards_in).
SD_SIZE = 64 << 20
# The board's card slots, as many as the program looks for (/dev/mmcblk0 to 3).
SD_SLOTS = 4
# A boot takes seconds, tens of them with both cores busy; past this it is tried again.
BOOT_WAIT = 60
# Where the camera tree's folders are in the guest; everything else is the kernel's.
TREE = ("mnt", "opt/app", "tmp", "var/run")
FLASH = ("mnt/nand", "mnt/nand2")


def cache():
    """Builds what is missing (kernel, drivers, base root) and returns the cache folder:
    $DEBUG_KERNEL_BUILT when the caller built it already (each of a run's cameras
    would ask apt again, seconds of the cores' time as they all boot)."""
    if os.environ.get("DEBUG_KERNEL_BUILT"):
        return pathlib.Path(os.environ["DEBUG_KERNEL_BUILT"])
    out = subprocess.run([str(HERE / "build")], check=True, stdout=subprocess.PIPE, text=True)
    return pathlib.Path(out.stdout.strip().splitlines()[-1])


def userland():
    """The camera's shell and tools: "debian" (dash, coreutils, util-linux) or "busybox"
    (ash and its applets), from $DEBUG_USERLAND."""
    name = os.environ.get("DEBUG_USERLAND") or "debian"
    if name not in ("debian", "busybox"):
        raise SystemExit(f"DEBUG_USERLAND={name}: debian or busybox")
    return name


def package():
    """The camera program's arm64 .deb: $DEBUG_DEB, or the newest one CPack made."""
    if os.environ.get("DEBUG_DEB"):
        return pathlib.Path(os.environ["DEBUG_DEB"])
    debs = sorted(glob.glob(str(REPO / "build" / "aarch64" / "*_arm64.deb")), key=os.path.getmtime)
    if not debs:
        raise SystemExit("no arm64 package: cmake --preset aarch64 && cmake --build --preset aarch64"
                         " && (cd build/aarch64 && cpack)")
    return pathlib.Path(debs[-1])


class Guest:
    def __init__(self, shell=False, console=None):
        self.kernel = cache()
        self.run_dir = pathlib.Path(tempfile.mkdtemp(prefix="debug-kernel-"))
        self.share = self.run_dir / "share"
        self.ctl = self.share / "ctl"
        self.cams = self.share / "cams"
        self.ctl.mkdir(parents=True)
        self.cams.mkdir()
        self.sd = [self.run_dir / f"sd{n}.img" for n in range(SD_SLOTS)]
        self._boot_cards()
        self.current = None
        self.flash_seen = None  # the host's copy of the flash folders after the last exchange
        self.flash_changed = False  # a command ran since the guest's flash was last brought back
        self.badblocks = ""
        # What the last tree's test changed of the board, for use() to undo no more than
        # that (each step costs tens of milliseconds under emulation, for every test):
        # the lines whose input level it set (None: any), whether the converter still
        # reads what a fresh tree says and whether a card went in.
        self.pulls = None
        self.converter_kept = False
        self.card_in = True
        self.refilled = {}  # each refilled tree's template and entries as refill() left them
        self.templates = {}  # a number for each template, which the guest keeps (kernel/guest/use FROM)
        self.fresh = None  # the tree refill() just made, and its template's number
        self.seq = 0
        self.head = None  # the host's head process, and the name of its exchange files
        self.head_files = None
        self.head_lock = threading.Lock()  # the bridge's head against use()'s clean-up
        self.served = set()  # requests (head.ID.start) the bridge has answered
        self.pending = bytearray()
        self.stopping = False
        self.shell = shell
        # The userland the camera boots with, and the one its commands have now: a test
        # can run some under the other (follow_userland).
        self.userland = self.userland_now = userland()
        self.console = console or os.environ.get("DEBUG_KERNEL_CONSOLE") or self.run_dir / "console.log"
        self.initrd = self._initrd()
        self._boot()

    def _boot(self, tries=3):
        sock = self.run_dir / "agent.sock"
        ptz = self.run_dir / "ptz.sock"
        # No KASLR seed in the device tree, as a camera's boot loader gives none: with one,
        # the kernel forces page table isolation on, whose address-space switch at every
        # system call and interrupt makes the emulated camera about half as fast.
        cmd = ["qemu-system-aarch64", "-M", "virt,dtb-kaslr-seed=off", "-cpu", "cortex-a53", "-smp", "1",
               "-m", "512M", "-nographic", "-no-reboot", "-nic", "none",
               "-kernel", str(self.kernel / "vmlinuz"), "-initrd", str(self.initrd),
               "-append", "console=ttyAMA0 quiet panic=-1" + (" debug.shell" if self.shell else "")
               + f" debug.userland={self.userland}",
               "-fsdev", f"local,id=fs,path={self.share},security_model=none",
               "-device", "virtio-9p-pci,fsdev=fs,mount_tag=share",
               "-device", "virtio-serial-pci",
               "-chardev", f"socket,id=agent,path={sock},server=on,wait=off",
               "-device", "virtserialport,chardev=agent,name=agent",
               *(a for n, image in enumerate(self.sd) for a in (
                   "-device", "sdhci-pci", "-drive", f"if=none,id=card{n},format=raw,file={image}",
                   "-device", f"sd-card,drive=card{n}")),
               "-chardev", f"socket,id=ptz,path={ptz},server=on,wait=off",
               "-device", "pci-serial,chardev=ptz"]
        if self.shell:
            cmd += ["-serial", "mon:stdio"]
            self.cams.joinpath("main").mkdir()
            subprocess.run([str(REPO / "sim" / "layout"), str(self.cams / "main")], check=True)
            self.qemu = subprocess.Popen(cmd)
            return
        cmd += ["-serial", f"file:{self.console}", "-monitor", "none",
                "-qmp", f"unix:{self.run_dir / 'qmp.sock'},server=on,wait=off"]
        self.stopping = False
        self.qemu = subprocess.Popen(cmd, stdin=subprocess.DEVNULL)
        self.agent = self._connect(sock)
        self.ptz = self._connect(ptz)
        self.replies = self.agent.makefile("rb")
        try:
            line = self._reply(BOOT_WAIT)
        except subprocess.TimeoutExpired:
            # Seen once in many boots on a loaded machine: the emulated timer stops
            # firing early in the boot and the guest never comes up. Booted again.
            self.qemu.kill()
            self.qemu.wait()
            self.agent.close()
            self.ptz.close()
            if tries == 1:
                raise
            return self._boot(tries - 1)
        if line != b"ready":
            raise RuntimeError(f"the camera did not come up: {line!r}")
        self.bridge = threading.Thread(target=self._bridge, daemon=True)
        self.bridge.start()

    def _reboot(self):
        """After a command that did not end in time: a new boot, the same tree."""
        self._halt()
        self._boot_cards()
        self._boot()
        self.pulls, self.converter_kept, self.card_in = None, False, True
        self.userland_now = self.userland
        if self.current:
            self.badblocks = ""
            self.use(self.current)

    def _boot_cards(self):
        """Every slot's card at the size QEMU takes at boot."""
        for image in self.sd:
            with open(image, "ab") as f:
                f.truncate(SD_SIZE)
        self.sd_media = [SD_SIZE] * SD_SLOTS  # the size of the card QEMU has in each slot

    def _halt(self):
        self.stopping = True
        if self.qemu.poll() is None:
            self.qemu.kill()
        self.qemu.wait()
        self.bridge.join()
        if self.head and self.head.poll() is None:
            self.head.kill()
        self.agent.close()
        self.ptz.close()

    def _initrd(self):
        """The cached base root, then the program's package and the guest's scripts."""
        root = self.run_dir / "root"
        subprocess.run(["dpkg-deb", "-x", str(package()), str(root)], check=True)
        progs = sorted(root.glob("**/bin/debug"))
        if not progs:
            raise SystemExit(f"{package()} has no bin/debug")
        k = root / "kernel"
        shutil.copytree(HERE / "guest", k)
        (k / "tools").mkdir()
        shutil.move(str(k / "ptz-head"), str(k / "tools" / "ptz-head"))
        shutil.move(str(k / "wpa-sim"), str(k / "tools" / "wpa-sim"))
        shutil.copy(REPO / "sim" / "tools" / "wpa-fake", k / "tools" / "wpa-fake")
        shutil.copy(REPO / "sim" / "tools" / "shmdump", k / "tools" / "shmdump")
        # The tests' own programs from the same camera build (tests/tools), where it made them.
        for tool in ("osa_log_driver",):
            built = package().parent / "tests" / "tools" / tool
            if built.exists():
                shutil.copy(built, k / "tools" / tool)
        shutil.copy(HERE / "mtdparts", k / "mtdparts")
        (k / "path").write_text("/" + str(progs[0].parent.relative_to(root)) + "\n")
        shutil.copy(HERE / "init", root / "init")
        files = subprocess.run(["find", "."], cwd=root, check=True, stdout=subprocess.PIPE).stdout
        own = subprocess.run(["cpio", "-o", "-H", "newc", "--quiet"], cwd=root, input=files,
                             check=True, stdout=subprocess.PIPE).stdout
        initrd = self.run_dir / "initrd"
        with open(initrd, "wb") as f:
            # The archives, each padded to four bytes, as the kernel reads them in turn.
            parts = [(self.kernel / "base.cpio.gz").read_bytes(), (self.kernel / "busybox.cpio.gz").read_bytes(),
                     (self.kernel / "flash.cpio.gz").read_bytes(),
                     (self.kernel / "iio.cpio.gz").read_bytes(), (self.kernel / "radio.cpio.gz").read_bytes(),
                     gzip.compress(own, 1)]
            for part in parts:
                f.write(part + bytes(-len(part) % 4))
        shutil.rmtree(root)
        return initrd

    def _connect(self, path):
        for _ in range(500):
            s = socket.socket(socket.AF_UNIX)
            try:
                s.connect(str(path))
                return s
            except OSError:
                s.close()
                if self.qemu.poll() is not None:
                    raise RuntimeError("qemu ended")
                time.sleep(0.01)
        raise RuntimeError(f"no {path}")

    def _reply(self, timeout):
        ready, _, _ = select.select([self.agent], [], [], timeout)
        if not ready:
            raise subprocess.TimeoutExpired("camera", timeout)
        return self.replies.readline().strip()

    def host_path(self, camera_path):
        """Where a camera path of the current tree is on the host, if it is in the tree.
        A path in or above the flash folders brings the guest's flash back first, when a
        command may have changed it since."""
        p = "/" + str(camera_path).lstrip("/")
        if self.flash_changed and any(f"/{d}/".startswith(p.rstrip("/") + "/") or p.startswith(f"/{d}/")
                                      for d in FLASH):
            self.flash_changed = False
            self.run(f"/kernel/flash pull {self.current}\n")
            self.flash_seen = self.flash_state()
        for d in TREE:
            if p == "/" + d or p.startswith("/" + d + "/"):
                return self.cams / self.current / p.lstrip("/")
        return None

    def flash_state(self):
        """What the host's copy of the flash folders holds, to see whether it changed."""
        state = []
        for d in FLASH:
            top = self.cams / self.current / d
            for p in [top, *sorted(top.rglob("*"))] if top.exists() else []:
                st = p.lstat()
                state.append((str(p), st.st_mode, st.st_ino, st.st_size, st.st_mtime_ns,
                              os.readlink(p) if p.is_symlink() else None))
        return state

    def run(self, script, stdin=b"", timeout=60, sync=False, local_tmp=False):
        """Runs a bash script in the guest (in /tmp); returns (stdout, stderr, status).
        With sync, the flash folders go in from the host's tree first if the host changed
        them since, and come back when the host next looks at them (host_path): most
        commands' flash is never looked at, and a copy costs a second under emulation.
        With local_tmp, /tmp is in the guest's memory for the script, where Unix sockets
        can be (kernel/guest/localtmp)."""
        if local_tmp and self.current:
            script = (f"(. /kernel/localtmp in {self.current})\ncd /tmp\n(\n{script})\nrc=$?\ncd /\n"
                      f"(. /kernel/localtmp out {self.current})\nexit $rc\n")
        if sync and self.current:
            if self.flash_state() != self.flash_seen:
                script = f"/kernel/flash fill {self.current}\n{script}"
            self.flash_changed = True
        self.seq += 1
        c = self.ctl / str(self.seq)
        c.with_suffix(".sh").write_text(script)
        c.with_suffix(".in").write_bytes(stdin or b"")
        self.agent.sendall(f"run {self.seq}\n".encode())
        try:
            line = self._reply(timeout)
        except subprocess.TimeoutExpired:
            self._reboot()
            raise
        if line.split()[:2] != [b"done", str(self.seq).encode()]:
            raise RuntimeError(f"agent: {line!r}")
        out, err = c.with_suffix(".out").read_bytes(), c.with_suffix(".err").read_bytes()
        for ext in (".sh", ".in", ".out", ".err"):
            c.with_suffix(ext).unlink()
        if sync and self.current:
            self.flash_seen = self.flash_state()
        return out, err, int(line.split()[2])

    def _qmp(self, command, **arguments):
        """One command to QEMU's machine protocol; its reply."""
        with socket.socket(socket.AF_UNIX) as s:
            s.connect(str(self.run_dir / "qmp.sock"))
            f = s.makefile("rwb")
            f.readline()  # the greeting
            for message in ({"execute": "qmp_capabilities"}, {"execute": command, "arguments": arguments}):
                f.write(json.dumps(message).encode() + b"\n")
                f.flush()
                reply = json.loads(f.readline())
                while "event" in reply:
                    reply = json.loads(f.readline())
                if "error" in reply:
                    raise RuntimeError(f"qemu: {command}: {reply['error']}")
        return reply["return"]

    def cards_in(self, slots):
        """The guest's script that puts in the cards of SLOTS, whose images the host
        wrote. A card of another size than its slot's is a new medium, as when another
        card goes in; the script waits for the kernel to find it."""
        args = []
        for n in slots:
            size = os.path.getsize(self.sd[n])
            if size != self.sd_media[n]:
                self._qmp("blockdev-change-medium", device=f"card{n}", filename=str(self.sd[n]), format="raw")
                self.sd_media[n] = size
                args.append(f"{n}:{size >> 9}")
            else:
                args.append(str(n))
        return f"/kernel/card in {' '.join(args)}\n"

    def follow_userland(self):
        """The userland $DEBUG_USERLAND names now, for the commands that follow."""
        if userland() != self.userland_now:
            self.userland_now = userland()
            self.run(f"/kernel/userland {self.userland_now}\n")

    def refill(self, name, template):
        """Makes share/cams/NAME a copy of TEMPLATE for use(). Only what changed since the
        last refill is copied again (seen by its inode and change time, which every
        write, rename and chmod moves on): copying the whole tree costs most of a
        second on a busy machine, for every test. Folders stay, so that the guest's
        binds of them stay. Returns whether the bound folders all stayed."""
        tree = self.cams / name
        source, seen = self.refilled.get(name, (None, {}))
        seen = seen if source == template else {}

        def stamp(st):
            return st.st_ino, st.st_ctime_ns

        def same(src, dst, rel):
            """Makes DST hold what SRC does, folder DST kept."""
            held = {e.name: e for e in os.scandir(dst)}
            for e in os.scandir(src):
                d, to, r = held.pop(e.name, None), os.path.join(dst, e.name), f"{rel}/{e.name}"
                if d is not None and e.is_dir(follow_symlinks=False) and d.is_dir(follow_symlinks=False):
                    same(e.path, to, r)
                    continue
                if d is not None and seen.get(r) == stamp(d.stat(follow_symlinks=False)):
                    continue
                if d is not None:
                    gone(d)
                if e.is_dir(follow_symlinks=False):
                    shutil.copytree(e.path, to, symlinks=True)
                else:
                    shutil.copy2(e.path, to, follow_symlinks=False)
            for d in held.values():
                gone(d)
            if seen.get(rel) != stamp(os.lstat(dst)):
                shutil.copystat(src, dst)

        def gone(entry):
            if entry.is_dir(follow_symlinks=False):
                shutil.rmtree(entry.path)
            else:
                os.unlink(entry.path)

        def folders():
            return [os.lstat(tree / d).st_ino if os.path.isdir(tree / d) and not os.path.islink(tree / d) else None
                    for d in TREE + FLASH]

        before = folders() if tree.exists() else [None]
        if tree.exists():
            same(template, tree, "")
        else:
            shutil.copytree(template, tree, symlinks=True)
        seen = {"": stamp(os.lstat(tree))}
        for top, dirs, files in os.walk(tree):
            for n in dirs + files:
                p = os.path.join(top, n)
                seen[p[len(str(tree)):]] = stamp(os.lstat(p))
        self.refilled[name] = template, seen
        self.fresh = name, self.templates.setdefault(template, len(self.templates))
        return None not in before and folders() == before

    def use(self, name, badblocks="", kept=False):
        """Makes share/cams/NAME the camera's tree with a fresh board: the bad blocks
        given, and empty slots (a card is put in by writing its slot's image, sdN.img).
        KEPT: NAME is the last tree, refilled in place (refill)."""
        with self.head_lock:
            # The last test's requests are void; a head left listening by it (its shell
            # was killed) goes first.
            self.served.update(self.ctl.glob("head.*.start"))
            running = self.head is not None and self.head.poll() is None
        if running:
            self._ctl_file(self.head_files, "stop").touch()
            while not self._ctl_file(self.head_files, "stopped").exists():
                time.sleep(0.01)
        with self.head_lock:
            for f in self.ctl.glob("head.*"):
                f.unlink()
            self.served.clear()
            self.pending.clear()
        self.current = name
        keep = badblocks == self.badblocks
        self.badblocks = badblocks
        for image in self.sd:
            with open(image, "r+b") as f:
                f.truncate(0)
                f.truncate(SD_SIZE)
        env = "KEPT=yes " if kept else ""
        env += "" if self.pulls is None else f"PULLS='{' '.join(map(str, sorted(self.pulls)))}' "
        env += "CONVERTER=kept " if self.converter_kept else ""
        if self.fresh and self.fresh[0] == name:
            env += f"FROM={self.fresh[1]} "
        self.fresh = None
        script = f"{env}/kernel/use {name} {'-' if keep else badblocks}\n"
        if self.userland_now != self.userland:
            script = f"/kernel/userland {self.userland}\n{script}"
            self.userland_now = self.userland
        self.run(script + ("/kernel/card out\n" if self.card_in else ""))
        # A card of another size goes back to the size the slots have at boot.
        grown = [n for n, size in enumerate(self.sd_media) if size != SD_SIZE]
        if grown:
            self.run(self.cards_in(grown) + "/kernel/card out\n")
        self.pulls, self.converter_kept, self.card_in = set(), True, False
        self.flash_changed = False
        self.flash_seen = self.flash_state()

    # The PTZ port: bytes from the guest's serial port go to the head while one runs;
    # what comes before it is up (a head started in the background a moment before the
    # program) waits for it, until the next tree is put in place. A script in the guest
    # (kernel/guest/ptz-head) asks for a head and ends it through files in ctl named
    # head.ID.*, each name used once.
    def _bridge(self):
        pty = None
        while not self.stopping:
            ready, _, _ = select.select([self.ptz], [], [], 0.02)
            if ready:
                data = self.ptz.recv(4096)
                if not data:
                    return
                if pty is None:
                    self.pending += data
                else:
                    self._to_head(pty, data)
            with self.head_lock:
                if pty is None:
                    requests = [f for f in self.ctl.glob("head.*.start") if f not in self.served]
                    if requests:
                        pty = self._start_head(requests[0])
                elif self._ctl_file(self.head_files, "stop").exists():
                    self._stop_head(pty)
                    pty = None

    def _ctl_file(self, files, what):
        return self.ctl / f"{files}.{what}"

    def _start_head(self, start):
        """Starts the head a script in the guest asked for; its pty, or None when the
        head did not come up (what it said is in the log, and the guest is let go on)."""
        self.served.add(start)
        files = start.name[: -len(".start")]
        self.head_files = files
        hexfile = start.read_text().strip()
        link = self.run_dir / "ptz-tty"
        # A link left by a head that was killed may name a pty that is someone else's now.
        link.unlink(missing_ok=True)
        args = [str(REPO / "sim" / "tools" / "ptz-head"), "--port", str(link)]
        if hexfile:
            args += ["--hex", str(self.host_path(hexfile))]
        log, err = self._ctl_file(files, "log"), self._ctl_file(files, "err")
        with open(log, "wb") as out, open(err, "wb") as errors:
            self.head = subprocess.Popen(args, stdout=out, stderr=errors)
        while not link.exists() and self.head.poll() is None and not self.stopping:
            time.sleep(0.005)
        pty = None
        if link.exists():
            pty = os.open(link, os.O_WRONLY | os.O_NOCTTY)
            self._to_head(pty, bytes(self.pending))
            self.pending.clear()
        else:
            with open(log, "ab") as out:
                out.write(err.read_bytes())
            self._ctl_file(files, "stopped").touch()
        self._ctl_file(files, "ready").touch()
        return pty

    def _stop_head(self, pty):
        """What is still on its way reaches the head, then it ends and says so."""
        while select.select([self.ptz], [], [], 0.05)[0]:
            data = self.ptz.recv(4096)
            if not data:
                break
            self._to_head(pty, data)
        self.head.send_signal(signal.SIGTERM)
        self.head.wait()
        os.close(pty)
        self._ctl_file(self.head_files, "stopped").touch()

    def _to_head(self, pty, data):
        try:
            os.write(pty, data)
        except OSError:
            pass  # a head that has gone hears nothing, as on the wire

    def close(self):
        if self.shell:
            self.qemu.wait()
        else:
            self._halt()
        shutil.rmtree(self.run_dir, ignore_errors=True)


def main(argv):
    """scripts/kernel: debug ARGS, --sh 'COMMANDS' or --shell on a freshly booted camera."""
    if argv[:1] == ["--shell"]:
        g = Guest(shell=True)
        g.close()
        return 0
    if argv[:1] == ["--sh"]:
        if len(argv) != 2:
            raise SystemExit("scripts/kernel: --sh takes one argument, the commands")
        script = argv[1] + "\n"
    else:
        if argv[:1] == ["--"]:
            argv = argv[1:]
        script = "exec debug " + " ".join(shlex.quote(a) for a in argv) + "\n"
    g = Guest()
    try:
        tree = g.cams / "main"
        tree.mkdir()
        subprocess.run([str(REPO / "sim" / "layout"), str(tree)], check=True)
        g.use("main")
        g.run("/kernel/card in\n")
        # The head listens on the PTZ port for the whole command and says what it saw;
        # the test networks are on the air and wpa_supplicant serves wlan0 for it.
        out, err, rc = g.run("/kernel/radio start\nptz-head >/tmp/.ptz-head & head=$!\n"
                             f"wpa-sim -- bash -c {shlex.quote(script)}\nrc=$?\nkill $head; wait $head\nexit $rc\n",
                             timeout=None, local_tmp=True)
        said = (g.cams / "main" / "tmp" / ".ptz-head").read_bytes()
    finally:
        g.close()
    os.write(1, out)
    os.write(2, err)
    for line in said.decode("latin-1").splitlines():
        print(f"ptz-head: {line}", file=sys.stderr)
    return rc


if __name__ == "__main__":
    # What went wrong in one line; kernel/build and qemu have said why on standard error.
    try:
        sys.exit(main(sys.argv[1:]))
    except subprocess.CalledProcessError as e:
        sys.exit(f"scripts/kernel: failed (status {e.returncode}): {' '.join(map(str, e.cmd))}")
    except (OSError, RuntimeError, subprocess.TimeoutExpired) as e:
        sys.exit(f"scripts/kernel: the camera failed: {e}")
