#!/usr/bin/env python3
"""End to end: nothing the user typed or had is lost.

Each scene starts the real program in a fresh scratch folder under a window manager:
Esc and the close box at both save prompts; typing in the body, saving and closing;
a title typed by keyboard, committed and closed (the prompt appears); deleting a
subtree, undoing and saving (the file is back byte for byte), redoing; two saves leave
two backups; kill -9 at random moments during saves of a 300,000-entry file never
damages the data file and the next save leaves no stray file; loading and saving with
every lock call failing, as on a file system without locks.

Usage (inside an X server with a window manager): safety_e2e.py QUORVEL QUORVEL_DAT NOLOCKS.so
"""
import contextlib
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import SETTINGS, data_file, fail, send_close, wait_for_exit, xdotool  # noqa: E402

RECORDS = [(-1, "Alpha", "alpha body\r\n"), (0, "Beta", "beta\r\n"), (0, "Gamma", ""), (-1, "Delta", "delta\r\n")]
PROMPT = "確認"
# The plain message boxes are captioned with the application title.
MESSAGE = "^quorvel$"


def visible(name):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], capture_output=True).returncode == 0


def wait_visible(name, seconds=20):
    deadline = time.time() + seconds
    while time.time() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], capture_output=True, text=True)
        if found.returncode == 0:
            return found.stdout.split()[0]
        time.sleep(0.1)
    fail("no window named %s" % name)


def wait_gone(name, seconds=10):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if not visible(name):
            return
        time.sleep(0.1)
    fail("the window %s stays" % name)


class Program:
    """The program started in scratch over youken.dat; the positions of its controls."""

    def __init__(self, program, scratch, data=None, preload=""):
        shutil.copy(program, os.path.join(scratch, "quorvel"))
        self.scratch = scratch
        self.youken = os.path.join(scratch, "youken.dat")
        if data is not None:
            with open(self.youken, "wb") as handle:
                handle.write(data)
        with open(os.path.join(scratch, "Quorvel.ini"), "w") as handle:
            handle.write(SETTINGS)
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")
        if preload:
            env["LD_PRELOAD"] = preload
        self.process = subprocess.Popen(["./quorvel"], cwd=scratch, env=env)
        self.window = wait_visible("^Quorvelノート", 60)
        geometry = dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell", self.window).split())
        self.width = int(geometry["WIDTH"])
        xdotool("windowactivate", "--sync", self.window)
        time.sleep(0.5)

    def click(self, x, y, wait=0.3):
        xdotool("mousemove", "--window", self.window, x, y, "click", "1")
        time.sleep(wait)

    def button(self, top, wait=0.3):
        # The command column is 89 pixels wide at the right; its buttons sit at x 11, 65 wide.
        self.click(self.width - 89 + 11 + 32, top + 16, wait)

    def row(self, row, level=0):
        self.click(1 + 40 * (level + 1) + 20, 31 + 2 + 17 * row + 8)

    def key(self, *keys):
        xdotool("key", "--clearmodifiers", *keys)
        time.sleep(0.3)

    def type_in_body(self, text):
        self.click(316 + 100, 45 + 100)
        self.key("ctrl+End")
        xdotool("type", "--delay", "30", text)

    def close(self):
        send_close(self.window)

    def answer(self, key, expect_box=PROMPT):
        box = wait_visible(expect_box)
        xdotool("windowactivate", "--sync", box)
        time.sleep(0.3)
        self.key(key)
        return box

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def content(self, suffix=""):
        with open(self.youken + suffix, "rb") as handle:
            return handle.read()


ADD_SIBLING, ADD_CHILD, DELETE, COMMIT, SAVE = 14, 54, 94, 310, 350


@contextlib.contextmanager
def scene(name):
    scratch = tempfile.mkdtemp(prefix="quorvel-safety-")
    programs = []
    try:
        yield scratch, programs
    finally:
        for program in programs:
            program.kill()
        shutil.rmtree(scratch, ignore_errors=True)
    print("PASS " + name)


def expect(condition, message):
    if not condition:
        fail(message)


def prompts_ignore_escape_and_close_box(program):
    with scene("Esc and the close box at both prompts") as (scratch, programs):
        p = Program(program, scratch, data_file(RECORDS))
        programs.append(p)
        p.row(0)
        p.button(ADD_SIBLING)
        p.click(1 + 143 + 59, 1 + 2 + 11)  # BitBtn10: switch to jyoubun.dat
        box = p.answer("Escape")
        time.sleep(0.5)
        expect(visible(PROMPT), "Esc answered the switch prompt")
        send_close(box)
        time.sleep(0.5)
        expect(visible(PROMPT), "the close box answered the switch prompt")
        p.key("Return")  # Yes: save, then switch (jyoubun.dat is missing)
        p.answer("Return", MESSAGE)
        saved = data_file(RECORDS + [(-1, "未入力", "")])
        expect(p.content() == saved, "the switch did not save youken.dat: %r" % p.content())
        p.button(ADD_SIBLING)
        p.close()
        box = p.answer("Escape")
        time.sleep(0.5)
        expect(visible(PROMPT), "Esc answered the close prompt")
        send_close(box)
        time.sleep(0.5)
        expect(visible(PROMPT) and p.process.poll() is None, "the close box answered the close prompt")
        p.key("Return")
        wait_for_exit(p.process)
        jyoubun = os.path.join(scratch, "jyoubun.dat")
        with open(jyoubun, "rb") as handle:
            expect(handle.read() == data_file([(-1, "未入力", "")]), "jyoubun.dat was not saved at close")


