#!/usr/bin/env bash
# The launcher seeds the notes folder on first run, never replaces a user's file, and
# starts the program inside that folder.
# usage: launcher_test.sh LAUNCHER
set -uo pipefail
launcher=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
expect() { # description, then a test command
    local what=$1
    shift
    if ! "$@"; then
        echo "FAIL: $what"
        failed=1
    fi
}

mkdir -p "$scratch/seeds" "$scratch/home"
printf 'bundled youken' > "$scratch/seeds/youken.dat"
printf 'bundled jyoubun' > "$scratch/seeds/jyoubun.dat"
# A stand-in for the program: records where it ran.
cat > "$scratch/program" <<'PROGRAM'
#!/bin/sh
pwd > "$RECORD"
PROGRAM
chmod +x "$scratch/program"

run() { # HOME and XDG_DATA_HOME as given
    env -u XDG_DATA_HOME HOME="$1" ${2:+XDG_DATA_HOME="$2"} RECORD="$scratch/ran" \
        QUORVEL_PROGRAM="$scratch/program" QUORVEL_SEED_DIR="$scratch/seeds" sh "$launcher"
}

# First run under HOME: both data sets arrive, the program runs in the folder.
notes="$scratch/home/.local/share/quorvel"
expect "first run succeeds" run "$scratch/home"
expect "youken.dat seeded" cmp -s "$notes/youken.dat" "$scratch/seeds/youken.dat"
expect "jyoubun.dat seeded" cmp -s "$notes/jyoubun.dat" "$scratch/seeds/jyoubun.dat"
expect "program runs in the notes folder" test "$(cat "$scratch/ran")" = "$notes"
expect "no temporary file left" test "$(ls -A "$notes" | wc -l)" -eq 2

# The user's own files stay: an edited one, and a link whose target is gone.
printf 'my notes' > "$notes/youken.dat"
rm "$notes/jyoubun.dat"
ln -s "$scratch/elsewhere.dat" "$notes/jyoubun.dat"
expect "second run succeeds" run "$scratch/home"
expect "edited file kept" test "$(cat "$notes/youken.dat")" = "my notes"
expect "dangling link kept" test "$(readlink "$notes/jyoubun.dat")" = "$scratch/elsewhere.dat"

# Only the missing one is seeded.
rm "$notes/jyoubun.dat"
expect "third run succeeds" run "$scratch/home"
expect "missing file seeded again" cmp -s "$notes/jyoubun.dat" "$scratch/seeds/jyoubun.dat"
expect "edited file still kept" test "$(cat "$notes/youken.dat")" = "my notes"

# XDG_DATA_HOME wins over HOME.
expect "run with XDG_DATA_HOME succeeds" run "$scratch/home2" "$scratch/xdg"
expect "seeded under XDG_DATA_HOME" cmp -s "$scratch/xdg/quorvel/youken.dat" "$scratch/seeds/youken.dat"
expect "nothing under HOME then" test ! -e "$scratch/home2"
expect "program runs in the XDG folder" test "$(cat "$scratch/ran")" = "$scratch/xdg/quorvel"

[ "$failed" -eq 0 ] && echo "launcher good"
exit "$failed"
