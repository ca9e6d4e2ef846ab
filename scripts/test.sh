#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the normal build
# (unit, widget and end-to-end tests), a short fuzz run of the data file reader, the
# core, settings and data tool tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the formatting check.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_WERROR=ON
cmake --build build/test -j "$jobs"
ctest --test-dir build/test --output-on-failure -j "$jobs"

# A short run of the data file reader's fuzz target (clang, libFuzzer, ASan and UBSan);
# fuzz/run.sh SECONDS runs it longer by hand.
BUILD_DIR=build/fuzz bash fuzz/run.sh 30

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_WERROR=ON \
    -DQUORVEL_SANITIZE=ON -DQUORVEL_WITH_UI=OFF -DQUORVEL_BENCH=OFF
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure -j "$jobs"

cmake --build build/test --target format-check
