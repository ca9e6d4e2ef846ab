#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quorvel Notes on the bundled data sets.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

bash scripts/setup.sh
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BENCH=OFF
# Only what is run: the program, the data tool and the data sets; no tests.
targets=()
for target in quorvel quorvel-dat quorvel_data; do
    if ninja -C build/run -t targets all | grep -q "^$target: "; then
        targets+=("$target")
    fi
done
cmake --build build/run -j "$(nproc)" --target "${targets[@]}"

if [ -x build/run/app/quorvel ]; then
    # The installed launcher's way: the notes folder under the XDG data home, seeded once
    # with the data sets built from data/; a user's own files are never overwritten.
    QUORVEL_PROGRAM="$top/build/run/app/quorvel" QUORVEL_SEED_DIR="$top/build/run/data" \
        exec sh build/run/packaging/quorvel-notes
else
    exec build/run/tools/quorvel-dat check tests/storage/data/example55.dat
fi
