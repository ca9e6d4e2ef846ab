"""An ordinary user runs the program from a folder that user cannot write, as after a
system-wide install: closing shows no error box, the settings go to the user's
configuration folder, and the next start restores the geometry from there.

usage: settings_location_e2e.py PROGRAM
Runs as root and switches to the user nobody with setpriv; exits 77 (skipped) otherwise."""
import os
import shutil
import subprocess
import sys
import time

from e2e_support import data_file, fail, find_window, in_scratch, send_close, xdotool

USER_SETTINGS = "; the user's own note, kept\n[form]\nform1.top=200\nform1.left=150\nform1.width=800\n[other]\nx=1\n"


def as_nobody(path):
    os.chown(path, 65534, 65534)


def geometry_of(window):
    return dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell", window).split())


def read_settings(path):
    with open(path) as handle:
        return dict(line.strip().split("=", 1) for line in handle if "=" in line and not line.startswith(";"))


def run_once(scratch, program, check):
    """Starts the program as nobody in the notes folder, calls check(window), closes the
    window and waits for a clean end: an error box at close would keep the window open."""
    env = {
        "PATH": "/usr/bin:/bin",
        "DISPLAY": os.environ["DISPLAY"],
        "HOME": os.path.join(scratch, "home"),
        "LC_ALL": "C.UTF-8",
        "QT_QPA_PLATFORM": "xcb",
    }
    command = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--", program]
    process = subprocess.Popen(command, cwd=os.path.join(scratch, "notes"), env=env, stderr=subprocess.PIPE,
                               text=True)
    try:
        window = find_window("Quorvel")
        time.sleep(1.0)
        check(window)
        send_close(window)
        try:
            code = process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            names = xdotool("search", "--onlyvisible", "--name", ".", timeout=5).split()
            titles = [xdotool("getwindowname", w).strip() for w in names]
            fail("the program did not end after the close (an error box?): windows %s" % titles)
        errors = process.stderr.read()
        if code != 0:
            fail("the program ended with %d: %s" % (code, errors))
        if "書き込めません" in errors:
            fail("settings write failed: " + errors)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def run(program, scratch):
    os.chmod(scratch, 0o755)
    # The program's folder belongs to root: nobody cannot write there.
    bin_dir = os.path.join(scratch, "bin")
    os.mkdir(bin_dir, 0o755)
    installed = os.path.join(bin_dir, "quorvel")
    shutil.copy(program, installed)
    os.chmod(installed, 0o755)
    for folder in ("notes", "home"):
        os.mkdir(os.path.join(scratch, folder), 0o755)
        as_nobody(os.path.join(scratch, folder))
    youken = os.path.join(scratch, "notes", "youken.dat")
    with open(youken, "wb") as handle:
        handle.write(data_file([(-1, "Alpha", "alpha\r\n"), (0, "Beta", "")]))
    as_nobody(youken)
    if subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--", "touch",
                       os.path.join(bin_dir, "probe")], capture_output=True).returncode == 0:
        fail("nobody can write the program's folder: the test would prove nothing")

    settings = os.path.join(scratch, "home", ".config", "quorvel", "Quorvel.ini")
    beside = os.path.join(bin_dir, "Quorvel.ini")

    # First start: no settings file anywhere; the close writes one in ~/.config/quorvel.
    run_once(scratch, installed, lambda window: None)
    if os.path.exists(beside):
        fail("a settings file appeared beside the program")
    if not os.path.exists(settings):
        fail("no settings file in the configuration folder")
    written = read_settings(settings)
    if sorted(written) != ["form1.left", "form1.top", "form1.width"]:
        fail("first settings file holds %s" % written)
    if os.stat(settings).st_uid != 65534:
        fail("the settings file does not belong to the user")

    # The user's file, with a note and another section: the next start restores its
    # geometry, and the close changes the three values only.
    with open(settings, "w") as handle:
        handle.write(USER_SETTINGS)

    def check_restored(window):
        geometry = geometry_of(window)
        # The client area lies inside the frame whose outer geometry was stored; allow
        # for the frame's width and title bar.
        x, y, width = int(geometry["X"]), int(geometry["Y"]), int(geometry["WIDTH"])
        if not (150 <= x <= 150 + 30 and 200 <= y <= 200 + 60 and 800 - 30 <= width <= 800):
            fail("restored window at x %d, y %d, width %d; stored left 150, top 200, width 800" % (x, y, width))

    run_once(scratch, installed, check_restored)
    with open(settings) as handle:
        text = handle.read()
    lines = text.splitlines()
    if lines[0] != "; the user's own note, kept" or lines[-2:] != ["[other]", "x=1"] or lines[1] != "[form]":
        fail("the close changed more than the form keys:\n" + text)
    again = read_settings(settings)
    for key, stored in (("form1.top", 200), ("form1.left", 150), ("form1.width", 800)):
        if abs(int(again[key]) - stored) > 30:
            fail("written back %s=%s after restoring %d" % (key, again[key], stored))
    if os.path.exists(beside):
        fail("a settings file appeared beside the program")


def main():
    if len(sys.argv) != 2:
        fail(__doc__)
    if os.geteuid() != 0 or not shutil.which("setpriv"):
        print("SKIP: needs root and setpriv to become an ordinary user")
        sys.exit(77)
    in_scratch("quorvel-e2e-settings-", lambda scratch: run(os.path.abspath(sys.argv[1]), scratch))


if __name__ == "__main__":
    main()
