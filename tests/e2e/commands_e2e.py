#!/usr/bin/env python3
"""End to end: the real program under X, driven by real mouse and key events.

In a scratch folder holding a copy of the executable, a small youken.dat and a settings
file, it selects an entry, adds a child, types its title and body, commits and saves,
adds one more entry, closes the window and answers the save prompt with Enter. Then it
checks the data file byte for byte (and with the data tool when there is one) and the
geometry written to the settings file.

Usage (inside an X server, e.g. xvfb-run -a): commands_e2e.py QUORVEL [QUORVEL_DAT] [SHOT.png]
"""
import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (client_geometry, data_file, fail, find_window, in_scratch, send_close,  # noqa: E402
                         started, wait_for_exit, wait_for_file, wait_for_outer_geometry, xdotool)


def main():
    if len(sys.argv) < 2:
        fail(__doc__)
    program = sys.argv[1]
    data_tool = sys.argv[2] if len(sys.argv) > 2 else ""
    shot = sys.argv[3] if len(sys.argv) > 3 else ""
    in_scratch("quorvel-e2e-", lambda scratch: run(program, data_tool, shot, scratch))


def run(program, data_tool, shot, scratch):
    records = [(-1, "Alpha", "alpha body\r\n"), (0, "Beta", ""), (-1, "Gamma", "")]
    with started(program, scratch, records) as (process, youken):
        drive(process, youken, data_tool, shot)

    # The geometry read at start is written back at close.
    with open(os.path.join(scratch, "Quorvel.ini")) as handle:
        values = dict(line.strip().split("=", 1) for line in handle if "=" in line)
    expected = {"form1.top": "120", "form1.left": "60", "form1.width": "760"}
    for key, value in expected.items():
        if values.get(key) != value:
            fail("settings file: %s=%s, expected %s" % (key, values.get(key), value))


def drive(process, youken, data_tool, shot):
    window = find_window("Quorvel")
    # The outer frame stands where the settings file says (left 60, top 120, width 760),
    # with the layout's height, whatever frame the window manager draws.
    wait_for_outer_geometry(window, (60, 120, 760, 483))
    client_width = client_geometry(window)[2]

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
    wait_for_exit(process)

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
