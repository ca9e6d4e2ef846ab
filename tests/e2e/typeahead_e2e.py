#!/usr/bin/env python3
"""End to end: type-ahead in the tree while the selection lies hidden in a collapsed entry.

With the real mouse and keys: 開く, a click on a child row, 閉じる, Shift+Tab seven times
(the focus goes round to the tree, the selection stays hidden), then "zz" typed quickly,
which no title starts with. The window must still answer the window manager's ping, the
selection must not have moved, and the program must close normally.

Usage (inside an X server with a window manager, see with_desktop.sh): typeahead_e2e.py QUORVEL
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import fail, find_window, in_scratch, send_close, started, wait_for_exit, xdotool  # noqa: E402
from x11_probe import XProbe  # noqa: E402


def main():
    if len(sys.argv) < 2:
        fail(__doc__)
    in_scratch("quorvel-typeahead-", lambda scratch: run(sys.argv[1], scratch))


def run(program, scratch):
    records = [(-1, "Alpha", "alpha body\r\n"), (0, "Beta", "beta body\r\n"), (-1, "Gamma", "")]
    with started(program, scratch, records) as (process, _):
        window = find_window("Quorvel")
        width = int(dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell", window).split())["WIDTH"])

        def click(x, y):
            xdotool("mousemove", "--window", window, x, y, "click", "1")
            time.sleep(0.3)

        def button(top):
            click(width - 89 + 11 + 32, top + 16)

        time.sleep(0.5)
        button(206)  # expand all
        click(1 + 40 * 2 + 12, 31 + 2 + 17 * 1 + 8)  # Beta, the second row
        button(246)  # collapse all: Beta stays selected, hidden in Alpha
        xdotool("key", "--delay", "40", *(["shift+Tab"] * 7))
        xdotool("type", "--delay", "50", "zz")
        probe = XProbe()
        try:
            if not probe.answers(window, 5):
                fail("the window stopped answering after the type-ahead")
        finally:
            probe.close()
        send_close(window)
        wait_for_exit(process)


if __name__ == "__main__":
    main()
