#!/usr/bin/env python3
"""End to end: the real program under X, driven by real mouse and key events.

In a scratch folder holding a copy of the executable, a small youken.dat and a settings
file, it selects an entry, adds a child, types its title and body, commits and saves,
adds one more entry, closes the window and answers the save prompt with Enter. Then it
checks the data file byte for byte (and with the data tool when there is one) and the
geometry written to the settings file.

Usage (inside an X server, e.g. xvfb-run -a): commands_e2e.py QUORVEL [QUORVEL_DAT] [SHOT.png]
"""
import ctypes
import ctypes.util
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time


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


def main():
    if len(sys.argv) < 2:
        fail(__doc__)
    program = sys.argv[1]
    data_tool = sys.argv[2] if len(sys.argv) > 2 else ""
    shot = sys.argv[3] if len(sys.argv) > 3 else ""

    scratch = tempfile.mkdtemp(prefix="quorvel-e2e-")
    try:
        run(program, data_tool, shot, scratch)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("PASS")


def run(program, data_tool, shot, scratch):
    # The settings file lies beside the executable: run a copy from the scratch folder.
    shutil.copy(program, os.path.join(scratch, "quorvel"))
    youken = os.path.join(scratch, "youken.dat")
    with open(youken, "wb") as handle:
        handle.write(data_file([(-1, "Alpha", "alpha body\r\n"), (0, "Beta", ""), (-1, "Gamma", "")]))
    ini = os.path.join(scratch, "Quorvel.ini")
    with open(ini, "w") as handle:
        handle.write("[form]\nform1.top=120\nform1.left=60\nform1.width=760\n")

    env = dict(os.environ, QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")
    process = subprocess.Popen(["./quorvel"], cwd=scratch, env=env)
    try:
        drive(process, scratch, youken, data_tool, shot)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()

    # The geometry read at start is written back at close.
    with open(ini) as handle:
        values = dict(line.strip().split("=", 1) for line in handle if "=" in line)
    expected = {"form1.top": "120", "form1.left": "60", "form1.width": "760"}
    for key, value in expected.items():
        if values.get(key) != value:
            fail("settings file: %s=%s, expected %s" % (key, values.get(key), value))


def drive(process, scratch, youken, data_tool, shot):
    window = find_window("Quorvel")
    geometry = dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell", window).split())
    # Without a window manager there is no frame: the client sits where the outer
    # geometry (left 60, top 120, width 760) puts it with the design frame 4, 23, 4, 4.
    if (geometry["X"], geometry["Y"], geometry["WIDTH"]) != ("64", "143", "752"):
        fail("window geometry %s" % geometry)
    client_width = int(geometry["WIDTH"])

    def click(x, y):
        xdotool("mousemove", "--window", window, x, y, "click", "1")
        time.sleep(0.3)

    def button(top):
        # The command column is 89 pixels wide at the right; its buttons sit at x 11, 65 wide.
        click(client_width - 89 + 11 + 32, top + 16)

    def tree_row(row, level=0):
        # Rows of 17 pixels from the tree's top (31); titles start right of the indentation.
        click(1 + 40 * (level + 1) + 20, 31 + 2 + 17 * row + 8)

    time.sleep(0.5)
    tree_row(0)  # Alpha
    button(54)  # add child
    click(316 + 100, 1 + 22 + 10)  # the title field
    xdotool("key", "ctrl+a")
    xdotool("type", "--delay", "30", "E2E title")
    click(316 + 100, 45 + 100)  # the body editor
    xdotool("key", "ctrl+End")
    xdotool("type", "--delay", "30", "line one")
    xdotool("key", "Return")
    xdotool("type", "--delay", "30", "line two")
    if shot:
        time.sleep(0.5)
        subprocess.run(["import", "-window", "root", shot], check=False)
    button(310)  # commit
    button(350)  # save

    saved = data_file([(-1, "Alpha", "alpha body\r\n"), (0, "Beta", ""), (0, "E2E title", "line one\r\nline two\r\n"),
                       (-1, "Gamma", "")])
    wait_for_file(youken, saved)

    button(14)  # add sibling: after the last child of Alpha
    send_close(window)
    prompt = find_window("確認")
    xdotool("windowfocus", "--sync", prompt)
    xdotool("key", "Return")  # Yes is the default answer
    try:
        code = process.wait(timeout=15)
    except subprocess.TimeoutExpired:
        fail("the program did not end after the close")
    if code != 0:
        fail("the program ended with %d" % code)

    final = data_file([(-1, "Alpha", "alpha body\r\n"), (0, "Beta", ""), (0, "E2E title", "line one\r\nline two\r\n"),
                       (0, "未入力", ""), (-1, "Gamma", "")])
    wait_for_file(youken, final, 1)

    if data_tool:
        check = subprocess.run([data_tool, "check", youken], capture_output=True, text=True)
        if check.returncode != 0 or check.stdout.split()[:1] != ["5"]:
            fail("quorvel-dat check: %s%s" % (check.stdout, check.stderr))
        dump = subprocess.run([data_tool, "dump", youken], capture_output=True, text=True, encoding="utf-8")
        if dump.returncode != 0:
            fail("quorvel-dat dump: %s" % dump.stderr)
        entries = [json.loads(line) for line in dump.stdout.splitlines() if line.strip()]
        shape = [(e["parent"], e["level"], e["title"], e["body"]) for e in entries]
        expected = [(-1, 0, "Alpha", ["alpha body"]), (0, 1, "Beta", []), (0, 1, "E2E title", ["line one", "line two"]),
                    (0, 1, "未入力", []), (-1, 0, "Gamma", [])]
        if shape != expected:
            fail("quorvel-dat dump: %r" % shape)


if __name__ == "__main__":
    main()
