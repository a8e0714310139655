"""The bench of real serial drivers: a QEMU guest with the kernel's 8250 driver on ttyS1 and
the FTDI USB driver on ttyUSB0, whose host ends this process serves, and the cdc-acm driver
on ttyACM0, whose far end (the serial gadget's ttyGS0) is inside the guest.

One server process owns the guest and every helper: it boots QEMU, holds the host ends of
both lines and plays a peer on each (echo, stall, held, or the module simulator), plugs and
unplugs the USB adapter, and runs commands in the guest for its clients, one at a time.
"""
import ctypes
import json
import os
import pty
import select
import selectors
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import termios
import time
import tty

import guest_image

# The checkout these tests belong to (tests/drivers/ is two levels below it).
CHECKOUT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

BOOT_LIMIT = 120.0     # seconds from starting QEMU to the agent's READY, TCG on a busy machine
STOP_LIMIT = 15.0      # seconds for the guest to power off before QEMU is killed
IDLE_LIMIT = 900.0     # a server nobody talks to stops the guest by itself


class BenchError(Exception):
    pass


def _die_with_parent():
    """Run in each helper before it starts: the kernel ends it when the server ends, so a
    server that was killed leaves no guest or simulator behind."""
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def _connect(path, deadline):
    """Connects to a socket QEMU is still creating; bounded by deadline."""
    while True:
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            s.connect(path)
            return s
        except OSError:
            s.close()
            if time.monotonic() > deadline:
                raise BenchError("QEMU did not create " + path)
            time.sleep(0.02)


def _raw(fd):
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    attrs[3] &= ~termios.ECHO
    termios.tcsetattr(fd, termios.TCSANOW, attrs)


class Simulator:
    """The module simulator on the slave side of a pty whose master the bench holds."""

    def __init__(self, program, log_path):
        self.master, slave = pty.openpty()
        _raw(slave)
        os.set_blocking(self.master, False)
        path = os.ttyname(slave)
        self.log = open(log_path, "ab")
        self.process = subprocess.Popen(shlex.split(program) + ["--device", path], stdout=self.log,
                                        stderr=subprocess.STDOUT, preexec_fn=_die_with_parent)
        os.close(slave)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        os.close(self.master)
        self.log.close()


class Line:
    """The host end of one guest serial line and the peer that plays on it."""

    def __init__(self, name):
        self.name, self.fd, self.mode, self.sim = name, None, "echo", None
        self.held = bytearray()  # what the line brought a held peer, for the test to take
        self.socket = None     # the USB adapter's connection while plugged, ttyS1's always
        self.telnet = False    # QEMU reads Telnet commands from this end: FF goes doubled

    def read_device(self):
        try:
            data = os.read(self.fd, 65536)
        except BlockingIOError:
            return True
        except OSError:
            data = b""
        if not data:
            return False
        if self.mode == "echo":
            self.send(data)
        elif self.mode == "sim" and self.sim:
            self._write(self.sim.master, data)
        elif self.mode == "held":
            self.held += data
        return True

    def send(self, data):
        """Data for the guest's line; QEMU sends its own bytes to us unescaped. True when
        all of it went."""
        return self._write(self.fd, data.replace(b"\xff", b"\xff\xff") if self.telnet else data)

    def discard(self, quiet=0.3, patience=5.0):
        """Drops what a stalled line still holds, so no later test receives its echo."""
        deadline = time.monotonic() + patience
        while self.fd is not None and time.monotonic() < deadline:
            if not select.select([self.fd], [], [], quiet)[0]:
                return
            try:
                if not os.read(self.fd, 65536):
                    return
            except BlockingIOError:
                continue
            except OSError:
                return

    def read_sim(self):
        try:
            data = os.read(self.sim.master, 65536)
        except (BlockingIOError, OSError):
            return
        if data and self.fd is not None:
            self.send(data)

    @staticmethod
    def _write(fd, data, patience=20.0):
        # Waits for room while the other side drains; a line that takes nothing for the
        # whole patience loses the rest rather than stalling the server.
        deadline = time.monotonic() + patience
        while data:
            try:
                data = data[os.write(fd, data):]
            except BlockingIOError:
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([], [fd], [], left)[1]:
                    return False
            except OSError:
                return False
        return True


