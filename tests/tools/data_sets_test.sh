#!/usr/bin/env bash
# Checks the built data sets.
# usage: data_sets_test.sh QUORVEL_DAT "MISSING TEXTS" [FILE.dat MINIMUM]...
# Each FILE.dat must load, hold at least MINIMUM top-level entries, each of them with a body
# that has some text, and come back byte for byte from export and import. Exits 77 (skipped)
# when a data set's text is not in the repository yet, after checking the others.
set -uo pipefail
tool=$1
missing=$2
shift 2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

while [ $# -ge 2 ]; do
    dat=$1
    minimum=$2
    shift 2
    name=$(basename "$dat" .dat)

    if ! "$tool" check "$dat"; then
        fail "$name.dat does not load"
        continue
    fi
    if ! "$tool" export "$dat" -o "$scratch/$name.txt"; then
        fail "$name.dat does not export"
        continue
    fi

    # Top-level entries are the lines starting with "*"; a body line of theirs starts with
    # two spaces and "|", and comes right after its entry line.
    report=$(awk '
        /^\*/ { if (count && !body) print "no body: " title; count++; title = $0; body = 0; next }
        /^  \| .*[^ ]/ { body = 1 }
        END { if (count && !body) print "no body: " title; print "top-level entries: " count }
    ' "$scratch/$name.txt")
    echo "$name.dat: $(echo "$report" | tail -n 1)"
    count=$(echo "$report" | sed -n 's/^top-level entries: //p')
    if [ "$count" -lt "$minimum" ]; then
        fail "$name.dat has $count top-level entries, fewer than $minimum"
    fi
    if echo "$report" | grep -q '^no body: '; then
        fail "$name.dat has top-level entries without a body:"
        echo "$report" | sed -n 's/^no body: /    /p'
    fi

    if ! "$tool" import "$scratch/$name.txt" -o "$scratch/$name.again.dat" >/dev/null; then
        fail "the export of $name.dat does not import"
    elif ! cmp "$dat" "$scratch/$name.again.dat"; then
        fail "$name.dat changes through export and import"
    fi
done

if [ "$failed" -ne 0 ]; then
    exit 1
fi
if [ -n "$missing" ]; then
    echo "SKIPPED: not in the repository yet: $missing"
    exit 77
fi
echo "all data sets good"
