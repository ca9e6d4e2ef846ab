#!/usr/bin/env bash
# Launch to window shown for the 1,000,000-entry outline, beside reading the same file into
# memory, each run side by side; and the program's peak memory once shown. Needs a display
# with a window manager: tests/e2e/with_desktop.sh bench/launch_bench.sh BUILD_DIR [RUNS]
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-5}
# Another build of the program may be measured beside this one (QUORVEL_APP=path).
app=${QUORVEL_APP:-$build/app/quorvel}
dir=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
"$build/bench/storage_bench" --write-only "$dir/youken.dat"
size=$(stat -c %s "$dir/youken.dat")
cd "$dir"
printf '%-4s %10s %10s %7s %10s %7s\n' run read_s shown_s ratio peak_MB ratio
for run in $(seq "$runs"); do
    read_s=$("$build/bench/storage_bench" --read-only youken.dat)
    start=$(date +%s.%N)
    "$app" >/dev/null 2>&1 &
    pid=$!
    # Shown: the window is mapped and viewable.
    until xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; do
        sleep 0.01
    done
    end=$(date +%s.%N)
    sleep 0.5
    peak_kb=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=""
    awk -v r="$read_s" -v s="$start" -v e="$end" -v p="$peak_kb" -v f="$size" -v n="$run" \
        'BEGIN { printf "%-4s %10.3f %10.3f %6.2fx %10.1f %6.2fx\n", n, r, e - s, (e - s) / r, p * 1024 / 1e6, p * 1024 / f }'
done
echo "limits: shown at most 2x reading, peak at most 1.6x the file ($size bytes)"
