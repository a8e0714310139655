"""The guest's kernel and initramfs, made from what the machine has installed.

The kernel is the newest /boot/vmlinuz-*; its modules come from /lib/modules/<version>, in
dependency order. The initramfs holds busybox, those modules and the guest's /init.
"""
import glob
import os
import re
import subprocess

# The drivers the bench needs: the host's root over 9p, the agent's console ports, the 8250
# (built into Debian's kernel), the FTDI adapter behind QEMU's xHCI controller, and a USB
# link inside the guest: the dummy controller joins a serial gadget (its end is ttyGS0) to
# the cdc-acm driver (ttyACM0). The gadget finds its ACM function by name, which modprobe
# would load on request; the guest has none, so u_serial and usb_f_acm are listed here.
MODULES = ["virtio_pci", "9pnet_virtio", "9p", "virtio_console",
           "xhci_pci", "usbserial", "ftdi_sio",
           "dummy_hcd", "u_serial", "usb_f_acm", "g_serial", "cdc-acm"]

# Module parameters: one serial gadget port speaking CDC-ACM, with the strings a real
# adapter gives (they show as the port's description).
PARAMETERS = {"g_serial": "use_acm=1 n_ports=1 iManufacturer=Bench iProduct=ACM-line "
                          "iSerialNumber=BENCH0001"}

HERE = os.path.dirname(os.path.abspath(__file__))


def _version_key(path):
    return [int(n) if n.isdigit() else n for n in re.split(r"(\d+)", path)]


def _module_name(ko):
    return os.path.basename(ko).split(".ko")[0].replace("-", "_")


def guest_kernel():
    """(kernel image, version) of the newest installed kernel that has its modules."""
    for image in sorted(glob.glob("/boot/vmlinuz-*"), key=_version_key, reverse=True):
        version = os.path.basename(image)[len("vmlinuz-"):]
        if os.path.isdir(os.path.join("/lib/modules", version)) and os.access(image, os.R_OK):
            return image, version
    raise RuntimeError("no readable /boot/vmlinuz-* with its /lib/modules folder: "
                       "install linux-image-amd64 (scripts/setup)")


def _modinfo(version, name, field):
    out = subprocess.run(["modinfo", "-k", version, "-F", field, name],
                         capture_output=True, text=True, check=False)
    if out.returncode != 0:
        raise RuntimeError("modinfo %s: %s" % (name, out.stderr.strip()))
    return out.stdout.strip()


def module_files(version, names=MODULES):
    """The .ko files for names and everything they depend on, dependencies first."""
    ordered, seen = [], set()

    def visit(name):
        key = name.replace("-", "_")
        if key in seen:
            return
        seen.add(key)
        filename = _modinfo(version, name, "filename")
        if filename == "(builtin)":
            return
        for dep in filter(None, _modinfo(version, name, "depends").split(",")):
            visit(dep)
        ordered.append(filename)

    for name in names:
        visit(name)
    return ordered


class _Cpio:
    """A newc archive, the format the kernel unpacks as its initramfs."""

    def __init__(self):
        self.parts, self.ino, self.size = [], 1, 0

    def _entry(self, name, mode, data=b""):
        self.ino += 1
        fields = [self.ino, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name) + 1, 0]
        header = b"070701" + b"".join(b"%08X" % f for f in fields)
        self._add(header + name.encode() + b"\0")
        self._add(data)

    def _add(self, blob):
        self.parts.append(blob)
        self.size += len(blob)
        pad = -self.size % 4
        self.parts.append(b"\0" * pad)
        self.size += pad

    def directory(self, name):
        self._entry(name, 0o040755)

    def file(self, name, data, mode=0o644):
        self._entry(name, 0o100000 | mode, data)

    def symlink(self, name, target):
        self._entry(name, 0o120777, target.encode())

    def finish(self):
        self._entry("TRAILER!!!", 0)
        return b"".join(self.parts)


def build_initramfs(path, version, busybox="/bin/busybox"):
    """Writes the initramfs to path and returns the module names in load order."""
    modules = module_files(version)
    archive = _Cpio()
    for d in ["bin", "dev", "proc", "sys", "host", "modules"]:
        archive.directory(d)
    with open(busybox, "rb") as f:
        archive.file("bin/busybox", f.read(), 0o755)
    archive.symlink("bin/sh", "busybox")
    for ko in modules:
        with open(ko, "rb") as f:
            archive.file("modules/" + os.path.basename(ko), f.read())
    archive.file("modules/order", "".join(
        (os.path.basename(k) + " " + PARAMETERS.get(_module_name(k), "")).strip() + "\n"
        for k in modules).encode())
    with open(os.path.join(HERE, "guest_init.sh"), "rb") as f:
        archive.file("init", f.read(), 0o755)
    with open(path, "wb") as f:
        f.write(archive.finish())
    return [os.path.basename(k) for k in modules]
