"""Measures the Release program against the floor, a bare window with the same form, picture and
two idle timers, in one run on the same machine, and prints the table of bench/README.md.

  python3 bench/run.py BUILD_DIR [--runs N] [--idle SECONDS] [--instances N] [--day-speed X]
                       [--callgrind N] [--keep]

Phases:
  1. start-up: the two programs one at a time, alternating which goes first, each run from exec
     to the MapNotify of its main window as bench-x sees it on the root window, then VmRSS and
     VmHWM five seconds after exec. One discarded run of each first warms the caches.
  2. at the same time, on two X servers of their own:
     idle: INSTANCES of each program run side by side; from 15 s after the last one started,
           the context switches and CPU time of all their threads over IDLE seconds, with the
           program hidden in the notification area (checked) and the floor's window shown;
     day:  INSTANCES of each under libfaketime from 00:00 on, a day passing in 86400/X real
           seconds, with a settings file whose backup runs once (recorders in place of the stop
           command and 7z) and whose shutdown window never opens; RSS 5 s after exec against RSS
           at the end of the day; then, on the same X server, the instructions each program runs
           from exec to its request to map the main window, counted by callgrind.
"""
import argparse
import datetime
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from world import BenchError, World, activity, status, stop_group  # noqa: E402

DAY_START = "2024-03-05 00:00:00"
DAY_BACKUP = "02:00:00"
SETTLE_S = 15.0
RSS_AT_S = 5.0
# The program's timers that run while it waits: Timer2 and Timer3; the floor keeps the same two.
IDLE_PERIODS_S = (300.0, 60.0)

TARGET_STARTUP = 1.10
TARGET_RSS = 1.15
TARGET_DAY_PERCENT = 1.0


