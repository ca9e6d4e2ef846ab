#!/usr/bin/env bash
# Builds the data file reader's fuzz target with clang and runs it for SECONDS (default 60).
# New inputs go to the build directory; the committed seeds in fuzz/corpus stay as they are.
# Usage: fuzz/run.sh [SECONDS]   (BUILD_DIR overrides build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${BUILD_DIR:-build/fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DQUORVEL_WITH_UI=OFF -DQUORVEL_FUZZ=ON -DQUORVEL_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_read_outline -j "$(nproc)"

work="$build/fuzz-corpus"
mkdir -p "$work" "$build/fuzz-artifacts"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/fuzz_read_outline" "$work" fuzz/corpus \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/fuzz-artifacts/" -print_final_stats=1
