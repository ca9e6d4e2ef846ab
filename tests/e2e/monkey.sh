#!/usr/bin/env bash
# Runs the random-input test longer by hand, by default on the sanitised build of the
# window (AddressSanitizer and UndefinedBehaviorSanitizer), configured and built here
# when it is missing.
# usage: tests/e2e/monkey.sh SECONDS SEED[,SEED...] [LOG_DIR]
#   BUILD_DIR (default build/asan-gui) names the build tree to use.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ $# -lt 2 ]; then
    sed -n '2,7p' "$0" >&2
    exit 2
fi
seconds=$1
seeds=$2
log_dir=${3:-}
build=${BUILD_DIR:-build/asan-gui}

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_WERROR=ON \
        -DQUORVEL_SANITIZE=ON -DQUORVEL_WITH_UI=ON -DQUORVEL_BENCH=OFF
fi
cmake --build "$build" -j "$(nproc)" --target quorvel quorvel-dat

exec bash tests/e2e/with_desktop.sh python3 tests/e2e/monkey_e2e.py \
    "$build/app/quorvel" "$build/tools/quorvel-dat" "$seconds" "$seeds" ${log_dir:+"$log_dir"}
