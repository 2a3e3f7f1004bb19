"""The world the bench runs programs in: an Xvfb server with trayer as its notification area and
no window manager, a fresh environment in a temporary folder, programs started through bench-x,
and what /proc tells about them. Every process started here is ended by `close`, or with the
bench should it die.
"""
import ctypes
import os
import select
import signal
import subprocess
import time

FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _end_with_the_bench():
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


class BenchError(RuntimeError):
    pass


class World:
    def __init__(self, folder, bench_x, name):
        self.folder = folder
        self.bench_x = bench_x
        self.name = name
        self.logs = os.path.join(folder, "logs")
        os.makedirs(self.logs, exist_ok=True)
        home = os.path.join(folder, "home")
        runtime = os.path.join(folder, "runtime")
        os.makedirs(home, exist_ok=True)
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        os.chmod(runtime, 0o700)
        self.bin = os.path.join(folder, "bin")
        os.makedirs(self.bin, exist_ok=True)
        self.env = {
            "PATH": f"{self.bin}:/usr/bin:/bin",
            "HOME": home,
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "TZ": "UTC",
            "LC_ALL": "C.UTF-8",
            # No session bus of Qt's own, and no way to the machine's system bus: nothing the
            # program does here can reach logind.
            "DBUS_SESSION_BUS_ADDRESS": "disabled:",
            "DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={os.path.join(folder, 'no-system-bus')}",
            "NO_AT_BRIDGE": "1",
            "QT_QPA_PLATFORM": "xcb",
        }
        self.processes = []

    def start(self, label, argv, env=None, cwd=None, **options):
        with open(os.path.join(self.logs, label + ".log"), "ab") as out:
            process = subprocess.Popen(argv, env=env or self.env, cwd=cwd or self.folder,
                                       stdin=subprocess.DEVNULL, stdout=options.pop("stdout", out),
                                       stderr=out, start_new_session=True,
                                       preexec_fn=_end_with_the_bench, **options)
        self.processes.append(process)
        return process

    def open(self):
        """Starts the X server and the notification area."""
        reader, writer = os.pipe()
        self.start("Xvfb", ["Xvfb", "-displayfd", str(writer), "-screen", "0", "1280x1024x24",
                            "-nolisten", "tcp", "-noreset"], pass_fds=(writer,))
        os.close(writer)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([reader], [], [], left)[0]:
                raise BenchError("Xvfb gave no display number")
            chunk = os.read(reader, 16)
            if not chunk:
                raise BenchError("Xvfb ended before it gave a display number")
            number += chunk
        os.close(reader)
        self.env["DISPLAY"] = ":" + number.decode().strip()
        self.start("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                              "request", "--height", "32", "--transparent", "false"])
        if subprocess.run([self.bench_x, "owner", "_NET_SYSTEM_TRAY_S0", "30000"],
                          env=self.env).returncode != 0:
            raise BenchError("trayer took no notification-area selection")
        return self

    def close(self):
        for process in reversed(self.processes):
            stop_group(process)

    def add_recorder(self, name):
        """A stand-in for a started program: appends its arguments to NAME.runs in its working
        folder."""
        path = os.path.join(self.bin, name)
        with open(path, "w") as out:
            out.write(f'#!/bin/sh\nprintf "%s\\n" "$*" >> "$PWD/{name}.runs"\n')
        os.chmod(path, 0o755)

    def launch(self, label, program, cwd, clock=None, timeout_ms=20000):
        """Starts `program` in `cwd` through bench-x and waits until its main window is mapped.
        With `clock` ("@2024-03-05 00:00:00 x480") the program runs under libfaketime; bench-x
        keeps the real clock."""
        argv = [program]
        if clock:
            argv = ["/usr/bin/env", f"LD_PRELOAD={FAKETIME_LIBRARY}", f"FAKETIME={clock}",
                    program]
        helper = self.start(label, [self.bench_x, "launch", str(timeout_ms)] + argv, cwd=cwd,
                            stdout=subprocess.PIPE, text=True)
        first = helper.stdout.readline().split()
        if len(first) != 3 or first[0] != "pid":
            raise BenchError(f"{label}: bench-x said {first!r}")
        running = Running(label, helper, int(first[1]), int(first[2]) / 1e9, clock is not None)
        second = helper.stdout.readline().split()
        if not second or second[0] != "mapped":
            running.stop()
            raise BenchError(f"{label}: the main window was not mapped ({second!r}); "
                             f"see {os.path.join(self.logs, label + '.log')}")
        running.mapped_ms = float(second[1])
        running.cpu_to_map_ms = float(second[3])
        return running

    def windows(self, pid):
        """The windows of `pid`: (where, state, kind) for each, as bench-x lists them."""
        out = subprocess.run([self.bench_x, "windows", str(pid)], env=self.env, check=True,
                             capture_output=True, text=True).stdout
        return [tuple(line.split()[1:]) for line in out.splitlines()]


def stop_group(process, grace=5.0):
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except ProcessLookupError:
            pass
        try:
            process.wait(grace)
            return
        except subprocess.TimeoutExpired:
            continue


class Running:
    """A program started through bench-x: its pid, when it was started (CLOCK_MONOTONIC, the
    clock of time.monotonic) and how long its main window took to map."""

    def __init__(self, label, helper, pid, started, faked):
        self.label, self.helper, self.pid, self.started = label, helper, pid, started
        self.faked = faked
        self.mapped_ms = None
        self.cpu_to_map_ms = None

    def since_start(self):
        return time.monotonic() - self.started

    def wait_until(self, seconds_after_start):
        left = seconds_after_start - self.since_start()
        if left > 0:
            time.sleep(left)

    def stop(self):
        stop_group(self.helper)
        if self.faked:
            # libfaketime shares its start time with the program's children through shared
            # memory named after the program, which only a normal exit removes.
            for name in (f"faketime_shm_{self.pid}", f"sem.faketime_sem_{self.pid}"):
                try:
                    os.unlink(os.path.join("/dev/shm", name))
                except FileNotFoundError:
                    pass


def status(pid):
    """The fields of /proc/PID/status that the bench reads, in KiB or counts."""
    values = {}
    with open(f"/proc/{pid}/status") as lines:
        for line in lines:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "VmHWM", "RssAnon", "RssFile", "Threads"):
                values[key] = int(value.split()[0])
    return values


def activity(pid):
    """Voluntary and involuntary context switches and time on a CPU (ns) of all threads."""
    voluntary = involuntary = cpu_ns = threads = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as lines:
                for line in lines:
                    if line.startswith("voluntary_ctxt_switches:"):
                        voluntary += int(line.split()[1])
                    elif line.startswith("nonvoluntary_ctxt_switches:"):
                        involuntary += int(line.split()[1])
            with open(f"/proc/{pid}/task/{task}/schedstat") as line:
                cpu_ns += int(line.read().split()[0])
            threads += 1
        except FileNotFoundError:
            continue  # a thread that ended while being read
    return {"voluntary": voluntary, "involuntary": involuntary, "cpu_ns": cpu_ns,
            "threads": threads}
