#!/usr/bin/env python3
"""End to end: rearranging the outline by dragging with the real mouse under X.

In a scratch folder holding a copy of the executable and a small youken.dat, it drags an
entry onto another entry's title (it becomes that entry's last child), saves, then drags
another entry onto the first entry's expand button (it becomes the first entry), tries
a drop right of a title (refused) and saves again, checking the data file byte for byte
after each save. Each drag is a press, several small moves and a release, as a hand
would make it.

Usage (inside an X server, e.g. xvfb-run -a): drag_e2e.py QUORVEL [SHOT.png]
SHOT.png, when given, is a screenshot taken while the first drag is under way.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (data_file, fail, find_window, in_scratch, send_close, started, wait_for_exit,  # noqa: E402
                         wait_for_file, xdotool)


def main():
    if len(sys.argv) < 2:
        fail(__doc__)
    program = sys.argv[1]
    shot = sys.argv[2] if len(sys.argv) > 2 else ""
    in_scratch("quorvel-drag-", lambda scratch: run(program, shot, scratch))


def run(program, shot, scratch):
    records = [(-1, "Alpha", "alpha body\r\n"), (0, "Beta", ""), (-1, "Gamma", "gamma body\r\n"),
               (-1, "Delta", "delta body\r\n")]
    with started(program, scratch, records) as (process, youken):
        drive(process, youken, shot)


def drive(process, youken, shot):
    window = find_window("Quorvel")
    client_width = int(dict(line.split("=", 1)
                            for line in xdotool("getwindowgeometry", "--shell", window).split())["WIDTH"])

    def row_point(row, level=0, x=None):
        # Rows of 17 pixels from the tree's top (31); titles start right of the indentation.
        y = 31 + 2 + 17 * row + 8
        return (1 + 40 * (level + 1) + 12 if x is None else x), y

    def drag(source, target, photo=""):
        (x0, y0), (x1, y1) = source, target
        xdotool("mousemove", "--window", window, x0, y0, "mousedown", "1")
        time.sleep(0.2)
        steps = 8
        for step in range(1, steps + 1):
            x = x0 + (x1 - x0) * step // steps
            y = y0 + (y1 - y0) * step // steps
            xdotool("mousemove", "--window", window, x, y)
            time.sleep(0.08)
        if photo:
            time.sleep(0.4)
            subprocess.run(["import", "-window", "root", photo], check=False)
        xdotool("mouseup", "1")
        time.sleep(0.4)

    def save():
        # The save button in the command column at the right.
        xdotool("mousemove", "--window", window, client_width - 89 + 11 + 32, 350 + 16, "click", "1")
        time.sleep(0.3)

    time.sleep(0.5)
    # Rows: Alpha (collapsed), Gamma, Delta. Delta onto Alpha's title: its last child.
    drag(row_point(2), row_point(0), shot)
    save()
    wait_for_file(youken, data_file([(-1, "Alpha", "alpha body\r\n"), (0, "Beta", ""), (0, "Delta", "delta body\r\n"),
                                     (-1, "Gamma", "gamma body\r\n")]))

    # Rows now: Alpha (expanded), Beta, Delta, Gamma. Gamma onto Alpha's expand button:
    # the new first entry. Then Beta right of Gamma's title, which is refused.
    drag(row_point(3), row_point(0, x=1 + 20))
    drag(row_point(2, level=1), row_point(0, x=300))
    save()
    wait_for_file(youken, data_file([(-1, "Gamma", "gamma body\r\n"), (-1, "Alpha", "alpha body\r\n"), (1, "Beta", ""),
                                     (1, "Delta", "delta body\r\n")]))

    # Saved: closing asks nothing.
    send_close(window)
    wait_for_exit(process, " (an unexpected prompt?)")


if __name__ == "__main__":
    main()
