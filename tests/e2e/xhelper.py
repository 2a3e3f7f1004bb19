"""Small Xlib tools the end-to-end tests need and the command-line X utilities lack.

  xhelper.py monitor LOG    log the map, unmap, reparent, create and destroy events of the
                            windows below the root, and the client messages sent to the root,
                            one JSON object a line with the real time it arrived
  xhelper.py clipboard      print the text held in the CLIPBOARD selection
  xhelper.py close WINDOW   ask a window to close, as a window manager's close button does
  xhelper.py owner NAME     print the window that owns the selection NAME, 0 for none

Each runs as its own process, so an X server that goes away ends the tool, never the test.
"""
import ctypes
import ctypes.util
import json
import os
import select
import signal
import sys
import time

xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")

Window = ctypes.c_ulong
Atom = ctypes.c_ulong


class XAnyEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", Window)]


class XEventWindows(ctypes.Structure):
    # The layout shared by the structure events: after the common head come the window the
    # event was reported to and the window it is about (for CreateNotify: parent and window).
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", Window), ("window", Window),
                ("third", Window)]


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", Window), ("message_type", Atom),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XSelectionEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("requestor", Window), ("selection", Atom),
                ("target", Atom), ("property", Atom), ("time", ctypes.c_ulong)]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("any", XAnyEvent), ("windows", XEventWindows),
                ("client", XClientMessageEvent), ("selection", XSelectionEvent),
                ("pad", ctypes.c_long * 24)]


xlib.XOpenDisplay.restype = ctypes.c_void_p
xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
xlib.XDefaultRootWindow.restype = Window
xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
xlib.XSelectInput.argtypes = [ctypes.c_void_p, Window, ctypes.c_long]
xlib.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
xlib.XPending.argtypes = [ctypes.c_void_p]
xlib.XFlush.argtypes = [ctypes.c_void_p]
xlib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
xlib.XConnectionNumber.argtypes = [ctypes.c_void_p]
xlib.XInternAtom.restype = Atom
xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
xlib.XGetAtomName.restype = ctypes.c_void_p
xlib.XGetAtomName.argtypes = [ctypes.c_void_p, Atom]
xlib.XFree.argtypes = [ctypes.c_void_p]
xlib.XCreateSimpleWindow.restype = Window
xlib.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_int,
                                     ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                     ctypes.c_ulong]
xlib.XConvertSelection.argtypes = [ctypes.c_void_p, Atom, Atom, Atom, Window, ctypes.c_ulong]
xlib.XGetWindowProperty.argtypes = [ctypes.c_void_p, Window, Atom, ctypes.c_long, ctypes.c_long,
                                    ctypes.c_int, Atom, ctypes.POINTER(Atom),
                                    ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
                                    ctypes.POINTER(ctypes.c_ulong),
                                    ctypes.POINTER(ctypes.c_void_p)]
xlib.XSendEvent.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_long,
                            ctypes.POINTER(XEvent)]
xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
xlib.XGetSelectionOwner.restype = Window
xlib.XGetSelectionOwner.argtypes = [ctypes.c_void_p, Atom]

CREATE_NOTIFY, DESTROY_NOTIFY, UNMAP_NOTIFY, MAP_NOTIFY = 16, 17, 18, 19
REPARENT_NOTIFY, SELECTION_NOTIFY, CLIENT_MESSAGE = 21, 31, 33
STRUCTURE_NOTIFY_MASK, SUBSTRUCTURE_NOTIFY_MASK = 1 << 17, 1 << 19
NAMES = {CREATE_NOTIFY: "create", DESTROY_NOTIFY: "destroy", UNMAP_NOTIFY: "unmap",
         MAP_NOTIFY: "map", REPARENT_NOTIFY: "reparent"}


def open_display():
    display = xlib.XOpenDisplay(None)
    if not display:
        sys.exit("cannot open display " + os.environ.get("DISPLAY", ""))
    return display


