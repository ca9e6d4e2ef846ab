#!/usr/bin/env python3
"""End to end: random input into the real program under X, from fixed seeds.

For each seed, in a scratch folder holding a copy of the executable, two small data sets
(every third seed lacks the second, so that switching to it shows an error box) and a
normal settings file, it clicks the buttons and rows, drags inside the tree and out
of it, types ASCII into the fields and into the tree, presses editing and movement keys,
pastes (also with an empty clipboard), answers every box that comes up, resizes the window
and drags the splitter. Every 50 actions it saves and checks both data files with the data
tool. It fails on a sanitizer report, a crash, a window that does not answer the window
manager's ping within 5 seconds, a failed check, or a program that does not end cleanly
when closed at the end.

Usage (inside an X server with a window manager, see with_desktop.sh):
  monkey_e2e.py QUORVEL QUORVEL_DAT SECONDS SEED[,SEED...] [LOG_DIR]
SECONDS is the total, shared evenly by the seeds. LOG_DIR, when given, receives each
seed's action log and the program's error output.
"""
import os
import random
import shutil
import string
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import SETTINGS, data_file, fail, send_close  # noqa: E402
from x11_probe import XProbe  # noqa: E402

SAVE_EVERY = 50
PING_SECONDS = 5.0

# Qt, the X and font libraries keep some memory to the end on purpose. Only the frames
# nearest to each allocation are recorded (malloc_context_size below), so an allocation
# of our own code is never hidden by a library frame further down the stack.
LEAK_SUPPRESSIONS = """leak:libQt6Core
leak:libQt6Gui
leak:libQt6Widgets
leak:libQt6XcbQpa
leak:libQt6DBus
leak:libfontconfig
leak:libfreetype
leak:libxcb
leak:libX11
leak:libxkbcommon
leak:libglib
leak:libgobject
leak:libdbus
leak:libicu
"""
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:", "SUMMARY: UndefinedBehavior",
                   "SUMMARY: AddressSanitizer")

YOUKEN = [(-1, "Alpha", "alpha body\r\nsecond row\r\n"), (0, "Beta", "beta"), (1, "Gamma", ""), (1, "要件事実", "本文\r\n"),
          (0, "Delta", ""), (-1, "Epsilon", "e"), (5, "Zeta", "zeta body"), (5, "Eta", ""), (7, "Theta", "θ"),
          (-1, "請求原因", "売買契約の締結\r\n"), (9, "抗弁", ""), (10, "再抗弁", ""), (-1, "Iota", ""), (-1, "Kappa", "k")]
JYOUBUN = [(-1, "民法", "第一条\r\n"), (0, "総則", ""), (0, "物権", ""), (2, "占有権", ""), (-1, "商法", "")]

KEYS = ["Escape", "Return", "KP_Enter", "Tab", "shift+Tab", "Up", "Down", "Left", "Right", "Home", "End", "Delete",
        "BackSpace", "Prior", "Next", "ctrl+Home", "ctrl+End", "shift+Down", "shift+End", "ctrl+a", "ctrl+z",
        "ctrl+y", "ctrl+shift+z", "plus", "minus", "asterisk", "space", "F2", "ctrl+Down"]
ASCII = string.ascii_letters + string.digits + " .,;:!?()[]{}<>/\\'\"@#$%^&*_=+~|"


def quiet(*args, timeout=20):
    """Runs xdotool or another X tool; input that could not be delivered is no fault."""
    try:
        return subprocess.run(list(map(str, args)), capture_output=True, text=True, timeout=timeout).stdout
    except subprocess.TimeoutExpired:
        return ""


