"""End-to-end scenarios of vesperkeep: scenarios.py NAME PROGRAM runs one of them."""
import os
import time
import zipfile

from harness import FIELDS, HIDE_BUTTON, STAMP, check, clock_text, main

STOP_COMMAND = "stop-database --mode fast"
# Times no scenario at the default clock (noon) reaches.
QUIET_TIMES = ["03:00:00", "04:00:00", "05:00:00"]


def settings(scene, times, command=STOP_COMMAND):
    """Writes the settings file with the scene's backup folder and source; returns the archive
    name and the source the archiver is to be given."""
    backups = os.path.join(scene.dir, "backups") + "/"
    source = os.path.join(scene.dir, "data")
    os.makedirs(backups)
    os.makedirs(source)
    scene.write_settings([command, backups, source, *times])
    return backups + STAMP, source


def check_started_in_work(scene, run, args, what):
    check(run.args == args, f"{what} was given {run.args}, expected {args}")
    check(os.path.realpath(run.cwd) == os.path.realpath(scene.work),
          f"{what} ran in {run.cwd}, expected the program's working directory {scene.work}")


def hides_by_itself(scene):
    """The main window is shown at start, then hides into the notification area unasked."""
    window = scene.main_window()
    scene.wait_for("the main window to hide by itself", lambda: scene.events("unmap", window), 30)
    check(scene.events("map", window), "the main window was never shown before it hid")
    icons = scene.wait_icon()
    check(len(icons) == 1, f"expected one icon, found {icons}")
    return window


def night(scene):
    """From start to power-off with the clock twenty times as fast: hiding, the backup in its
    two minutes, the archive five seconds later, and power-off requests every five minutes
    inside the shutdown window only."""
    scene.start_x()
    scene.start_tray()
    scene.start_system_bus()
    scene.add_recorder("stop-database")
    scene.add_recorder("7z")
    # Backup checks come at 01:59:30 (too early) and 02:00:30; shutdown checks at 02:03:30
    # (before the window), 02:08:30 and 02:13:30 (inside) and 02:18:30 (after it).
    archive, source = settings(scene, ["02:00:00", "02:05:00", "02:15:00"])
    scene.start_program("01:58:30", speed=20)

    window = hides_by_itself(scene)
    scene.clock.check_within(scene.events("unmap", window)[0]["t"], "01:58:30", "02:00:00",
                             "the main window hid")

    stop = scene.wait_for("the stop command", lambda: scene.runs("stop-database"), 60)[0]
    scene.clock.check_within(stop.time, "02:00:00", "02:02:00", "the stop command ran")
    check_started_in_work(scene, stop, ["--mode", "fast"], "the stop command")
    packing = scene.wait_for("the archiver", lambda: scene.runs("7z"), 30)[0]
    check_started_in_work(scene, packing, ["a", "-tzip", archive, source], "the archiver")
    delay = scene.clock.elapsed(stop.time, packing.time)
    check(3 <= delay <= 12, f"the archiver started {delay:.1f} s after the stop command, not 5")

    scene.wait_for("the shutdown check after the window", lambda: scene.clock.surely_past(
        "02:20:30"), 120)
    check(len(scene.runs("stop-database")) == 1 and len(scene.runs("7z")) == 1,
          f"the backup ran again: {scene.runs('stop-database')} {scene.runs('7z')}")
    requests = scene.power_off_requests()
    check(len(requests) == 2, f"expected the power-off requests of 02:08:30 and 02:13:30, got "
          f"{[(clock_text(scene.clock.bounds(t)[1]), m) for t, m, _ in requests]}")
    for when, method, _ in requests:
        scene.clock.check_within(when, "02:05:00", "02:15:00", f"{method} was requested")
    spacing = scene.clock.elapsed(requests[0][0], requests[1][0])
    check(280 <= spacing <= 320, f"power-off requests {spacing:.0f} s apart, not 300")
    check(not scene.message_boxes(), "a message box came up during the night")


