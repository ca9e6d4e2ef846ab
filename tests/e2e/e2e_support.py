"""What the end-to-end scripts share: the program started from a scratch folder with a
small data file and a settings file, the data file's bytes, xdotool, and the close box."""
import contextlib
import ctypes
import ctypes.util
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

# The window's outer geometry, left 60, top 120, width 760.
SETTINGS = "[form]\nform1.top=120\nform1.left=60\nform1.width=760\n"


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def data_file(records):
    """records: (parent, title, body) in pre-order; strings are encoded as code page 932."""
    def string(text):
        raw = text.encode("cp932")
        return struct.pack("<i", len(raw)) + raw

    out = string("Dummy") + struct.pack("<i", len(records))
    for index, (parent, title, body) in enumerate(records):
        out += struct.pack("<ii", parent, index) + string(title) + string(body)
    return out


def xdotool(*args, timeout=20):
    result = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=timeout)
    if result.returncode != 0:
        fail("xdotool %s: %s" % (" ".join(map(str, args)), result.stderr.strip()))
    return result.stdout


def find_window(name):
    return xdotool("search", "--sync", "--onlyvisible", "--name", name).split()[0]


def send_close(window):
    """Asks the window to close as a window manager's close box does (WM_DELETE_WINDOW)."""
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    display = x11.XOpenDisplay(None)
    if not display:
        fail("cannot open the X display")
    event = Event()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = int(window)
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.xclient.data[1] = 0  # CurrentTime
    x11.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


def wait_for_file(path, expected, seconds=10):
    deadline = time.time() + seconds
    content = None
    while time.time() < deadline:
        if os.path.exists(path):
            with open(path, "rb") as handle:
                content = handle.read()
            if content == expected:
                return
        time.sleep(0.2)
    fail("%s is not as expected:\n got      %r\n expected %r" % (path, content, expected))


def in_scratch(prefix, run):
    """Calls run(scratch) with a fresh scratch folder, removes the folder and says PASS."""
    scratch = tempfile.mkdtemp(prefix=prefix)
    try:
        run(scratch)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("PASS")


@contextlib.contextmanager
def started(program, scratch, records):
    """Runs a copy of program in scratch, beside youken.dat holding records and the settings
    file (both lie beside the executable), under X; yields the process and the data file's
    path, and kills the program if it still runs afterwards."""
    shutil.copy(program, os.path.join(scratch, "quorvel"))
    youken = os.path.join(scratch, "youken.dat")
    with open(youken, "wb") as handle:
        handle.write(data_file(records))
    with open(os.path.join(scratch, "Quorvel.ini"), "w") as handle:
        handle.write(SETTINGS)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")
    process = subprocess.Popen(["./quorvel"], cwd=scratch, env=env)
    try:
        yield process, youken
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def wait_for_exit(process, hint=""):
    """The program ends by itself, with code 0, within 15 seconds."""
    try:
        code = process.wait(timeout=15)
    except subprocess.TimeoutExpired:
        fail("the program did not end after the close" + hint)
    if code != 0:
        fail("the program ended with %d" % code)


def frame_extents(window):
    """The window manager's frame around the window as (left, right, top, bottom); zeros
    when there is no window manager."""
    out = subprocess.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"], capture_output=True, text=True,
                         timeout=10).stdout
    if "=" not in out:
        return (0, 0, 0, 0)
    return tuple(int(part) for part in out.split("=", 1)[1].split(","))


def client_geometry(window):
    """The client area's (x, y, width, height) on the screen, as the X server has it."""
    out = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True, text=True, timeout=10).stdout
    fields = {}
    for line in out.splitlines():
        if ":" in line:
            key, value = line.strip().split(":", 1)
            fields[key.strip()] = value.strip()
    try:
        return (int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]), int(fields["Width"]),
                int(fields["Height"]))
    except (KeyError, ValueError):
        fail("xwininfo -id %s: %s" % (window, out))


def outer_geometry(window):
    """The window's outer (left, top, width, height), its frame included."""
    left, right, top, bottom = frame_extents(window)
    x, y, width, height = client_geometry(window)
    return (x - left, y - top, width + left + right, height + top + bottom)


def wait_for_outer_geometry(window, expected, seconds=5):
    """Waits until the window's outer geometry is expected; fails with what it is otherwise."""
    deadline = time.time() + seconds
    geometry = None
    while time.time() < deadline:
        geometry = outer_geometry(window)
        if geometry == tuple(expected):
            return geometry
        time.sleep(0.1)
    fail("outer geometry %s, expected %s (frame %s)" % (geometry, tuple(expected), frame_extents(window)))


def read_settings(scratch):
    """The keys of the settings file beside the executable, as a dict of strings."""
    with open(os.path.join(scratch, "Quorvel.ini")) as handle:
        return dict(line.strip().split("=", 1) for line in handle if "=" in line)