def typed_body_is_saved(program):
    with scene("type in the body, save, close") as (scratch, programs):
        p = Program(program, scratch, data_file(RECORDS))
        programs.append(p)
        p.row(1)  # Delta
        p.type_in_body("typed")
        p.button(SAVE)
        p.close()
        wait_for_exit(p.process, " (a prompt after everything was saved?)")
        expected = data_file(RECORDS[:3] + [(-1, "Delta", "delta\r\ntyped\r\n")])
        expect(p.content() == expected, "the typed body was not saved: %r" % p.content())


def keyboard_title_commit_prompts(program):
    with scene("title typed by keyboard, commit, close") as (scratch, programs):
        p = Program(program, scratch, data_file(RECORDS))
        programs.append(p)
        p.row(1)  # Delta; the tree has the focus
        for _ in range(11):  # through the buttons to the title field
            p.key("Tab")
        p.key("ctrl+a")
        xdotool("type", "--delay", "30", "Keyed")
        p.button(COMMIT)
        p.close()
        p.answer("Return")
        wait_for_exit(p.process)
        expected = data_file(RECORDS[:3] + [(-1, "Keyed", "delta\r\n")])
        expect(p.content() == expected, "the committed title was not saved: %r" % p.content())


def undo_redo_and_backups(program, tool):
    with scene("delete, undo, save; redo, save; two backups") as (scratch, programs):
        original = data_file(RECORDS)
        p = Program(program, scratch, original)
        programs.append(p)
        p.row(0)  # Alpha with its two children
        p.button(DELETE)
        p.row(0)  # Delta now; the tree has the focus
        p.key("ctrl+z")
        p.button(SAVE)
        expect(p.content() == original, "undo did not give the subtree back byte for byte")
        p.row(0)
        p.key("ctrl+y")
        p.button(SAVE)
        expect(p.content() == data_file(RECORDS[3:]), "redo did not delete again")
        expect(p.content(".1") == original and p.content(".2") == original, "two saves, not two backups")
        expect(not os.path.exists(p.youken + ".3"), "a third backup from two saves")
        check = subprocess.run([tool, "check", p.youken + ".2"], capture_output=True, text=True)
        expect(check.returncode == 0 and check.stdout.split()[:1] == ["4"], "check of a backup: " + check.stdout)
        p.close()
        wait_for_exit(p.process)


# About 100 bytes a body, so that a save of 300,000 entries lasts long enough to be hit.
BODY = b"a body line of the entry\r\n" * 4


def big_file(count):
    def string(raw):
        return struct.pack("<i", len(raw)) + raw

    parts = [string(b"Dummy"), struct.pack("<i", count)]
    for index in range(count):
        parent = -1 if index % 100 == 0 else index - index % 100
        parts.append(struct.pack("<ii", parent, index) + string(b"entry %d" % index) + string(BODY))
    return b"".join(parts)


def killed_saves_never_damage(program, tool):
    with scene("kill -9 during saves of 300,000 entries") as (scratch, programs):
        data = big_file(300000)
        entries = None
        during = 0
        left = set()
        for attempt in range(6):
            p = Program(program, scratch, data if attempt == 0 else None)
            programs.append(p)
            p.row(0)
            p.button(ADD_SIBLING, 0)
            subprocess.Popen(["xdotool", "mousemove", "--window", p.window, str(p.width - 89 + 11 + 32),
                              str(SAVE + 16), "click", "1"])
            # The click lands within milliseconds and the save lasts some tens of them.
            time.sleep(random.uniform(0.0, 0.08))
            p.kill()
            new_files = {name for name in os.listdir(scratch) if name.startswith(".youken.dat.new-")}
            during += bool(new_files - left)
            left |= new_files
            check = subprocess.run([tool, "check", p.youken], capture_output=True, text=True)
            expect(check.returncode == 0, "kill %d left a damaged file: %s%s" % (attempt, check.stdout, check.stderr))
            entries = int(check.stdout.split()[0])
            expect(entries in range(300000, 300000 + attempt + 2), "kill %d: %d entries" % (attempt, entries))
        print("%d of 6 kills came while a save was writing" % during)
        p = Program(program, scratch)
        programs.append(p)
        p.row(0)
        p.button(ADD_SIBLING)
        p.button(SAVE, 2)
        p.close()
        wait_for_exit(p.process)
        strays = [name for name in os.listdir(scratch) if name.startswith(".youken.dat.new-")]
        expect(not strays, "stray files after the next save: %r" % strays)
        check = subprocess.run([tool, "check", p.youken], capture_output=True, text=True)
        expect(check.returncode == 0 and int(check.stdout.split()[0]) == entries + 1, "last save: " + check.stdout)


def no_locks(program, preload):
    with scene("loading and saving with every lock failing") as (scratch, programs):
        p = Program(program, scratch, data_file(RECORDS), preload)
        programs.append(p)
        expect(not visible(MESSAGE), "the data file was not found without locks")
        p.row(1)
        p.button(ADD_SIBLING)
        p.button(SAVE)
        expect(p.content() == data_file(RECORDS + [(-1, "未入力", "")]), "no save without locks: %r" % p.content())
        expect(p.content(".1") == data_file(RECORDS), "no backup without locks")
        p.close()
        wait_for_exit(p.process)


def main():
    if len(sys.argv) < 4:
        fail(__doc__)
    program, tool, preload = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3])
    prompts_ignore_escape_and_close_box(program)
    typed_body_is_saved(program)
    keyboard_title_commit_prompts(program)
    undo_redo_and_backups(program, tool)
    no_locks(program, preload)
    killed_saves_never_damage(program, tool)


if __name__ == "__main__":
    main()