def icon(scene):
    """A left or right press on the icon brings the window back, "Hide" hides it again with
    still one icon; moves and the middle button change nothing; closing the window ends the
    program."""
    scene.start_x()
    scene.start_tray()
    settings(scene, QUIET_TIMES)
    scene.start_program("12:00:00")

    window = hides_by_itself(scene)
    shown_for = scene.events("unmap", window)[0]["t"] - scene.events("create", window)[0]["t"]
    check(1.0 <= shown_for <= 15, f"the window hid {shown_for:.1f} s after it was made, not 2")

    x, y = scene.icons()[0].centre()
    scene.xdotool("mousemove", x - 4, y - 4, "sleep", 0.2, "mousemove", x + 4, y + 4,
                  "click", 2)
    time.sleep(1.5)  # long enough for a wrong reaction to show
    check(not scene.visible(window), "a move or a middle press on the icon showed the window")

    for button in (1, 3, 1):
        scene.press_icon(button)
        scene.wait_visible(window, f"the window after a press of button {button} on the icon")
        scene.click(window, HIDE_BUTTON)
        scene.wait_hidden(window, 'the window after "Hide"')
        icons = scene.icons()
        check(len(icons) == 1, f'after "Hide" with the icon present: icons {icons}')

    scene.press_icon(1)
    scene.wait_visible(window, "the window")
    scene.close_window(window)
    status = scene.wait_for_exit(15)
    check(status == 0, f"the program ended with status {status} on closing its window")


def stop_command(scene):
    """A double-click on the stop command field runs it; the archiver follows five seconds
    after the first of two double-clicks, once."""
    scene.start_x()
    scene.start_tray()
    scene.add_recorder("stop-database")
    scene.add_recorder("7z")
    archive, source = settings(scene, QUIET_TIMES)
    scene.start_program("12:00:00")
    window = hides_by_itself(scene)
    scene.press_icon(1)
    scene.wait_visible(window, "the window after a press on the icon")

    scene.click(window, FIELDS["Edit6"], repeat=2)
    first = scene.wait_for("the stop command", lambda: scene.runs("stop-database"), 15)[0]
    check_started_in_work(scene, first, ["--mode", "fast"], "the stop command")
    time.sleep(max(0.0, first.time + 3 - time.time()))
    scene.click(window, FIELDS["Edit6"], repeat=2)
    scene.wait_for("the second stop command", lambda: len(scene.runs("stop-database")) == 2, 15)
    packing = scene.wait_for("the archiver", lambda: scene.runs("7z"), 15)[0]
    check_started_in_work(scene, packing, ["a", "-tzip", archive, source], "the archiver")
    delay = packing.time - first.time
    check(4.0 <= delay <= 7.0,
          f"the archiver started {delay:.1f} s after the first double-click, not 5")
    # A re-armed archive step would come five seconds after the second double-click.
    time.sleep(max(0.0, first.time + 10 - time.time()))
    check(len(scene.runs("7z")) == 1, f"the archiver ran more than once: {scene.runs('7z')}")


def missing_settings(scene):
    """Without a settings file the error is shown, then the window with every field empty."""
    scene.start_x()
    scene.start_tray()
    # A clock ten times as slow keeps the window up for twenty seconds before it hides.
    scene.start_program("12:00:00", speed=0.1)
    box = scene.wait_for("the error message", scene.message_boxes, 30)[0]
    text = scene.message_text(box)
    check("File not found." in text, f"the error message reads {text}")
    scene.focus(box.id)
    scene.keys("Return")
    scene.wait_for("the error message to close", lambda: not scene.message_boxes(), 15)

    window = scene.main_window()
    scene.wait_visible(window, "the main window")
    for field in FIELDS:
        content = scene.field_text(field)
        check(content == "", f"{field} holds {content!r} without a settings file")


