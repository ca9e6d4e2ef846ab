#!/usr/bin/env python3
"""End to end: the window's outer geometry on a desktop with a window manager.

Starts the real program three times in a row from a scratch folder with no settings file:
each start must put the outer frame at (80, 80) with width 700 and height 483, and each
close must write back 80, 80 and 700, so nothing drifts. Then a damaged youken.dat: the
error box comes first, and the window keeps the layout's (54, 42) and width 928. Then a
window wider than the screen, which the window manager moves: the close writes back where
it really is. Last, values far beyond what the window system takes: the window gets the
nearest size it accepts.

Usage (on a desktop of its own, see with_desktop.sh): geometry_e2e.py QUORVEL [SHOT.png]
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (data_file, fail, frame_extents, in_scratch, outer_geometry, read_settings,  # noqa: E402
                         send_close, wait_for_exit, wait_for_outer_geometry, xdotool)

MAIN_WINDOW = "^Quorvel.*1\\.7$"
RECORDS = [(-1, "Alpha", "alpha body\r\n"), (0, "Beta", ""), (-1, "Gamma", "")]


def main():
    if len(sys.argv) < 2:
        fail(__doc__)
    program = sys.argv[1]
    shot = sys.argv[2] if len(sys.argv) > 2 else ""
    in_scratch("quorvel-geometry-", lambda scratch: run(program, shot, scratch))


def start(scratch):
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")
    return subprocess.Popen(["./quorvel"], cwd=scratch, env=env)


def main_window():
    # A search can trip over a window that goes away meanwhile (the error box): try again.
    for _ in range(20):
        result = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", MAIN_WINDOW],
                                capture_output=True, text=True, timeout=20)
        if result.returncode == 0 and result.stdout.split():
            return result.stdout.split()[0]
        time.sleep(0.2)
    fail("the main window did not appear")


def close(process, window):
    send_close(window)
    wait_for_exit(process)


def expect_settings(scratch, left, top, width, when):
    values = read_settings(scratch)
    got = (values.get("form1.left"), values.get("form1.top"), values.get("form1.width"))
    if got != (str(left), str(top), str(width)):
        fail("%s: settings file holds left, top, width %s, expected %s" % (when, got, (left, top, width)))


def run(program, shot, scratch):
    shutil.copy(program, os.path.join(scratch, "quorvel"))
    with open(os.path.join(scratch, "youken.dat"), "wb") as handle:
        handle.write(data_file(RECORDS))

    for round_number in (1, 2, 3):
        process = start(scratch)
        try:
            window = main_window()
            if frame_extents(window) == (0, 0, 0, 0):
                fail("no window manager frame: the test needs one (run it under with_desktop.sh)")
            wait_for_outer_geometry(window, (80, 80, 700, 483))
            # It stays there once the window manager is done with it.
            time.sleep(0.5)
            wait_for_outer_geometry(window, (80, 80, 700, 483), 1)
            if shot and round_number == 1:
                subprocess.run(["import", "-window", "root", shot], check=False)
            close(process, window)
        finally:
            if process.poll() is None:
                process.kill()
        expect_settings(scratch, 80, 80, 700, "start %d" % round_number)

    # A damaged data file: the error comes first; the window keeps the layout's geometry.
    with open(os.path.join(scratch, "youken.dat"), "wb") as handle:
        handle.write(data_file(RECORDS)[:-3])
    process = start(scratch)
    try:
        box = xdotool("search", "--sync", "--onlyvisible", "--name", "^quorvel$").split()[0]
        xdotool("windowactivate", "--sync", box)
        xdotool("key", "Return")
        window = main_window()
        wait_for_outer_geometry(window, (54, 42, 928, 483))
        close(process, window)
    finally:
        if process.poll() is None:
            process.kill()
    expect_settings(scratch, 54, 42, 928, "after a load error")

    # Wider than the screen: the window manager moves the window, and the close writes
    # back where it really is.
    with open(os.path.join(scratch, "youken.dat"), "wb") as handle:
        handle.write(data_file(RECORDS))
    with open(os.path.join(scratch, "Quorvel.ini"), "w") as handle:
        handle.write("[form]\nform1.top=80\nform1.left=200\nform1.width=3000\n")
    process = start(scratch)
    try:
        window = main_window()
        real = stable_outer_geometry(window)
        if real[2:] != (3000, 483):
            fail("a width of 3000 gave the outer geometry %s" % (real,))
        close(process, window)
    finally:
        if process.poll() is None:
            process.kill()
    expect_settings(scratch, real[0], real[1], real[2], "after a width of 3000")

    # Far beyond what the window system takes: the nearest size it accepts, and no overflow
    # anywhere on the way back.
    with open(os.path.join(scratch, "Quorvel.ini"), "w") as handle:
        handle.write("[form]\nform1.top=-2147483648\nform1.left=80\nform1.width=2147483647\n")
    process = start(scratch)
    try:
        window = main_window()
        real = stable_outer_geometry(window)
        if real[2:] != (32767 + 2, 483):
            fail("a width of 2147483647 gave the outer geometry %s" % (real,))
        close(process, window)
    finally:
        if process.poll() is None:
            process.kill()
    values = read_settings(scratch)
    for key in ("form1.left", "form1.top", "form1.width"):
        if not -32768 - 32 <= int(values[key]) <= 32767 + 32:
            fail("after a width of 2147483647: %s=%s" % (key, values[key]))
    if values["form1.width"] != "32769":
        fail("after a width of 2147483647: form1.width=%s" % values["form1.width"])


def stable_outer_geometry(window, seconds=5):
    """The outer geometry once the window manager has stopped moving the window."""
    deadline = time.time() + seconds
    last = outer_geometry(window)
    while time.time() < deadline:
        time.sleep(0.3)
        now = outer_geometry(window)
        if now == last:
            return now
        last = now
    return last

if __name__ == "__main__":
    main()
