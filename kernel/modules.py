# SPDX-License-Identifier: Apache-2.0
"""Copies the kernel modules the test camera loads, with what they depend on, into one
folder, and writes `order` there: one module a line, each after its dependencies.
With BASE_ORDER and names, those modules instead, less what BASE_ORDER loads already.

    python3 modules.py IMAGE_MODULES_DIR OUR_BUILD_DIR OUT_DIR [BASE_ORDER NAME...]
"""
import lzma
import pathlib
import re
import sys

# What the camera's devices and the test bed need, in the order they should come up.
WANTED = ["virtio_pci", "virtio_console", "9pnet_virtio", "9p", "sdhci-pci", "vfat", "nls_ascii",
          "nls_cp437", "mtd", "nandcore", "bch", "cmdlinepart", "nand-ecc-sw-hamming", "nand",
          "gpio-mockup", "pwm-test", "nandsim"]


def main(image, ours, out, base=None, *wanted):
    found = {}
    for root in (pathlib.Path(ours), pathlib.Path(image)):
        for ko in sorted(root.rglob("*.ko*")):
            name = re.sub(r"\.ko(\.xz)?$", "", ko.name)
            found.setdefault(name.replace("-", "_"), ko)
    out = pathlib.Path(out)
    out.mkdir(parents=True, exist_ok=True)
    order = []
    have = pathlib.Path(base).read_text().split() if base else []

    def add(name):
        key = name.replace("-", "_")
        if key in order or key in have:
            return
        ko = found[key]
        data = ko.read_bytes()
        if ko.name.endswith(".xz"):
            data = lzma.decompress(data)
        deps = re.search(rb"\0depends=([^\0]*)\0", data)
        for dep in filter(None, (deps.group(1).decode().split(",") if deps else [])):
            add(dep)
        (out / f"{key}.ko").write_bytes(data)
        order.append(key)

    for name in wanted or WANTED:
        add(name)
    (out / "order").write_text("".join(f"{m}\n" for m in order))


if __name__ == "__main__":
    main(*sys.argv[1:])