class Server:
    def __init__(self, state_dir, sim_program):
        self.state_dir = os.path.abspath(state_dir)
        self.sim_program = sim_program
        self.sock_dir = tempfile.mkdtemp(prefix="drivers-bench-")
        self.sel = selectors.DefaultSelector()
        self.lines = {"ttyS1": Line("ttyS1"), "ttyUSB0": Line("ttyUSB0")}
        self.qemu = None
        self.agent = self.control = None
        self.agent_buf = b""
        self.control_buf = b""
        self.next_id = 0
        self.plugged = False
        self.usb_touched = False   # a test unplugged the adapter: give the next one ttyUSB0
        self.taking = None         # a test's take waiting for bytes: (line, count, deadline)
        self.last_request = time.monotonic()
        self.stopping = False
        self.figures = {}

    # --- paths -------------------------------------------------------------------------
    def path(self, name):
        return os.path.join(self.state_dir, name)

    def sock(self, name):
        return os.path.join(self.sock_dir, name)

    # --- boot --------------------------------------------------------------------------
    def boot(self):
        kernel, version = guest_image.guest_kernel()
        os.makedirs(self.path("out"), exist_ok=True)
        initrd = self.path("initramfs.cpio")
        guest_image.build_initramfs(initrd, version)
        for stale in ("console.log", "qemu.log"):
            if os.path.exists(self.path(stale)):
                os.remove(self.path(stale))
        started = time.monotonic()
        command = [
            "qemu-system-x86_64", "-accel", "tcg", "-m", "1024", "-smp", "1",
            "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
            "-kernel", kernel, "-initrd", initrd,
            "-append", "console=ttyS0 loglevel=4 panic=-1 benchrun=%s benchsrc=%s"
            % (self.state_dir, CHECKOUT),
            "-chardev", "file,id=console,path=" + self.path("console.log"),
            "-serial", "chardev:console",
            # Telnet on ttyS1's host end: IAC BRK (FF F3) makes QEMU raise a break.
            "-chardev", "socket,id=ser1,server=on,wait=off,telnet=on,path=" + self.sock("ser1"),
            "-serial", "chardev:ser1",
            "-device", "virtio-serial-pci",
            "-chardev", "socket,id=agent,server=on,wait=off,path=" + self.sock("agent"),
            "-device", "virtserialport,chardev=agent,name=bench.agent",
            "-chardev", "socket,id=control,server=on,wait=off,path=" + self.sock("control"),
            "-device", "virtserialport,chardev=control,name=bench.control",
            "-device", "qemu-xhci,id=xhci",
            "-chardev", "socket,id=usb,server=on,wait=off,path=" + self.sock("usb"),
            "-device", "usb-serial,bus=xhci.0,chardev=usb",
            "-virtfs", "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap",
            "-virtfs", "local,path=%s,mount_tag=run,security_model=none" % self.state_dir,
        ]
        qemu_log = open(self.path("qemu.log"), "wb")
        self.qemu = subprocess.Popen(command, stdout=qemu_log, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL, preexec_fn=_die_with_parent)
        deadline = time.monotonic() + BOOT_LIMIT
        self.agent = _connect(self.sock("agent"), deadline)
        self.control = _connect(self.sock("control"), deadline)
        self.sel.register(self.control, selectors.EVENT_READ, self.on_control)
        self.plug()
        self.attach_ser1(deadline)
        ready = self.agent_line(deadline)
        if not ready.startswith("READY"):
            raise BenchError("guest agent said " + ready)
        missing = [n for n in self.lines if n not in ready.split()]
        if missing:
            raise BenchError("the guest has no %s (%s)" % (" ".join(missing), ready))
        self.figures["boot_seconds"] = round(time.monotonic() - started, 1)
        self.figures["guest"] = ready
        self.figures["kernel"] = version

    def attach_ser1(self, deadline):
        # QEMU opens a Telnet session with four 3-byte offers (WILL ECHO, WILL SUPPRESS GO
        # AHEAD, WILL BINARY, DO BINARY) before any byte of the guest's.
        s = _connect(self.sock("ser1"), deadline)
        offers = b""
        while len(offers) < 12:
            if not select.select([s], [], [], max(0.0, deadline - time.monotonic()))[0]:
                raise BenchError("QEMU opened no Telnet session on ttyS1")
            chunk = s.recv(12 - len(offers))
            if not chunk:
                raise BenchError("QEMU closed ttyS1's Telnet session")
            offers += chunk
        if offers[::3] != b"\xff" * 4:
            raise BenchError("ttyS1's Telnet session began with %r" % offers)
        s.setblocking(False)
        line = self.lines["ttyS1"]
        line.fd, line.socket, line.telnet = s.fileno(), s, True
        self.watch("ttyS1")

    def send_break(self, name):
        line = self.lines.get(name)
        if line is None or not line.telnet:
            raise BenchError("%s cannot carry a break" % name)
        line._write(line.fd, b"\xff\xf3")  # IAC BRK

    # --- the USB adapter ---------------------------------------------------------------
    def plug(self):
        if self.plugged:
            return
        s = _connect(self.sock("usb"), time.monotonic() + 10)
        s.setblocking(False)
        line = self.lines["ttyUSB0"]
        line.fd, line.socket = s.fileno(), s
        self.plugged = True
        self.watch("ttyUSB0")

    def unplug(self):
        if not self.plugged:
            return
        line = self.lines["ttyUSB0"]
        self.unwatch("ttyUSB0")
        line.socket.close()
        line.fd = line.socket = None
        self.plugged = False

    # --- peers -------------------------------------------------------------------------
    def watch(self, name):
        line = self.lines[name]
        if line.fd is None or line.mode == "stall":
            return
        try:
            self.sel.register(line.fd, selectors.EVENT_READ, lambda: self.on_device(line))
        except KeyError:
            pass

    def unwatch(self, name):
        line = self.lines[name]
        if line.fd is not None:
            try:
                self.sel.unregister(line.fd)
            except KeyError:
                pass

    def on_device(self, line):
        if not line.read_device() and line.name == "ttyUSB0":
            self.unplug()   # QEMU closed the adapter's socket
        self.answer_take()

    def answer_take(self, expired=False):
        """Answers the waiting take once its bytes have come, or with what came once its
        time is up (expired, or past its deadline)."""
        if self.taking is None:
            return
        line, count, deadline = self.taking
        if len(line.held) < count and not expired and time.monotonic() < deadline:
            return
        self.taking = None
        taken = bytes(line.held[:count])
        del line.held[:count]
        self.control.sendall(("ok %s\n" % taken.hex()).encode())
        self.on_control(more=False)  # requests that came meanwhile

    def set_peer(self, name, mode):
        if name not in self.lines or mode not in ("echo", "stall", "sim", "held"):
            raise BenchError("unknown peer %s=%s" % (name, mode))
        line = self.lines[name]
        self.unwatch(name)
        if self.taking and self.taking[0] is line:
            self.answer_take(expired=True)
        line.held.clear()
        if line.mode == "stall" and mode != "stall":
            line.discard()
        if line.sim and mode != "sim":
            self.sel.unregister(line.sim.master)
            line.sim.stop()
            line.sim = None
        if mode == "sim" and not line.sim:
            if not self.sim_program:
                raise BenchError("the server was started without --sim")
            line.sim = Simulator(self.sim_program, self.path("sim-%s.log" % name))
            self.sel.register(line.sim.master, selectors.EVENT_READ, line.read_sim)
        line.mode = mode
        self.watch(name)

    # --- the guest's control port: requests from tests running inside -----------------
    def on_control(self, more=True):
        if more:
            data = self.control.recv(65536)
            if not data:
                self.sel.unregister(self.control)
                return
            self.control_buf += data
        while b"\n" in self.control_buf and self.taking is None:
            raw, self.control_buf = self.control_buf.split(b"\n", 1)
            words = raw.decode(errors="replace").split()
            answer = self.serve_guest(words)
            if answer is not None:  # else a take waits for its bytes
                self.control.sendall((answer + "\n").encode())

    def serve_guest(self, words):
        try:
            if words == ["unplug"]:
                self.usb_touched = True
                self.unplug()
            elif words == ["plug"]:
                self.usb_touched = True
                self.plug()
            elif len(words) == 3 and words[0] == "peer":
                self.set_peer(words[1], words[2])
            elif len(words) == 2 and words[0] == "break":
                self.send_break(words[1])
            elif len(words) in (2, 3) and words[0] == "send":
                # send LINE HEX: the held peer sends these bytes on the line.
                if not self.lines[words[1]].send(bytes.fromhex(words[2] if len(words) == 3 else "")):
                    return "error the line did not take the bytes"
            elif len(words) == 4 and words[0] == "take":
                # take LINE COUNT MS: the first COUNT bytes the held peer got, waiting up to
                # MS milliseconds for them; "ok HEX" with what came.
                deadline = time.monotonic() + int(words[3]) / 1000.0
                self.taking = (self.lines[words[1]], int(words[2]), deadline)
                self.answer_take()
                return None
            else:
                return "error unknown request"
            return "ok"
        except (BenchError, KeyError, OSError, ValueError) as e:
            return "error %s" % e

    # --- the agent ---------------------------------------------------------------------
    def agent_line(self, deadline):
        """The next line from the agent, serving the peers while waiting."""
        while b"\n" not in self.agent_buf:
            left = deadline - time.monotonic()
            if left <= 0:
                raise BenchError("the guest did not answer in time")
            if self.qemu.poll() is not None:
                raise BenchError("QEMU ended with status %d" % self.qemu.returncode)
            self.sel.register(self.agent, selectors.EVENT_READ, None)
            try:
                for key, _ in self.sel.select(min(left, 0.5)):
                    if key.data is None:
                        data = self.agent.recv(4096)
                        if not data:
                            raise BenchError("the guest closed its agent port")
                        self.agent_buf += data
                    else:
                        key.data()
                self.answer_take()  # a take whose time is up
            finally:
                self.sel.unregister(self.agent)
        raw, self.agent_buf = self.agent_buf.split(b"\n", 1)
        return raw.decode(errors="replace").strip()

    def run(self, request):
        """Runs request["argv"] in the guest; returns status and output file."""
        for name, mode in request.get("peers", {}).items():
            self.set_peer(name, mode)
        if request.get("plugged", True):
            self.plug()
        self.next_id += 1
        rid = "%04d" % self.next_id
        seconds = int(request.get("timeout", 120))
        env = ["%s=%s" % kv for kv in sorted(request.get("env", {}).items())]
        command = "cd %s && exec env %s %s" % (
            shlex.quote(request.get("cwd", "/")), " ".join(shlex.quote(e) for e in env),
            shlex.join(request["argv"]))
        if "\n" in command:
            raise BenchError("a command line may not hold a line break")
        self.agent.sendall(("RUN %s %d %s\n" % (rid, seconds, command)).encode())
        answer = self.agent_line(time.monotonic() + seconds + 30)
        words = answer.split()
        if len(words) != 3 or words[:2] != ["DONE", rid]:
            raise BenchError("guest agent said " + answer)
        for name, line in self.lines.items():
            if line.mode != "echo":
                self.set_peer(name, "echo")
        if self.usb_touched:
            self.settle_usb()
        return {"status": int(words[2]), "output": self.path("out/%s.log" % rid)}

    def agent_wait(self, verb, path, seconds):
        self.next_id += 1
        rid = "w%04d" % self.next_id
        self.agent.sendall(("%s %s %d %s\n" % (verb, rid, seconds * 10, path)).encode())
        answer = self.agent_line(time.monotonic() + seconds + 30)
        return answer == "DONE %s 0" % rid

    def settle_usb(self):
        """Unplugs and replugs until the adapter is ttyUSB0 again, as for a fresh test."""
        self.usb_touched = False
        self.unplug()
        for node in ("/dev/ttyUSB1", "/dev/ttyUSB0"):
            self.agent_wait("GONE", node, 20)
        self.plug()
        if not self.agent_wait("WAIT", "/dev/ttyUSB0", 20):
            raise BenchError("the USB adapter did not come back as /dev/ttyUSB0")

    # --- clients -----------------------------------------------------------------------
    def serve(self, ready_fd):
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        listener.bind(self.sock("bench"))
        listener.listen(4)
        with open(self.path("server.json"), "w") as f:
            json.dump({"pid": os.getpid(), "socket": self.sock("bench"),
                       "figures": self.figures}, f)
        os.write(ready_fd, b"ready\n")
        os.close(ready_fd)
        self.sel.register(listener, selectors.EVENT_READ, None)
        while not self.stopping:
            if time.monotonic() - self.last_request > IDLE_LIMIT:
                break
            if self.qemu.poll() is not None:
                break
            for key, _ in self.sel.select(1.0):
                if key.data is None:
                    client, _ = listener.accept()
                    self.sel.unregister(listener)
                    try:
                        self.answer(client)
                    finally:
                        client.close()
                        if not self.stopping:
                            self.sel.register(listener, selectors.EVENT_READ, None)
                else:
                    key.data()
        listener.close()

    def answer(self, client):
        self.last_request = time.monotonic()
        client.settimeout(10)
        data = b""
        while not data.endswith(b"\n"):
            chunk = client.recv(65536)
            if not chunk:
                return
            data += chunk
        try:
            request = json.loads(data)
            if request.get("op") == "stop":
                self.stopping = True
                reply = {"status": 0}
            elif request.get("op") == "figures":
                reply = {"status": 0, "figures": self.figures}
            else:
                reply = self.run(request)
        except (BenchError, ValueError, KeyError, TypeError, AttributeError) as e:
            reply = {"error": "%s: %s" % (type(e).__name__, e)}
        client.settimeout(None)
        client.sendall((json.dumps(reply) + "\n").encode())

    # --- the end -----------------------------------------------------------------------
    def shutdown(self):
        for line in self.lines.values():
            if line.sim:
                line.sim.stop()
                line.sim = None
        if self.qemu and self.qemu.poll() is None:
            try:
                if self.agent:
                    self.agent.sendall(b"POWEROFF\n")
                self.qemu.wait(STOP_LIMIT)
            except (OSError, subprocess.TimeoutExpired):
                self.qemu.kill()
                self.qemu.wait()
        shutil.rmtree(self.sock_dir, ignore_errors=True)


def console_text(state_dir, limit=20000):
    parts = []
    for name in ("qemu.log", "console.log"):
        try:
            with open(os.path.join(state_dir, name), "rb") as f:
                text = f.read().decode(errors="replace")
        except OSError:
            continue
        parts.append("----- %s -----\n%s" % (name, text[-limit:]))
    return "\n".join(parts)


def serve_main(state_dir, sim_program, ready_fd):
    """Body of the server process; ready_fd gets "ready" or the reason it failed."""
    server = Server(state_dir, sim_program)
    signal.signal(signal.SIGTERM, lambda *_: setattr(server, "stopping", True))
    try:
        server.boot()
    except Exception as e:  # every failure stops the guest first, then tells the starter
        server.shutdown()
        print("bench server: %s" % e, file=sys.stderr)
        os.write(ready_fd, ("failed %s\n" % e).encode())
        return 1
    try:
        server.serve(ready_fd)
        return 0
    finally:
        server.shutdown()