def bad_backup_time(scene):
    """A backup time that is no time brings its error every minute while the program goes on
    with its other work."""
    scene.start_x()
    scene.start_tray()
    scene.start_system_bus()
    scene.add_recorder("stop-database")
    settings(scene, ["2:61", "01:00:00", "03:00:00"])
    scene.start_program("01:58:30", speed=20)
    scene.main_window()

    boxes = scene.wait_for("three error messages", lambda: (
        lambda found: found if len(found) >= 3 else None)(scene.message_boxes()), 60)
    shown = sorted((scene.events("map", box.id)[0]["t"], box) for box in boxes)
    for (earlier, _), (later, _) in zip(shown, shown[1:]):
        spacing = scene.clock.elapsed(earlier, later)
        check(45 <= spacing <= 80, f"error messages {spacing:.0f} s apart, not 60")
    for _, box in shown:
        text = scene.message_text(box)
        check("'2:61' is not a valid time." in text, f"the error message reads {text}")

    # The shutdown check still runs under the open messages, and closing them ends nothing.
    scene.wait_for("a power-off request", scene.power_off_requests, 60)
    open_boxes = sorted(scene.message_boxes(), key=lambda box: -box.id)
    for box in open_boxes:
        scene.focus(box.id)
        scene.keys("Return")
    closed = {box.id for box in open_boxes}
    scene.wait_for("the error messages to close", lambda: not closed & {
        box.id for box in scene.message_boxes()}, 15)
    scene.wait_for("the next error message", lambda: {
        box.id for box in scene.message_boxes()} - closed, 30)
    check(not scene.runs("stop-database"), "the stop command ran with no valid backup time")


def no_tray(scene):
    """Without a notification area "Hide" minimises, so the window is never out of reach;
    once one appears the next "Hide" uses it."""
    scene.start_x()
    settings(scene, QUIET_TIMES)
    scene.start_program("12:00:00")
    window = scene.main_window()
    scene.wait_visible(window, "the main window")

    def iconify_requests():
        return [event for event in scene.events("message", window)
                if event["name"] == "WM_CHANGE_STATE" and event["data"][0] == 3]

    request = scene.wait_for("a request to minimise the window", iconify_requests, 30)[0]
    shown_for = request["t"] - scene.events("create", window)[0]["t"]
    check(1.0 <= shown_for <= 15, f"the window was minimised {shown_for:.1f} s after it was "
          "made, not 2")
    time.sleep(1.0)  # long enough for a wrong hide to show
    check(not scene.events("unmap", window), "the window was hidden with no icon to restore it")
    check(not scene.icons(), f"icons without a notification area: {scene.icons()}")

    scene.start_tray()
    scene.click(window, HIDE_BUTTON)
    scene.wait_hidden(window, 'the window after "Hide" with a notification area')
    icons = scene.wait_icon()
    check(len(icons) == 1, f"expected one icon, found {icons}")
    requests = len(iconify_requests())
    scene.press_icon(1)
    scene.wait_visible(window, "the window after a press on the icon")
    hints = scene.property_text(window, "WM_HINTS")
    check("Iconic State" not in hints and len(iconify_requests()) == requests,
          f"the restored window is still to be minimised: {hints}")


def real_archiver(scene):
    """With the real 7z the dated zip holds the source files."""
    scene.start_x()
    scene.start_tray()
    scene.add_recorder("stop-database")
    archive, source = settings(scene, ["02:00:00", "03:00:00", "04:00:00"])
    files = {"orders.csv": b"1;widget;3\n2;gadget;5\n", "logs/ib_logfile0": bytes(range(256)) * 8}
    for name, content in files.items():
        os.makedirs(os.path.dirname(os.path.join(source, name)), exist_ok=True)
        with open(os.path.join(source, name), "wb") as out:
            out.write(content)
    scene.start_program("01:59:30", speed=20)
    scene.main_window()
    scene.wait_for("the stop command", lambda: scene.runs("stop-database"), 60)

    zip_path = archive + ".zip"
    scene.wait_for(f"{zip_path} to be written",
                   lambda: os.path.exists(zip_path) and not scene.others_in_group(), 60)
    with zipfile.ZipFile(zip_path) as packed:
        check(packed.testzip() is None, f"{zip_path} is damaged")
        for name, content in files.items():
            stored = "data/" + name
            check(stored in packed.namelist(), f"{stored} is not in {packed.namelist()}")
            check(packed.read(stored) == content, f"{stored} holds other bytes")


SCENARIOS = {scenario.__name__: scenario for scenario in (
    night, icon, stop_command, missing_settings, bad_backup_time, no_tray, real_archiver)}

if __name__ == "__main__":
    main(SCENARIOS)