def atom_name(display, atom):
    pointer = xlib.XGetAtomName(display, atom)
    if not pointer:
        return str(atom)
    name = ctypes.string_at(pointer).decode()
    xlib.XFree(pointer)
    return name


def monitor(log_path):
    display = open_display()
    root = xlib.XDefaultRootWindow(display)
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    xlib.XSelectInput(display, root, STRUCTURE_NOTIFY_MASK | SUBSTRUCTURE_NOTIFY_MASK)
    xlib.XSync(display, 0)  # selected for certain before the log says it is ready
    with open(log_path, "a", buffering=1) as log:
        log.write(json.dumps({"t": time.time(), "type": "ready"}) + "\n")
        event = XEvent()
        while not stopping:
            while xlib.XPending(display):
                xlib.XNextEvent(display, ctypes.byref(event))
                record = {"t": time.time()}
                if event.type in NAMES:
                    record["type"] = NAMES[event.type]
                    record["window"] = event.windows.window
                    if event.type == CREATE_NOTIFY:
                        record["parent"] = event.windows.event
                    elif event.type == REPARENT_NOTIFY:
                        record["parent"] = event.windows.third
                elif event.type == CLIENT_MESSAGE:
                    record["type"] = "message"
                    record["window"] = event.client.window
                    record["name"] = atom_name(display, event.client.message_type)
                    record["data"] = list(event.client.data)
                else:
                    continue
                log.write(json.dumps(record) + "\n")
            try:
                select.select([xlib.XConnectionNumber(display)], [], [], 0.2)
            except InterruptedError:
                pass


def clipboard():
    display = open_display()
    root = xlib.XDefaultRootWindow(display)
    window = xlib.XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0)
    selection = xlib.XInternAtom(display, b"CLIPBOARD", 0)
    target = xlib.XInternAtom(display, b"UTF8_STRING", 0)
    into = xlib.XInternAtom(display, b"VESPERKEEP_E2E_CLIPBOARD", 0)
    xlib.XConvertSelection(display, selection, target, into, window, 0)
    xlib.XFlush(display)
    deadline = time.monotonic() + 10
    event = XEvent()
    while time.monotonic() < deadline:
        while xlib.XPending(display):
            xlib.XNextEvent(display, ctypes.byref(event))
            if event.type != SELECTION_NOTIFY:
                continue
            if event.selection.property == 0:
                sys.exit("the clipboard holds no text")
            kind, width = Atom(), ctypes.c_int()
            count, remaining, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
            xlib.XGetWindowProperty(display, window, into, 0, 1 << 20, 1, 0, ctypes.byref(kind),
                                    ctypes.byref(width), ctypes.byref(count),
                                    ctypes.byref(remaining), ctypes.byref(data))
            text = ctypes.string_at(data, count.value) if data else b""
            if data:
                xlib.XFree(data)
            sys.stdout.write(text.decode("utf-8", "replace"))
            return
        select.select([xlib.XConnectionNumber(display)], [], [], 0.2)
    sys.exit("no answer from the clipboard's owner")


def close(window_text):
    display = open_display()
    window = int(window_text, 0)
    event = XEvent()
    event.client.type = CLIENT_MESSAGE
    event.client.window = window
    event.client.message_type = xlib.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.client.format = 32
    event.client.data[0] = xlib.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.client.data[1] = 0  # CurrentTime
    xlib.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    xlib.XFlush(display)
    xlib.XCloseDisplay(display)


def owner(name):
    display = open_display()
    print(xlib.XGetSelectionOwner(display, xlib.XInternAtom(display, name.encode(), 0)))
    xlib.XCloseDisplay(display)


if __name__ == "__main__":
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "monitor" and len(sys.argv) == 3:
        monitor(sys.argv[2])
    elif command == "clipboard" and len(sys.argv) == 2:
        clipboard()
    elif command == "close" and len(sys.argv) == 3:
        close(sys.argv[2])
    elif command == "owner" and len(sys.argv) == 3:
        owner(sys.argv[2])
    else:
        sys.exit(__doc__)
