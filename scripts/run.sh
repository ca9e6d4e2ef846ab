#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quorvel Notes on the bundled data sets.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

bash scripts/setup.sh
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BENCH=OFF
cmake --build build/run -j "$(nproc)"

if [ -x build/run/app/quorvel ]; then
    datadir="${XDG_DATA_HOME:-$HOME/.local/share}/quorvel"
    mkdir -p "$datadir"
    # Seed the notes folder once; a user's own files are never overwritten.
    for f in youken.dat jyoubun.dat; do
        if [ ! -e "$datadir/$f" ] && [ -e "build/run/data/$f" ]; then
            cp "build/run/data/$f" "$datadir/$f"
        fi
    done
    cd "$datadir"
    exec "$top/build/run/app/quorvel"
else
    exec build/run/tools/quorvel-dat check tests/storage/data/example55.dat
fi
