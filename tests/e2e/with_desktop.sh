#!/usr/bin/env bash
# Runs a command on a desktop of its own: a fresh Xvfb display with openbox as the window
# manager, so that the program under test gets frames, focus rules and reparenting as on a
# user's desktop. Both are ended when the command ends; its exit code is passed on.
# usage: with_desktop.sh COMMAND [ARG]...
set -uo pipefail

screen=${QUORVEL_E2E_SCREEN:-1280x1024x24}
run_dir=$(mktemp -d)
trap 'kill $wm_pid $x_pid 2>/dev/null; wait $wm_pid $x_pid 2>/dev/null; rm -rf "$run_dir"' EXIT
wm_pid=""
x_pid=""

# Xvfb picks a free display itself and writes its number to the given descriptor.
exec 3>"$run_dir/display"
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -auth /dev/null >"$run_dir/xvfb.log" 2>&1 &
x_pid=$!
exec 3>&-
for _ in $(seq 100); do
    [ -s "$run_dir/display" ] && break
    sleep 0.05
done
if [ ! -s "$run_dir/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$run_dir/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n 1 "$run_dir/display")"
unset XAUTHORITY

openbox --sm-disable >"$run_dir/openbox.log" 2>&1 &
wm_pid=$!
# The window manager is ready once it has announced itself on the root window.
for _ in $(seq 100); do
    wmctrl -m >/dev/null 2>&1 && break
    sleep 0.05
done
if ! wmctrl -m >/dev/null 2>&1; then
    echo "openbox did not start:" >&2
    cat "$run_dir/openbox.log" >&2
    exit 1
fi

"$@"
