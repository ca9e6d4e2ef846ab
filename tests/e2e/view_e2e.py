#!/usr/bin/env python3
"""End to end: what the tree and the title field show, under a window manager.

A long title shows its beginning in the title field: its first 150 characters are "W"
and the rest spaces, so only a field that shows the start has title-coloured ink at its
left. A data-set switch starts the tree at the top: after scrolling youken.dat's tree to
its end, 条文別要件事実 loads jyoubun.dat, the first row is clicked and deleted, and the
saved jyoubun.dat must lack its first entry.

Usage (on a desktop of its own, see with_desktop.sh): view_e2e.py QUORVEL [SHOT.png]
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (client_geometry, data_file, fail, find_window, in_scratch, started,  # noqa: E402
                         wait_for_file, wait_for_outer_geometry, xdotool)

LONG_TITLE = "W" * 150 + " " * 150


def main():
    if len(sys.argv) < 2:
        fail(__doc__)
    program = sys.argv[1]
    shot = sys.argv[2] if len(sys.argv) > 2 else ""
    in_scratch("quorvel-view-", lambda scratch: run(program, shot, scratch))


def title_ink(window, scratch, width):
    """Pixels of the title field's colour (fuchsia) in the first Width pixels of the field."""
    picture = os.path.join(scratch, "field.png")
    subprocess.run(["import", "-window", str(window), picture], check=True)
    # The title field: centre column at 316, header at 1, field at 22 below it, 21 high.
    out = subprocess.run(["convert", picture, "-crop", "%dx17+318+25" % width, "+repage", "txt:-"],
                         capture_output=True, text=True, check=True).stdout
    count = 0
    for line in out.splitlines()[1:]:
        colour = line.split("(", 1)[1].split(")", 1)[0].split(",")
        red, green, blue = (float(part.strip().rstrip("%")) for part in colour[:3])
        if red > 150 and green < 120 and blue > 150:
            count += 1
    return count


def run(program, shot, scratch):
    youken = [(-1, LONG_TITLE, "")] + [(-1, "Entry %02d" % n, "") for n in range(1, 60)]
    jyoubun = [(-1, "First article", "")] + [(-1, "Article %02d" % n, "") for n in range(1, 40)]
    with open(os.path.join(scratch, "jyoubun.dat"), "wb") as handle:
        handle.write(data_file(jyoubun))
    with started(program, scratch, youken) as (process, _):
        window = find_window("Quorvel")
        wait_for_outer_geometry(window, (60, 120, 760, 483))
        client_width = client_geometry(window)[2]

        def click(x, y):
            xdotool("mousemove", "--window", window, x, y, "click", "1")
            time.sleep(0.4)

        def first_row():
            click(1 + 40 + 20, 31 + 2 + 8)

        time.sleep(0.5)
        first_row()  # the long title
        ink = title_ink(window, scratch, 60)
        if ink < 30:
            fail("the title field shows no beginning of the long title (%d pixels of its colour)" % ink)
        if shot:
            subprocess.run(["import", "-window", "root", shot], check=False)

        # To the end of the tree, then the other data set.
        xdotool("key", "End")
        time.sleep(0.3)
        click(1 + 1 + 143 + 59, 1 + 1 + 2 + 11)  # 条文別要件事実
        first_row()
        click(client_width - 89 + 11 + 32, 94 + 16)  # delete
        click(client_width - 89 + 11 + 32, 350 + 16)  # save
        wait_for_file(os.path.join(scratch, "jyoubun.dat"), data_file(jyoubun[1:]))
        if process.poll() is not None:
            fail("the program ended early")


if __name__ == "__main__":
    main()
