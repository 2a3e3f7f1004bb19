"""Runs the real program the way an operator's machine runs it, with every outside part real or a
real stand-in: an X server, a notification area, a system bus with a logind stand-in, recorder
programs on PATH in place of the stop command and the archiver, and a clock put where a scenario
needs it. Everything lives in one temporary folder and every process is ended, pass or fail.
"""
import calendar
import ctypes
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"
FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"

MAIN_CAPTION = "Down database , Backup and Shutdown"
TITLE = "Vesperkeep"
DAY = "2024-03-05"
STAMP = "MySQL20240305"

# Centres of the controls the tests press, in the main window's client area.
HIDE_BUTTON = (516, 324)
FIELDS = {
    "Edit6": (140, 42),
    "Edit1": (84, 90),
    "Edit3": (140, 138),
    "Edit4": (140, 186),
    "Edit2": (84, 234),
    "Edit5": (84, 282),
}

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _end_with_the_test():
    # A test killed outright still takes its X server, bus and program with it.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def day_time(text):
    """Seconds since the epoch of a time of day on the test's day, in UTC."""
    return calendar.timegm(time.strptime(f"{DAY} {text}", "%Y-%m-%d %H:%M:%S"))


def clock_text(seconds):
    return time.strftime("%H:%M:%S", time.gmtime(seconds)) + f".{int(seconds * 10) % 10}"


class FakeClock:
    """The program's clock: it starts at `start` when the program starts and runs `speed` times
    as fast as the real one. The exact moment it starts is known only within bounds: after the
    program was spawned and before its main window was created."""

    def __init__(self, start_text, speed, spawned):
        self.start = day_time(start_text)
        self.speed = speed
        self.earliest = spawned
        self.latest = None

    def bounds(self, real):
        latest = self.latest if self.latest is not None else time.time()
        return (self.start + self.speed * (real - latest),
                self.start + self.speed * (real - self.earliest))

    def check_within(self, real, low_text, high_text, what):
        """Checks low <= the program's time at `real` < high, whatever the start's uncertainty."""
        low, high = self.bounds(real)
        check(low >= day_time(low_text) and high < day_time(high_text),
              f"{what} at program time {clock_text(low)} to {clock_text(high)}, "
              f"expected from {low_text} to before {high_text}")

    def elapsed(self, real_from, real_to):
        return self.speed * (real_to - real_from)

    def surely_past(self, text):
        """True once the program's clock has passed `text` however early it started."""
        return self.bounds(time.time())[0] >= day_time(text)


class Run:
    def __init__(self, line):
        fields = line.rstrip("\n").split("\t")
        self.time = float(fields[0])
        self.cwd = fields[1]
        self.args = fields[2:]

    def __repr__(self):
        return f"Run(time={self.time:.3f}, cwd={self.cwd!r}, args={self.args!r})"


class Window:
    def __init__(self, wid, name, wm_class, parent, width, height, x, y):
        self.id, self.name, self.wm_class, self.parent = wid, name, wm_class, parent
        self.width, self.height, self.x, self.y = width, height, x, y

    def centre(self):
        return self.x + self.width // 2, self.y + self.height // 2

    def __repr__(self):
        return (f"0x{self.id:x} {self.name!r} ({self.wm_class}) {self.width}x{self.height}"
                f"+{self.x}+{self.y} parent 0x{self.parent:x}")


_TREE_LINE = re.compile(r'^(\s+)(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)): \((.*)\)\s+'
                        r'(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$')


