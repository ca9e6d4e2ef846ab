#!/usr/bin/env python3
"""End to end: find in the real program under X with a window manager.

Ctrl+F opens the find bar; the text is typed (or pasted, for full-width and Japanese text:
xdotool type drops characters) and Return selects the next matching entry: a title hidden
under collapsed entries, a body-only match with the case ignored, a full-width needle
found by wrapping past the end, a Japanese body; a needle found nowhere keeps the
selection; Esc gives the focus back to the tree, where the Down key moves the selection.

Which entry is selected is read from outside: a click in the title field, End, "#",
commit and save mark the selected entry's title in the data file.

Usage (under tests/e2e/with_desktop.sh): find_e2e.py QUORVEL [SHOT.png]
"""
import os
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import fail, find_window, in_scratch, send_close, started, wait_for_exit, xdotool  # noqa: E402

RECORDS = [(-1, "Claim", "payment due\r\n"), (0, "Defence", "消滅時効 applies\r\n"), (1, "Hidden Title", "none\r\n"),
           (0, "Second", "body only word zebra\r\n"), (-1, "Gamma", "\r\n")]


def titles(path):
    """The titles of a data file, in order."""
    with open(path, "rb") as handle:
        raw = handle.read()
    at = 0

    def integer():
        nonlocal at
        (value,) = struct.unpack_from("<i", raw, at)
        at += 4
        return value

    def string():
        nonlocal at
        size = integer()
        at += size
        return raw[at - size:at].decode("cp932")

    string()
    out = []
    for _ in range(integer()):
        integer()
        integer()
        out.append(string())
        string()
    return out


def main():
    if len(sys.argv) < 2:
        fail(__doc__)
    program = sys.argv[1]
    shot = sys.argv[2] if len(sys.argv) > 2 else ""
    in_scratch("quorvel-find-e2e-", lambda scratch: run(program, shot, scratch))


def run(program, shot, scratch):
    with started(program, scratch, RECORDS) as (process, youken):
        drive(process, youken, shot)


def drive(process, youken, shot):
    window = find_window("Quorvel")
    geometry = dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell", window).split())
    client_width = int(geometry["WIDTH"])
    marks = {title: 0 for _, title, _ in RECORDS}

    def click(x, y):
        xdotool("mousemove", "--window", window, x, y, "click", "1")
        time.sleep(0.3)

    def button(top):
        click(client_width - 89 + 11 + 32, top + 16)

    def key(*names):
        xdotool("key", "--delay", "60", *names)
        time.sleep(0.3)

    def find(text, paste=False):
        key("ctrl+f")
        if paste:
            subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=text.encode("utf-8"), check=True)
            key("ctrl+v")
        else:
            xdotool("type", "--delay", "40", text)
        key("Return")

    def expect_selected(title, step):
        """Marks the selected entry's title and checks that it is title."""
        click(316 + 100, 1 + 22 + 10)  # the title field
        key("End", "numbersign")
        button(310)  # commit
        button(350)  # save
        marks[title] += 1
        wanted = [t + "#" * marks[t] for _, t, _ in RECORDS]
        deadline = time.time() + 10
        got = None
        while time.time() < deadline:
            got = titles(youken)
            if got == wanted:
                return
            time.sleep(0.2)
        fail("%s: selected entry is not %r; titles %r" % (step, title, got))

    xdotool("windowactivate", "--sync", window)
    time.sleep(0.5)
    find("hidden")
    expect_selected("Hidden Title", "title under collapsed entries")
    find("ZEBRA")
    expect_selected("Second", "body-only match, case ignored")
    find("ＣＬＡＩＭ", paste=True)
    expect_selected("Claim", "full-width needle, wrapping past the end")
    find("消滅時効", paste=True)
    expect_selected("Defence", "Japanese body")
    find("nowhere")
    if shot:
        time.sleep(0.5)
        subprocess.run(["import", "-window", "root", shot], check=False)
    expect_selected("Defence", "nothing found keeps the selection")
    key("ctrl+f")
    key("Escape")
    key("Down")  # the tree has the focus: the next row, under the expanded Defence
    expect_selected("Hidden Title", "Esc gives the focus to the tree")

    send_close(window)
    wait_for_exit(process)


if __name__ == "__main__":
    main()