def settings_file(folder, backup_time):
    """A settings file in `folder`: the recorders as stop command and archiver, and a shutdown
    window from 23:00 to 01:00 that never opens."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "dbbkcfg.txt"), "w") as out:
        out.write(f"stop-database now\n{folder}/\n{folder}/dbbkcfg.txt\n{backup_time}\n"
                  "23:00:00\n01:00:00\n")
    return folder


def far_backup_time():
    """A backup time twelve hours away, so no check of this run reaches it."""
    later = datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(hours=12)
    return later.strftime("%H:%M:%S")


def spread(values):
    return {"median": statistics.median(values), "min": min(values), "max": max(values),
            "n": len(values)}


def firings(started, since, until, periods=IDLE_PERIODS_S):
    """How often timers with `periods`, switched on at `started`, fire in (since, until]."""
    count = 0
    for period in periods:
        count += int((until - started) // period) - int((since - started) // period)
    return count


def machine():
    model = "?"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break

    def text(argv):
        try:
            return subprocess.run(argv, capture_output=True, text=True).stdout.strip()
        except OSError:
            return "?"

    with open("/etc/debian_version") as version:
        debian = version.read().strip()
    return {"nproc": os.cpu_count(), "cpu": model, "debian": debian,
            "kernel": platform.release(),
            "qt": text(["dpkg-query", "-W", "-f=${Version}", "libqt6core6"]),
            "compiler": "g++ " + text(["g++", "-dumpfullversion"])}


def load():
    with open("/proc/loadavg") as average:
        return " ".join(average.read().split()[:3])


class Busy:
    """How busy every CPU of the machine was over a span, from /proc/stat, in per cent."""

    def __init__(self):
        self.begin = self._read()

    @staticmethod
    def _read():
        with open("/proc/stat") as stat:
            fields = [int(value) for value in stat.readline().split()[1:]]
        idle = fields[3] + fields[4]
        return sum(fields), idle

    def percent(self):
        total, idle = self._read()
        spent = total - self.begin[0]
        return 100.0 * (spent - (idle - self.begin[1])) / spent if spent else 0.0


# --- phase 1 ------------------------------------------------------------------------------


def start_up(world, programs, runs, log):
    figures = {name: {"mapped_ms": [], "cpu_ms": [], "VmRSS": [], "VmHWM": []}
               for name in programs}
    hidden_at_5s = {name: [] for name in programs}
    order = list(programs)
    for run in range(-1, runs):
        for name in (order if run % 2 == 0 else order[::-1]):
            folder = settings_file(os.path.join(world.folder, "start-up", name), far_backup_time())
            running = world.launch(f"start-up-{name}", programs[name], folder)
            try:
                running.wait_until(RSS_AT_S)
                memory = status(running.pid)
                windows = world.windows(running.pid)
            finally:
                running.stop()
            if run < 0:
                continue  # the warm-up
            figures[name]["mapped_ms"].append(running.mapped_ms)
            figures[name]["cpu_ms"].append(running.cpu_to_map_ms)
            figures[name]["VmRSS"].append(memory["VmRSS"])
            figures[name]["VmHWM"].append(memory["VmHWM"])
            hidden_at_5s[name].append(not any(w[0] == "top" and w[1] == "viewable"
                                              for w in windows))
            time.sleep(1.0)  # the tray and the X server settle after the last one
        if run >= 0:
            log(f"  start-up run {run + 1}/{runs}: " + ", ".join(
                f"{name} {figures[name]['mapped_ms'][-1]:.1f} ms" for name in order))
    return figures, hidden_at_5s


def instructions(world, programs, runs, log):
    """Instructions each program runs from exec to its request to map the main window, counted
    by callgrind: the start-up cost without the noise of a shared machine."""
    counts = {name: [] for name in programs}
    for run in range(runs):
        for name, program in programs.items():
            folder = settings_file(os.path.join(world.folder, "instructions", name),
                                   far_backup_time())
            out = os.path.join(folder, f"callgrind-{run}")
            process = world.start(f"callgrind-{name}", [
                "valgrind", "--tool=callgrind", f"--callgrind-out-file={out}.%p",
                "--dump-before=xcb_map_window", program], cwd=folder)
            dump = f"{out}.{process.pid}.1"
            deadline = time.monotonic() + 120
            total = None
            while total is None and time.monotonic() < deadline and process.poll() is None:
                time.sleep(0.5)
                if os.path.exists(dump):
                    with open(dump) as text:
                        for line in text:
                            if line.startswith("totals:"):
                                total = int(line.split()[1])
            stop_group(process)
            if total is None:
                raise BenchError(f"callgrind gave no count for {name}; see {world.logs}")
            counts[name].append(total / 1e6)
    log(f"  instructions to the map: " + ", ".join(
        f"{name} {statistics.median(values):.1f} M" for name, values in counts.items()))
    return counts


# --- phase 2: idle ------------------------------------------------------------------------


def check_idle_state(world, name, running):
    windows = world.windows(running.pid)
    shown = any(w[0] == "top" and w[1] == "viewable" for w in windows)
    in_tray = any(w[0] == "embedded" and w[1] == "viewable" for w in windows)
    if name == "vesperkeep" and (shown or not in_tray):
        raise BenchError(f"{running.label} is not hidden in the notification area: {windows}")
    if name == "floor" and not shown:
        raise BenchError(f"{running.label} does not show its window: {windows}")


def idle(world, programs, instances, seconds, log):
    started = []
    try:
        for index in range(instances):
            for name in programs:
                folder = settings_file(os.path.join(world.folder, "idle", f"{name}-{index}"),
                                       far_backup_time())
                started.append((name, world.launch(f"idle-{name}-{index}", programs[name],
                                                   folder)))
                time.sleep(0.5)
        time.sleep(SETTLE_S)
        for name, running in started:
            check_idle_state(world, name, running)
        begin_at = time.monotonic()
        begin = {running.pid: activity(running.pid) for _, running in started}
        log(f"  idle: {len(started)} programs hidden or shown as they should be; "
            f"waiting {seconds:.0f} s")
        time.sleep(seconds)
        end = {running.pid: activity(running.pid) for _, running in started}
        end_at = time.monotonic()
        for name, running in started:
            check_idle_state(world, name, running)
    finally:
        for _, running in started:
            running.stop()

    figures = {name: {"voluntary": [], "cpu_ms": [], "firings": [], "threads": []}
               for name in programs}
    for name, running in started:
        before, after = begin[running.pid], end[running.pid]
        figures[name]["voluntary"].append(after["voluntary"] - before["voluntary"])
        figures[name]["cpu_ms"].append((after["cpu_ns"] - before["cpu_ns"]) / 1e6)
        figures[name]["firings"].append(firings(running.started, begin_at, end_at))
        figures[name]["threads"].append(after["threads"])
        if after["threads"] != before["threads"]:
            log(f"  note: {running.label} went from {before['threads']} to "
                f"{after['threads']} threads during the idle span")
    return figures, end_at - begin_at


# --- phase 2: the simulated day -----------------------------------------------------------


def day(world, programs, instances, speed, result, log):
    length = 86400.0 / speed
    world.add_recorder("stop-database")
    world.add_recorder("7z")
    started = []
    samples = {}
    wakeups = {}
    series = {}  # anonymous and file-backed parts, for the log
    try:
        for index in range(instances):
            for name in programs:
                folder = settings_file(os.path.join(world.folder, "day", f"{name}-{index}"),
                                       DAY_BACKUP)
                running = world.launch(f"day-{name}-{index}", programs[name], folder,
                                       clock=f"@{DAY_START} x{speed:g}")
                started.append((name, folder, running))
                samples[running.pid] = []
                series[running.pid] = []
        # The last start's RSS-at-start-up sample comes RSS_AT_S after it; every program's day
        # ends `length` after its own start.
        pending = {running.pid: RSS_AT_S for _, _, running in started}
        ends = {running.pid: length - 1.0 for _, _, running in started}
        while pending:
            next_pid, next_at = min(pending.items(), key=lambda item: item[1])
            running = next(r for _, _, r in started if r.pid == next_pid)
            running.wait_until(next_at)
            memory = status(next_pid)
            samples[next_pid].append((next_at, memory["VmRSS"]))
            series[next_pid].append((next_at, memory["RssAnon"], memory["RssFile"]))
            if len(samples[next_pid]) == 1:
                wakeups[next_pid] = activity(next_pid)["voluntary"]
            if next_at >= ends[next_pid]:
                wakeups[next_pid] = activity(next_pid)["voluntary"] - wakeups[next_pid]
            later = next_at + 5.0
            if next_at >= ends[next_pid]:
                del pending[next_pid]
            else:
                pending[next_pid] = min(later, ends[next_pid])
    finally:
        for _, _, running in started:
            running.stop()

    figures = {name: {"start_rss": [], "end_rss": [], "peak_rss": [], "percent": [],
                      "stops": [], "archives": [], "wakeups": [], "anon_change": [], "file_change": []}
               for name in programs}
    for name, folder, running in started:
        rss = [value for _, value in samples[running.pid]]
        first, last = rss[0], rss[-1]
        figures[name]["start_rss"].append(first)
        figures[name]["end_rss"].append(last)
        figures[name]["peak_rss"].append(max(rss))
        figures[name]["percent"].append(100.0 * (last - first) / first)
        figures[name]["wakeups"].append(wakeups[running.pid])
        parts = series[running.pid]
        figures[name]["anon_change"].append(parts[-1][1] - parts[0][1])
        figures[name]["file_change"].append(parts[-1][2] - parts[0][2])

        def count(recorder):
            path = os.path.join(folder, recorder + ".runs")
            if not os.path.exists(path):
                return 0
            with open(path) as runs:
                return sum(1 for _ in runs)

        figures[name]["stops"].append(count("stop-database"))
        figures[name]["archives"].append(count("7z"))
        with open(os.path.join(world.logs, f"day-{name}-rss.txt"), "a") as out:
            out.write(f"{running.label} (real s: anonymous+file KiB): " + " ".join(
                f"{at:.0f}={anon}+{mapped}" for at, anon, mapped in series[running.pid]) + "\n")
    result["figures"] = figures
    result["length"] = length
    log(f"  day: {len(started)} programs through a day of {length:.0f} real seconds")


# --- the table ----------------------------------------------------------------------------


def cell(values, digits=1):
    s = spread(values)
    form = f"{{:.{digits}f}}"
    return (f"{form.format(s['median'])} ({form.format(s['min'])}–{form.format(s['max'])})")


def ratio(real, floor):
    base = statistics.median(floor)
    return statistics.median(real) / base if base else float("nan")


def shown(value):
    return "—" if value != value else f"{value:.2f}x"


def table(results):
    s, i, d = results["start_up"], results["idle"], results["day"]
    runs = len(s["vesperkeep"]["mapped_ms"])
    instances = len(i["vesperkeep"]["voluntary"])
    rows = []

    def add(figure, real, floor, shown_ratio, target, met, digits=1):
        verdict = "—" if met is None else "met" if met else "**missed**"
        rows.append(f"| {figure} | {cell(real, digits)} | {cell(floor, digits)} | {shown_ratio} "
                    f"| {target} | {verdict} |")

    r = ratio(s["vesperkeep"]["mapped_ms"], s["floor"]["mapped_ms"])
    add(f"exec → main window mapped (MapNotify on the root), ms, {runs} runs",
        s["vesperkeep"]["mapped_ms"], s["floor"]["mapped_ms"], f"{r:.2f}x",
        f"≤ {TARGET_STARTUP:.2f}x", r <= TARGET_STARTUP)
    rows.append(f"| CPU time of all threads from exec to that MapNotify, ms, {runs} runs | "
                f"{cell(s['vesperkeep']['cpu_ms'])} | {cell(s['floor']['cpu_ms'])} | "
                f"{ratio(s['vesperkeep']['cpu_ms'], s['floor']['cpu_ms']):.2f}x | — | — |")
    if "instructions" in results:
        n = results["instructions"]
        rows.append(f"| instructions from exec to the map request (callgrind), millions, "
                    f"{len(n['vesperkeep'])} runs | {cell(n['vesperkeep'])} | {cell(n['floor'])} "
                    f"| {ratio(n['vesperkeep'], n['floor']):.2f}x | — | — |")
    for key in ("VmRSS", "VmHWM"):
        r = ratio(s["vesperkeep"][key], s["floor"][key])
        add(f"{key} 5 s after exec, KiB, {runs} runs", s["vesperkeep"][key], s["floor"][key],
            f"{r:.2f}x", f"≤ {TARGET_RSS:.2f}x", r <= TARGET_RSS, 0)
    fires = max(i["vesperkeep"]["firings"])
    real_v = statistics.median(i["vesperkeep"]["voluntary"])
    floor_v = statistics.median(i["floor"]["voluntary"])
    add(f"voluntary context switches, all threads, {results['idle_seconds']:.0f} s idle, "
        f"{instances} runs", i["vesperkeep"]["voluntary"], i["floor"]["voluntary"],
        f"{real_v - floor_v:+.0f}", f"≤ floor + {fires} (timer firings)",
        real_v <= floor_v + fires, 0)
    r = ratio(i["vesperkeep"]["cpu_ms"], i["floor"]["cpu_ms"])
    rows.append(f"| CPU time in that span, ms, {instances} runs | "
                f"{cell(i['vesperkeep']['cpu_ms'], 2)} | {cell(i['floor']['cpu_ms'], 2)} | "
                f"{shown(r)} | — | — |")
    worst = max(abs(p) for p in d["figures"]["vesperkeep"]["percent"])
    add(f"RSS at the end of a simulated day against 5 s after exec, %, {instances} runs",
        d["figures"]["vesperkeep"]["percent"], d["figures"]["floor"]["percent"],
        "—", f"every run within ±{TARGET_DAY_PERCENT:g} %", worst <= TARGET_DAY_PERCENT, 2)
    rows.append("| of which anonymous (heap, stacks), KiB change | "
                f"{cell(d['figures']['vesperkeep']['anon_change'], 0)} | "
                f"{cell(d['figures']['floor']['anon_change'], 0)} | — | — | — |")
    rows.append("| of which file-backed (code and data of the binary and libraries), KiB change | "
                f"{cell(d['figures']['vesperkeep']['file_change'], 0)} | "
                f"{cell(d['figures']['floor']['file_change'], 0)} | — | — | — |")
    add(f"RSS 5 s after exec in the day (faked clock), KiB",
        d["figures"]["vesperkeep"]["start_rss"], d["figures"]["floor"]["start_rss"],
        f"{ratio(d['figures']['vesperkeep']['start_rss'], d['figures']['floor']['start_rss']):.2f}x",
        "—", None, 0)
    add(f"RSS at the end of the day, KiB", d["figures"]["vesperkeep"]["end_rss"],
        d["figures"]["floor"]["end_rss"],
        f"{ratio(d['figures']['vesperkeep']['end_rss'], d['figures']['floor']['end_rss']):.2f}x",
        "—", None, 0)

    header = ["| Figure | vesperkeep median (min–max) | floor median (min–max) | ratio | target | |",
              "|---|---|---|---|---|---|"]
    m = results["machine"]
    stops = d["figures"]["vesperkeep"]["stops"]
    archives = d["figures"]["vesperkeep"]["archives"]
    once = ("" if all(count == 1 for count in stops + archives)
            else " (**not once each: the day did not run as meant**)")
    notes = [
        "",
        f"Machine: {m['nproc']} CPUs, {m['cpu']}, Debian {m['debian']}, kernel {m['kernel']}, "
        f"Qt {m['qt']}, {m['compiler']}, Release build.",
        f"Load average (1, 5, 15 min): {results['load_before']} before, "
        f"{results['load_middle']} after the start-up phase, {results['load_after']} after; "
        f"all CPUs {results['busy_start_up']:.0f} % busy during the start-up phase and "
        f"{results['busy_rest']:.0f} % during the idle and day phases (the bench's own "
        "programs included).",
        f"Simulated day: 86400 s in {d['length']:.0f} real seconds (libfaketime "
        f"x{results['day_speed']:g}), backup at {DAY_BACKUP}; stop command ran "
        f"{'/'.join(map(str, stops))} times and 7z {'/'.join(map(str, archives))} times in the "
        f"vesperkeep runs{once}; the shutdown window 23:00–01:00 never opens. Voluntary context "
        f"switches over the day: vesperkeep {cell(d['figures']['vesperkeep']['wakeups'], 0)}, "
        f"floor {cell(d['figures']['floor']['wakeups'], 0)}; peak RSS: vesperkeep "
        f"{cell(d['figures']['vesperkeep']['peak_rss'], 0)} KiB, floor "
        f"{cell(d['figures']['floor']['peak_rss'], 0)} KiB.",
        f"Hidden at 5 s: vesperkeep {sum(s['hidden']['vesperkeep'])}/{runs} runs; "
        f"threads while idle: vesperkeep {cell(i['vesperkeep']['threads'], 0)}, "
        f"floor {cell(i['floor']['threads'], 0)}.",
        f"Whole run: {results['seconds'] / 60:.1f} min.",
    ]
    return "\n".join(header + rows + notes)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--idle", type=float, default=180.0)
    parser.add_argument("--instances", type=int, default=3)
    parser.add_argument("--day-speed", type=float, default=480.0)
    parser.add_argument("--callgrind", type=int, default=2,
                        help="runs of each program under callgrind (0: none)")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    arguments = parser.parse_args()

    build = os.path.abspath(arguments.build)
    programs = {"vesperkeep": os.path.join(build, "app", "vesperkeep"),
                "floor": os.path.join(build, "bench", "vesperkeep-floor")}
    bench_x = os.path.join(build, "bench", "bench-x")
    for path in list(programs.values()) + [bench_x]:
        if not os.access(path, os.X_OK):
            sys.exit(f"missing {path}: build with -DVESPERKEEP_BENCH=ON first")

    def log(text):
        print(text, file=sys.stderr, flush=True)

    began = time.monotonic()
    folder = tempfile.mkdtemp(prefix="vesperkeep-bench-")
    results = {"machine": machine(), "load_before": load(), "day_speed": arguments.day_speed,
               "runs": arguments.runs, "instances": arguments.instances}
    worlds = []
    try:
        log(f"bench: start-up, {arguments.runs} runs of each program")
        main_world = World(os.path.join(folder, "main"), bench_x, "main").open()
        worlds.append(main_world)
        busy = Busy()
        figures, hidden = start_up(main_world, programs, arguments.runs, log)
        figures["hidden"] = hidden
        results["start_up"] = figures
        results["busy_start_up"] = busy.percent()
        results["load_middle"] = load()

        log(f"bench: idle for {arguments.idle:.0f} s and a simulated day, side by side")
        day_world = World(os.path.join(folder, "day"), bench_x, "day").open()
        worlds.append(day_world)
        busy = Busy()
        day_result, day_error = {}, []

        def run_day():
            try:
                day(day_world, programs, arguments.instances, arguments.day_speed, day_result,
                    log)
                if arguments.callgrind:
                    results["instructions"] = instructions(day_world, programs,
                                                           arguments.callgrind, log)
            except Exception as error:  # reported by the main thread
                day_error.append(error)

        day_thread = threading.Thread(target=run_day)
        day_thread.start()
        try:
            results["idle"], results["idle_seconds"] = idle(
                main_world, programs, arguments.instances, arguments.idle, log)
        finally:
            day_thread.join()
        if day_error:
            raise day_error[0]
        results["day"] = day_result
        results["busy_rest"] = busy.percent()
        results["load_after"] = load()
    except BenchError as error:
        sys.exit(f"bench: {error} (logs kept in {folder})")
    finally:
        for world in reversed(worlds):
            world.close()
    results["seconds"] = time.monotonic() - began

    text = table(results)
    print(text)
    with open(os.path.join(build, "bench-results.md"), "w") as out:
        out.write(text + "\n")
    with open(os.path.join(build, "bench-results.json"), "w") as out:
        json.dump(results, out, indent=1)
    if arguments.keep:
        log(f"bench: folder kept: {folder}")
    else:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