class Scene:
    """One scenario's world. Use as a context manager; it ends every process it started and
    removes its folder, and on failure prints what the parts logged."""

    def __init__(self, program, name):
        self.program_path = os.path.abspath(program)
        self.name = name
        self.dir = tempfile.mkdtemp(prefix=f"vesperkeep-e2e-{name}-")
        self.work = self._folder("work")
        self.bin = self._folder("bin")
        self.logs = self._folder("logs")
        home = self._folder("home")
        runtime = self._folder("runtime")
        os.chmod(runtime, 0o700)
        # A fresh environment: nothing from the caller's desktop leaks in.
        self.env = {
            "PATH": f"{self.bin}:/usr/bin:/bin",
            "HOME": home,
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "TZ": "UTC",
            "LC_ALL": "C.UTF-8",
            "DBUS_SESSION_BUS_ADDRESS": "disabled:",
            "NO_AT_BRIDGE": "1",
            "QT_QPA_PLATFORM": "xcb",
            "PYTHONDONTWRITEBYTECODE": "1",
        }
        self.processes = []
        self.program = None
        self.clock = None
        self.main_id = None
        self.mock_log = os.path.join(self.logs, "logind-calls.log")
        self.events_log = os.path.join(self.logs, "x-events.log")

    def _folder(self, name):
        path = os.path.join(self.dir, name)
        os.makedirs(path)
        return path

    # --- processes -----------------------------------------------------------------------

    def start(self, label, argv, env=None, stdout=None, **options):
        out = open(os.path.join(self.logs, label + ".out"), "ab")
        process = subprocess.Popen(argv, env=env or self.env, cwd=options.pop("cwd", self.dir),
                                   stdin=subprocess.DEVNULL, stdout=stdout or out, stderr=out,
                                   start_new_session=True, preexec_fn=_end_with_the_test,
                                   **options)
        out.close()
        self.processes.append((label, process))
        return process

    def stop(self, process, grace=5.0):
        """Ends a process and its process group: a polite SIGTERM first, then SIGKILL."""
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(process.pid, sig)
            except ProcessLookupError:
                pass
            try:
                process.wait(grace)
                break
            except subprocess.TimeoutExpired:
                continue
        # Children the process left behind in its group (the recorders, 7z).
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass

    def __enter__(self):
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(sig, self._interrupted)
        return self

    @staticmethod
    def _interrupted(number, _frame):
        raise Failure(f"interrupted by signal {number}")

    def __exit__(self, kind, value, trace):
        try:
            if kind is not None:
                print(f"FAILED: {self.name}: {value}", flush=True)
                if not isinstance(value, Failure):
                    traceback.print_exception(kind, value, trace)
                self._report()
        finally:
            for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
                signal.signal(sig, signal.SIG_IGN)
            # The program first, the X server last, so nothing loses its server while it runs.
            for _label, process in reversed(self.processes):
                self.stop(process)
            if self.program is not None:
                # libfaketime shares its start time with the program's children through shared
                # memory named after the program, which only a normal exit removes.
                for name in (f"faketime_shm_{self.program.pid}",
                             f"sem.faketime_sem_{self.program.pid}"):
                    try:
                        os.unlink(os.path.join("/dev/shm", name))
                    except FileNotFoundError:
                        pass
            shutil.rmtree(self.dir, ignore_errors=True)
        return False

    def _report(self):
        try:
            if "DISPLAY" in self.env:
                print("--- windows\n" + self._run_text(["xwininfo", "-root", "-tree"]), end="")
        except Exception as error:  # the report must not hide the failure
            print(f"(no window tree: {error})")
        for name in sorted(os.listdir(self.logs)):
            path = os.path.join(self.logs, name)
            with open(path, errors="replace") as log:
                text = log.read()
            if len(text) > 20000:
                text = "...\n" + text[-20000:]
            print(f"--- {name}\n{text}", end="" if text.endswith("\n") or not text else "\n")
        sys.stdout.flush()

    def wait_for(self, what, predicate, timeout):
        """Polls until predicate() gives a true value and returns it; fails after `timeout`
        seconds, or at once when the program has ended."""
        deadline = time.monotonic() + timeout
        while True:
            value = predicate()
            if value:
                return value
            if self.program is not None and self.program.poll() is not None:
                raise Failure(f"the program ended with status {self.program.returncode} "
                              f"while waiting for {what}")
            if time.monotonic() > deadline:
                raise Failure(f"waited {timeout} s in vain for {what}")
            time.sleep(0.05)

    def _run_text(self, argv, check_status=True):
        result = subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                timeout=60, preexec_fn=_end_with_the_test)
        if check_status and result.returncode != 0:
            raise Failure(f"{' '.join(argv)} failed with {result.returncode}: {result.stderr}")
        return result.stdout

    def _xhelper(self, *args):
        return self._run_text([PYTHON, "-B", os.path.join(HERE, "xhelper.py"), *args])

    # --- the X server, its event log and the notification area -------------------------------

    def start_x(self):
        reader, writer = os.pipe()
        self.start("Xvfb", ["Xvfb", "-displayfd", str(writer), "-screen", "0", "1024x768x24",
                            "-nolisten", "tcp", "-noreset"], pass_fds=(writer,))
        os.close(writer)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n"):
            left = deadline - time.monotonic()
            check(left > 0 and select.select([reader], [], [], left)[0],
                  "Xvfb gave no display number")
            chunk = os.read(reader, 16)
            check(chunk, "Xvfb ended before it gave a display number")
            number += chunk
        os.close(reader)
        self.env["DISPLAY"] = ":" + number.decode().strip()
        self.start("x-events", [PYTHON, "-B", os.path.join(HERE, "xhelper.py"), "monitor",
                                self.events_log])
        self.wait_for("the X event log", lambda: self.events(), 30)

    def events(self, kind=None, window=None):
        if not os.path.exists(self.events_log):
            return []
        with open(self.events_log) as log:
            lines = [json.loads(line) for line in log if line.endswith("\n")]
        return [event for event in lines
                if (kind is None or event["type"] == kind)
                and (window is None or event.get("window") == window)]

    def start_tray(self):
        self.start("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                              "request", "--height", "32", "--transparent", "false"])
        self.wait_for("the notification area to take its selection",
                      lambda: self._xhelper("owner", "_NET_SYSTEM_TRAY_S0").strip() != "0", 30)

    # --- the system bus with its logind stand-in --------------------------------------------

    def start_system_bus(self):
        socket_path = os.path.join(self.dir, "system_bus_socket")
        config = os.path.join(self.dir, "system-bus.conf")
        with open(config, "w") as out:
            out.write(f"""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path={socket_path}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
""")
        bus = self.start("dbus-daemon", ["dbus-daemon", "--nofork", "--config-file=" + config,
                                         "--print-address=1"], stdout=subprocess.PIPE)
        ready = select.select([bus.stdout], [], [], 30)[0]
        check(ready, "dbus-daemon gave no address")
        address = bus.stdout.readline().decode().strip()
        check(address, "dbus-daemon ended before it gave an address")
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = address
        self.start("logind", [PYTHON, "-B", "-m", "dbusmock", "--system", "--template", "logind",
                              "-l", self.mock_log])

        import dbus  # python3-dbus, which python3-dbusmock needs anyway
        connection = dbus.bus.BusConnection(address)
        try:
            self.wait_for("the logind stand-in on the system bus",
                          lambda: connection.name_has_owner("org.freedesktop.login1"), 30)
            manager = connection.get_object("org.freedesktop.login1", "/org/freedesktop/login1")
            # The template predates PowerOffWithFlags; this one answers like Debian 12's
            # logind (systemd 252), which knows only the flags 0x01 and 0x02.
            manager.AddMethod(
                "org.freedesktop.login1.Manager", "PowerOffWithFlags", "t", "",
                "if args[0] & ~3: raise dbus.exceptions.DBusException('Invalid flags parameter', "
                "name='org.freedesktop.DBus.Error.InvalidArgs')",
                dbus_interface="org.freedesktop.DBus.Mock")
        finally:
            connection.close()

    def power_off_requests(self):
        """The power-off calls the logind stand-in accepted, as (real time, method, arguments)."""
        if not os.path.exists(self.mock_log):
            return []
        calls = []
        with open(self.mock_log) as log:
            for line in log:
                match = re.match(
                    r"^(\d+\.\d+) (PowerOffWithFlags|PowerOff)( raised:)?((?: .*)?)$",
                    line.rstrip("\n"))
                if not match:
                    continue
                if match.group(3):
                    calls.pop()  # the call just before it was refused
                else:
                    calls.append((float(match.group(1)), match.group(2), match.group(4).strip()))
        return calls

    # --- the program's surroundings -------------------------------------------------------

    def add_recorder(self, name):
        """Puts a program `name` on PATH that records each run: real time (the fake clock the
        program passes on is taken off), working directory and arguments."""
        log = os.path.join(self.logs, name + ".runs")
        path = os.path.join(self.bin, name)
        with open(path, "w") as out:
            out.write(f"""#!/bin/sh
now=$(/usr/bin/env -u LD_PRELOAD -u FAKETIME /bin/date +%s.%N)
line="$now	$(pwd -P)"
for argument in "$@"; do line="$line	$argument"; done
printf '%s\\n' "$line" >> '{log}'
""")
        os.chmod(path, 0o755)

    def runs(self, name):
        log = os.path.join(self.logs, name + ".runs")
        if not os.path.exists(log):
            return []
        with open(log) as runs:
            return [Run(line) for line in runs if line.endswith("\n")]

    def write_settings(self, lines):
        with open(os.path.join(self.work, "dbbkcfg.txt"), "w") as out:
            out.write("".join(line + "\n" for line in lines))

    def start_program(self, clock, speed=1):
        """Starts the program in the work folder with its clock at `clock` on the test's day,
        running `speed` times as fast as the real one."""
        env = dict(self.env)
        env["LD_PRELOAD"] = FAKETIME_LIBRARY
        env["FAKETIME"] = f"@{DAY} {clock}" + (f" x{speed}" if speed != 1 else "")
        spawned = time.time()
        self.program = self.start("vesperkeep", [self.program_path], env=env, cwd=self.work)
        self.clock = FakeClock(clock, speed, spawned)

    def wait_for_exit(self, timeout):
        try:
            return self.program.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not end within {timeout} s")

    def others_in_group(self):
        """Processes still running in the program's process group besides the program."""
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == self.program.pid:
                continue
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    fields = stat.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if fields[0] != "Z" and int(fields[2]) == self.program.pid:
                found.append(int(entry))
        return found

    # --- windows ----------------------------------------------------------------------------

    def tree(self):
        """Every window below the root, by id."""
        windows, stack = {}, []
        root = None
        for line in self._run_text(["xwininfo", "-root", "-tree"]).splitlines():
            if root is None:
                match = re.search(r"Window id: (0x[0-9a-f]+)", line)
                if match:
                    root = int(match.group(1), 16)
                continue
            match = _TREE_LINE.match(line)
            if not match:
                continue
            indent = len(match.group(1))
            while stack and stack[-1][0] >= indent:
                stack.pop()
            parent = stack[-1][1] if stack else root
            wid = int(match.group(2), 16)
            windows[wid] = Window(wid, match.group(3), match.group(4), parent,
                                  *(int(match.group(n)) for n in (5, 6, 7, 8)))
            stack.append((indent, wid))
        self.root = root
        return windows

    def program_window_ids(self, visible_only=False):
        argv = ["xdotool", "search"] + (["--onlyvisible"] if visible_only else [])
        output = self._run_text(argv + ["--pid", str(self.program.pid)], check_status=False)
        return {int(line) for line in output.split()}

    def top_levels(self, name=None, visible_only=False):
        """The program's windows that are children of the root, optionally by caption."""
        ids = self.program_window_ids(visible_only)
        windows = self.tree()
        return [w for w in windows.values()
                if w.id in ids and w.parent == self.root and (name is None or w.name == name)]

    def icons(self):
        """The program's windows docked somewhere below the root: its notification-area icons."""
        windows = self.tree()
        owner_class = windows[self.main_id].wm_class if self.main_id in windows else None
        return [w for w in windows.values()
                if w.parent != self.root and w.wm_class and w.wm_class == owner_class]

    def property_text(self, wid, name):
        return self._run_text(["xprop", "-id", str(wid), name])

    def visible(self, wid):
        output = self._run_text(["xwininfo", "-id", str(wid)], check_status=False)
        return "Map State: IsViewable" in output

    def main_window(self, timeout=30):
        """Waits for the main window to exist and returns its id; it also dates the start of
        the program's clock, which lies before the window's creation."""
        def find():
            found = self.top_levels(MAIN_CAPTION)
            return found[0].id if found else None

        try:
            self.main_id = self.wait_for(f'a window captioned "{MAIN_CAPTION}"', find, timeout)
        except Failure:
            names = [w.name for w in self.top_levels()]
            raise Failure(f'no window captioned "{MAIN_CAPTION}"; the program\'s windows: '
                          f"{names}")
        created = self.events("create", self.main_id)
        self.clock.latest = created[0]["t"] if created else time.time()
        return self.main_id

    def wait_visible(self, wid, what, timeout=30):
        self.wait_for(f"{what} to be shown", lambda: self.visible(wid), timeout)

    def wait_hidden(self, wid, what, timeout=30):
        self.wait_for(f"{what} to be hidden", lambda: not self.visible(wid), timeout)

    def wait_icon(self, timeout=30):
        def docked_and_shown():
            icons = self.icons()
            return icons if icons and all(self.visible(w.id) for w in icons) else None

        return self.wait_for("the icon in the notification area", docked_and_shown, timeout)

    def message_boxes(self):
        return self.top_levels(TITLE, visible_only=True)

    # --- input --------------------------------------------------------------------------------

    def xdotool(self, *args):
        self._run_text(["xdotool", *map(str, args)])

    def press_icon(self, button):
        icons = self.icons()
        check(len(icons) == 1, f"expected one icon to press, found {icons}")
        x, y = icons[0].centre()
        self.xdotool("mousemove", x, y, "click", button)

    def click(self, wid, position, button=1, repeat=1):
        x, y = position
        self.xdotool("mousemove", "--window", wid, x, y, "click", "--repeat", repeat,
                     "--delay", 100, button)

    def focus(self, wid):
        self.xdotool("windowfocus", "--sync", wid)

    def keys(self, *keys):
        self.xdotool("key", "--delay", 50, *keys)

    def clipboard(self):
        return self._xhelper("clipboard")

    def message_text(self, box):
        """The text a message box shows, through the copy it puts on the clipboard on Ctrl+C."""
        self.focus(box.id)
        self.keys("ctrl+c")
        return [line for line in self.clipboard().splitlines()
                if line and not line.startswith("-----")]

    def field_text(self, field):
        """A field's text: a marker is typed after it, the whole line copied, the marker taken
        off again."""
        self.focus(self.main_id)
        self.click(self.main_id, FIELDS[field])
        self.keys("End")
        self.xdotool("type", "--delay", 50, "qz")
        self.keys("ctrl+a", "ctrl+c", "End", "BackSpace", "BackSpace")
        text = self.clipboard()
        check(text.endswith("qz"), f"copying {field} gave {text!r}")
        return text[:-2]

    def close_window(self, wid):
        self._xhelper("close", hex(wid))


def main(scenarios):
    """Runs the scenario named on the command line: scenarios.py NAME PROGRAM."""
    if len(sys.argv) != 3 or sys.argv[1] not in scenarios:
        sys.exit(f"usage: {sys.argv[0]} {{{','.join(scenarios)}}} PROGRAM")
    name, program = sys.argv[1], sys.argv[2]
    started = time.monotonic()
    try:
        with Scene(program, name) as scene:
            scenarios[name](scene)
    except Exception:  # already reported by the scene
        sys.exit(1)
    print(f"passed: {name} in {time.monotonic() - started:.1f} s")
