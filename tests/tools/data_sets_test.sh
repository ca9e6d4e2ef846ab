#!/usr/bin/env bash
# Checks the built data sets.
# usage: data_sets_test.sh QUORVEL_DAT "MISSING TEXTS" [FILE.dat MINIMUM]...
# Each FILE.dat must load, hold at least MINIMUM top-level entries, each of them with a body
# that has some text, and come back byte for byte from export and import. In jyoubun.dat a
# top-level entry is a claim (depth is the pleading stage), so no top-level title may name an
# article of the Civil Code that serves only as a defence or reply. Exits 77 (skipped) when a
# data set's text is not in the repository yet, after checking the others.
set -uo pipefail
tool=$1
missing=$2
shift 2

# Articles of the Civil Code (民法) that are pleaded only as a defence, a reply or a rejoinder:
# they belong under the claim they meet, never at the top level of jyoubun.
defence_only_articles='
3条の2 5条 9条 13条 17条 20条 21条 90条 93条 94条 95条 96条 107条 108条 111条 112条
114条 115条 122条 124条 125条 126条 127条 130条 135条 136条 137条 144条 145条 146条
147条 148条 149条 150条 151条 152条 153条 164条 166条 167条 177条 178条 185条 186条
192条 193条 194条 201条 295条 388条 426条 438条 439条 443条 452条 453条 454条 457条
463条 465条の3 465条の4 465条の6 465条の9 465条の10 468条 469条 471条 472条の2 473条
474条 478条 481条 492条 493条 494条 505条 506条 509条 511条 513条 519条 520条 533条
536条 539条 543条 546条 550条 557条 566条 567条 572条 580条 593条の2 605条 611条
616条の2 619条 636条 637条 696条 705条 708条 712条 713条 720条 722条 724条 724条の2
939条 1048条
'

# Full-width digits as ASCII ones, byte by byte so that it works in any locale.
ascii_digits() {
    sed -e 's/０/0/g' -e 's/１/1/g' -e 's/２/2/g' -e 's/３/3/g' -e 's/４/4/g' \
        -e 's/５/5/g' -e 's/６/6/g' -e 's/７/7/g' -e 's/８/8/g' -e 's/９/9/g'
}

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

    if [ "$name" = jyoubun ]; then
        # Every article a top-level title that mentions the Civil Code names ("民法第95条",
        # "第724条の2"), full-width digits read as ASCII ones.
        named=$(sed -n 's/^\* //p' "$scratch/$name.txt" | grep '民法' |
            ascii_digits |
            grep -o '第[0-9]\{1,\}条\(の[0-9]\{1,\}\)\{0,1\}' | sed 's/^第//' | sort -u)
        # One line, the articles separated by single spaces, to be searched for " 95条 ".
        defence_only=" $(echo "$defence_only_articles" | tr -s '\n' ' ') "
        for article in $named; do
            case "$defence_only" in
            *" $article "*)
                fail "jyoubun.dat has a top-level entry naming 民法第$article, which is pleaded only as a defence or reply:"
                sed -n 's/^\* //p' "$scratch/$name.txt" | grep '民法' |
                    ascii_digits | grep "第$article" |
                    grep -v "第${article}[0-9の]" | sed 's/^/    /'
                ;;
            esac
        done
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