class Monkey:
    def __init__(self, program, data_tool, seed, seconds, scratch, log_dir):
        self.program = program
        self.data_tool = data_tool
        self.seed = seed
        self.seconds = seconds
        self.scratch = scratch
        self.log_dir = log_dir
        self.random = random.Random(seed)
        self.actions = 0
        self.boxes = 0
        self.saves = 0
        self.history = []
        self.probe = XProbe()
        self.split = 313  # where the splitter is thought to be, client x

    # -- the program ---------------------------------------------------------------------

    def start(self):
        shutil.copy(self.program, os.path.join(self.scratch, "quorvel"))
        for name, records in (("youken.dat", YOUKEN), ("jyoubun.dat", JYOUBUN)):
            if name == "jyoubun.dat" and self.seed % 3 == 0:
                continue  # switching to it shows the error box
            with open(os.path.join(self.scratch, name), "wb") as handle:
                handle.write(data_file(records))
        with open(os.path.join(self.scratch, "Quorvel.ini"), "w") as handle:
            handle.write(SETTINGS)
        suppressions = os.path.join(self.scratch, "lsan.supp")
        with open(suppressions, "w") as handle:
            handle.write(LEAK_SUPPRESSIONS)
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8",
                   ASAN_OPTIONS="detect_leaks=1:malloc_context_size=4:abort_on_error=0:halt_on_error=1",
                   LSAN_OPTIONS="suppressions=%s:print_suppressions=0" % suppressions,
                   UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")
        self.stderr_path = os.path.join(self.scratch, "stderr.txt")
        self.stderr = open(self.stderr_path, "wb")
        self.process = subprocess.Popen(["./quorvel"], cwd=self.scratch, env=env, stdout=subprocess.DEVNULL,
                                        stderr=self.stderr)
        deadline = time.time() + 60
        self.window = None
        while time.time() < deadline and self.window is None:
            self.check_alive("starting")
            found = quiet("xdotool", "search", "--onlyvisible", "--pid", self.process.pid, "--name", "Quorvel").split()
            if found:
                self.window = found[0]
            else:
                time.sleep(0.2)
        if self.window is None:
            self.fault("no window within 60 s")
        time.sleep(0.5)
        self.geometry()

    def errors(self):
        with open(self.stderr_path, "rb") as handle:
            return handle.read().decode("utf-8", "replace")

    def fault(self, message):
        text = self.errors()
        print("seed %d, after %d actions: %s" % (self.seed, self.actions, message), file=sys.stderr)
        print("last actions:\n  " + "\n  ".join(self.history[-25:]), file=sys.stderr)
        print("program's error output (end):\n" + text[-6000:], file=sys.stderr)
        self.keep_logs()
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        fail("monkey seed %d: %s" % (self.seed, message))

    def keep_logs(self):
        if not self.log_dir:
            return
        os.makedirs(self.log_dir, exist_ok=True)
        with open(os.path.join(self.log_dir, "seed%d-actions.txt" % self.seed), "w") as handle:
            handle.write("\n".join(self.history) + "\n")
        shutil.copy(self.stderr_path, os.path.join(self.log_dir, "seed%d-stderr.txt" % self.seed))

    def check_alive(self, doing):
        code = self.process.poll()
        if code is not None:
            self.fault("the program ended with %d while %s" % (code, doing))
        text = self.errors()
        for mark in SANITIZER_MARKS:
            if mark in text:
                self.fault("sanitizer report (%s) while %s" % (mark, doing))

    def responsive(self, doing):
        self.check_alive(doing)
        if not self.probe.answers(self.window, PING_SECONDS):
            self.check_alive(doing)
            self.fault("the window did not answer a ping within %g s after %s" % (PING_SECONDS, doing))

    def other_windows(self):
        """The program's other windows that the window manager manages: its boxes."""
        found = []
        for line in quiet("wmctrl", "-l", "-p").splitlines():
            fields = line.split(None, 4)
            if len(fields) >= 3 and fields[2] == str(self.process.pid) and int(fields[0], 16) != int(self.window):
                found.append(str(int(fields[0], 16)))
        return found

    def answer_boxes(self):
        """Answers every box the program shows, as a user would, until none is left."""
        for _ in range(30):
            boxes = self.other_windows()
            if not boxes:
                return
            box = boxes[-1]
            name = quiet("xdotool", "getwindowname", box).strip()
            answer = self.random.choice(["Return", "Return", "Escape", "Tab Return", "space", "alt+y", "alt+n"])
            self.log("box %r: %s" % (name, answer))
            self.boxes += 1
            quiet("xdotool", "windowactivate", "--sync", box, timeout=5)
            for key in answer.split():
                quiet("xdotool", "key", key)
            time.sleep(0.3)
            self.check_alive("answering a box")
        self.fault("a box did not go away: %s" % self.other_windows())

    def geometry(self):
        values = dict(line.split("=", 1) for line in quiet("xdotool", "getwindowgeometry", "--shell",
                                                          self.window).split() if "=" in line)
        self.width = int(values.get("WIDTH", 752))
        self.height = int(values.get("HEIGHT", 456))
        self.split = max(40, min(self.split, self.width - 89 - 40))

    # -- input ---------------------------------------------------------------------------

    def log(self, text):
        self.history.append("%5d %s" % (self.actions, text))

    def move(self, x, y):
        quiet("xdotool", "mousemove", "--window", self.window, int(x), int(y))

    def click(self, x, y, button=1, repeat=1):
        self.move(x, y)
        quiet("xdotool", "click", "--repeat", repeat, "--delay", 80, button)

    def drag(self, x0, y0, x1, y1, relative=True):
        self.move(x0, y0)
        quiet("xdotool", "mousedown", 1)
        steps = self.random.randint(2, 8)
        for step in range(1, steps + 1):
            x = x0 + (x1 - x0) * step / steps
            y = y0 + (y1 - y0) * step / steps
            if relative:
                self.move(x, y)
            else:
                quiet("xdotool", "mousemove", int(x), int(y))
            time.sleep(0.03)
        quiet("xdotool", "mouseup", 1)

    def tree_point(self):
        row = self.random.randint(0, max(1, (self.height - 40) // 17))
        level = self.random.randint(0, 3)
        spot = self.random.choice(["title", "title", "button", "right", "indent"])
        x = {"title": 1 + 40 * (level + 1) + 12, "button": 1 + 40 * level + 20, "right": self.split - 20,
             "indent": 1 + 40 * level + 5}[spot]
        return min(x, self.split - 4), 31 + 2 + 17 * row + 8

    def field_point(self):
        left = self.split + 4
        right = self.width - 92
        target = self.random.choice(["Edit1", "Edit2", "Memo1", "Memo1"])
        y = {"Edit1": 33, "Edit2": 11, "Memo1": self.random.randint(50, self.height - 10)}[target]
        return target, self.random.randint(left, max(left + 1, right)), y

    def button(self, top):
        self.click(self.width - 89 + 11 + 32, top + 16)

    def ascii(self, longest):
        text = "".join(self.random.choice(ASCII) for _ in range(self.random.randint(1, longest)))
        return text.lstrip("-") or "x"

    # -- actions -------------------------------------------------------------------------

    def act_button(self):
        name, top = self.random.choice([("兄弟追加", 14), ("子供追加", 54), ("抹消", 94), ("開く", 206), ("閉じる", 246),
                                        ("訂正", 310), ("保存", 350)])
        self.log("button " + name)
        self.button(top)

    def act_rare_button(self):
        choice = self.random.choice(["BitBtn9", "BitBtn10", "BitBtn5"])
        self.log("button " + choice)
        if choice == "BitBtn5":
            self.click(self.width - 89 + 11 + 32, 392 + 16)
        else:
            self.click(11 + 59 if choice == "BitBtn9" else 143 + 59, 13)

    def act_row(self):
        x, y = self.tree_point()
        repeat = self.random.choice([1, 1, 1, 2])
        self.log("click tree %d,%d x%d" % (x, y, repeat))
        self.click(x, y, repeat=repeat)

    def act_drag_tree(self):
        (x0, y0), (x1, y1) = self.tree_point(), self.tree_point()
        self.log("drag tree %d,%d -> %d,%d" % (x0, y0, x1, y1))
        self.drag(x0, y0, x1, y1)

    def act_drag_out(self):
        x0, y0 = self.tree_point()
        where = self.random.choice(["fields", "buttons", "desktop", "below"])
        if where == "fields":
            _, x1, y1 = self.field_point()
        elif where == "buttons":
            x1, y1 = self.width - 40, self.random.randint(10, self.height - 10)
        elif where == "below":
            x1, y1 = x0, self.height + 30
        else:
            x1, y1 = self.width + 100, self.height // 2
        self.log("drag out %d,%d -> %s %d,%d" % (x0, y0, where, x1, y1))
        self.drag(x0, y0, x1, y1)

    def act_type_field(self):
        target, x, y = self.field_point()
        text = self.ascii(12)
        self.log("type %r into %s" % (text, target))
        self.click(x, y)
        quiet("xdotool", "type", "--delay", 25, text)

    def act_type_tree(self):
        x, y = self.tree_point()
        text = "".join(self.random.choice(string.ascii_letters + "zz") for _ in range(self.random.randint(1, 3)))
        # Half the time into whatever has the focus, the selection left as it is (it may
        # lie hidden in a collapsed entry).
        clicked = self.random.random() < 0.5
        self.log("type %r into the %s" % (text, "tree" if clicked else "focus"))
        if clicked:
            self.click(x, y)
        quiet("xdotool", "type", "--delay", self.random.choice([30, 120, 500]), text)

    def act_key(self):
        keys = [self.random.choice(KEYS) for _ in range(self.random.randint(1, 3))]
        self.log("keys " + " ".join(keys))
        quiet("xdotool", "key", "--delay", 40, *keys)

    def act_paste(self):
        where = self.random.choice(["tree", "field", "focus"])
        source = self.random.choice(["empty", "empty", "text", "kept"])
        keys = self.random.choice(["ctrl+v", "shift+Insert"])
        if source == "empty":
            self.probe.clear_selection(b"CLIPBOARD")
        elif source == "text":
            text = self.ascii(30) + self.random.choice(["", "\n", "\nsecond line"])
            feeder = subprocess.Popen(["xclip", "-selection", "clipboard", "-i"], stdin=subprocess.PIPE,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            feeder.communicate(text.encode("ascii"), timeout=5)
        self.log("paste %s clipboard with %s into %s" % (source, keys, where))
        if where == "tree":
            self.click(*self.tree_point())
        elif where == "field":
            _, x, y = self.field_point()
            self.click(x, y)
        quiet("xdotool", "key", keys)

    def act_copy(self):
        keys = self.random.choice(["ctrl+c", "ctrl+x", "ctrl+a ctrl+c", "shift+Home ctrl+x"])
        self.log("keys " + keys)
        quiet("xdotool", "key", "--delay", 40, *keys.split())

    def act_resize(self):
        width = self.random.randint(480, 1200)
        height = self.random.randint(440, 900)
        self.log("resize %dx%d" % (width, height))
        quiet("xdotool", "windowsize", "--sync", self.window, width, height, timeout=5)
        time.sleep(0.2)
        self.geometry()

    def act_splitter(self):
        y = self.random.randint(60, self.height - 20)
        dx = self.random.randint(-250, 300)
        self.log("splitter %d by %d" % (self.split, dx))
        self.drag(self.split + 1, y, self.split + 1 + dx, y)
        self.split = max(40, min(self.split + dx, self.width - 89 - 40))

    def act_click_anywhere(self):
        x, y = self.random.randint(1, self.width - 2), self.random.randint(1, self.height - 2)
        button = self.random.choice([1, 1, 1, 3, 2])
        self.log("click %d,%d button %d" % (x, y, button))
        self.click(x, y, button)

    ACTIONS = [(act_button, 10), (act_rare_button, 2), (act_row, 12), (act_drag_tree, 6), (act_drag_out, 3),
               (act_type_field, 8), (act_type_tree, 6), (act_key, 12), (act_paste, 5), (act_copy, 2),
               (act_resize, 2), (act_splitter, 2), (act_click_anywhere, 3)]

    def save_and_check(self):
        self.answer_boxes()
        self.log("save")
        self.button(350)
        time.sleep(0.3)
        self.answer_boxes()
        self.responsive("saving")
        self.saves += 1
        for name in ("youken.dat", "jyoubun.dat"):
            path = os.path.join(self.scratch, name)
            if not os.path.exists(path):
                continue
            check = subprocess.run([self.data_tool, "check", path], capture_output=True, text=True)
            if check.returncode != 0:
                self.fault("quorvel-dat check %s: %s%s" % (name, check.stdout, check.stderr))

    def close(self):
        """Closes the window as its close box does and answers the save prompt."""
        self.answer_boxes()
        self.log("close")
        send_close(self.window)
        deadline = time.time() + 60
        while time.time() < deadline:
            if self.process.poll() is not None:
                break
            if self.other_windows():
                self.answer_boxes()
                if self.process.poll() is None and not self.other_windows():
                    # "No" keeps the window open: ask again, and say yes this time.
                    time.sleep(0.5)
                    if self.process.poll() is None and not self.other_windows():
                        send_close(self.window)
            time.sleep(0.2)
        if self.process.poll() is None:
            self.fault("the program did not end after the close")
        self.stderr.close()
        code = self.process.returncode
        self.check_alive_after_exit(code)

    def check_alive_after_exit(self, code):
        text = self.errors()
        for mark in SANITIZER_MARKS:
            if mark in text:
                self.fault("sanitizer report at exit (%s)" % mark)
        if code != 0:
            self.fault("the program ended with %d" % code)

    def run(self):
        self.start()
        self.responsive("starting")
        actions = [action for action, _ in self.ACTIONS]
        weights = [weight for _, weight in self.ACTIONS]
        end = time.time() + self.seconds
        while time.time() < end:
            self.random.choices(actions, weights)[0](self)
            self.actions += 1
            time.sleep(0.05)
            self.answer_boxes()
            self.responsive(self.history[-1] if self.history else "acting")
            if self.actions % SAVE_EVERY == 0:
                self.save_and_check()
        self.save_and_check()
        self.close()
        for name in ("youken.dat", "jyoubun.dat"):
            path = os.path.join(self.scratch, name)
            if not os.path.exists(path):
                continue
            check = subprocess.run([self.data_tool, "check", path], capture_output=True, text=True)
            if check.returncode != 0:
                self.fault("quorvel-dat check %s after the close: %s%s" % (name, check.stdout, check.stderr))
        self.keep_logs()
        self.probe.close()
        return self.actions


def main():
    if len(sys.argv) < 5:
        fail(__doc__)
    program, data_tool = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    seconds = float(sys.argv[3])
    seeds = [int(seed) for seed in sys.argv[4].split(",") if seed]
    log_dir = os.path.abspath(sys.argv[5]) if len(sys.argv) > 5 else ""
    started = time.time()
    total = boxes = saves = 0
    for seed in seeds:
        scratch = tempfile.mkdtemp(prefix="quorvel-monkey-")
        try:
            monkey = Monkey(program, data_tool, seed, seconds / len(seeds), scratch, log_dir)
            total += monkey.run()
            boxes += monkey.boxes
            saves += monkey.saves
            print("seed %d: %d actions, %d boxes answered, %d saves checked" %
                  (seed, monkey.actions, monkey.boxes, monkey.saves), flush=True)
        finally:
            shutil.rmtree(scratch, ignore_errors=True)
    print("PASS: %d seeds, %d actions, %d boxes, %d saves in %.1f minutes" %
          (len(seeds), total, boxes, saves, (time.time() - started) / 60))


if __name__ == "__main__":
    main()
