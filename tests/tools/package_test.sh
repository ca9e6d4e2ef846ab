#!/usr/bin/env bash
# The Debian package: cpack builds it from the build tree; its files, their modes and its
# control fields are what an install needs, and its launcher finds the data sets it holds.
# usage: package_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

if ! (cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1); then
    cat "$scratch/cpack.log"
    fail "cpack -G DEB"
    exit 1
fi
arch=$(dpkg --print-architecture)
deb="$scratch/out/quorvel-notes_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
    ls -l "$scratch/out"
    fail "no $deb"
    exit 1
fi

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quorvel-notes ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
for needed in libqt6widgets6 libqt6gui6 libqt6core6 libc6 libstdc++6 fonts-ipafont-gothic qt6-base-abi; do
    # As a whole package name in the comma-separated list, with or without a version.
    if ! printf '%s\n' "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qx "$needed"; then
        fail "Depends lacks $needed: $depends"
    fi
done
printf '%s\n' "$(field Recommends)" | grep -q qt6-translations-l10n || fail "Recommends: $(field Recommends)"

# Files, with their modes.
dpkg-deb -c "$deb" | awk '{ print $1, $6 }' | sed 's| \./| /|' >"$scratch/list"
expect_file() { # mode prefix, path
    grep -qxF -- "$1 $2" "$scratch/list" || fail "no $2 with mode $1"
}
for program in quorvel quorvel-dat quorvel-notes; do
    expect_file -rwxr-xr-x "/usr/bin/$program"
done
for file in /usr/share/quorvel/youken.dat /usr/share/quorvel/jyoubun.dat \
    /usr/share/applications/quorvel.desktop \
    /usr/share/icons/hicolor/32x32/apps/quorvel.png \
    /usr/share/icons/hicolor/48x48/apps/quorvel.png \
    /usr/share/icons/hicolor/128x128/apps/quorvel.png \
    /usr/share/icons/hicolor/scalable/apps/quorvel.svg \
    /usr/share/metainfo/io.github.quorvel.Notes.metainfo.xml \
    /usr/share/man/man1/quorvel-notes.1.gz /usr/share/man/man1/quorvel-dat.1.gz; do
    expect_file -rw-r--r-- "$file"
done
# Nothing outside /usr, nothing of the build or the tests.
if grep -v ' /usr/' "$scratch/list" | grep -v ' /$'; then
    fail "files outside /usr"
fi
if grep -E 'tst_|_tests|\.a$|/include/' "$scratch/list"; then
    fail "build or test files in the package"
fi

# The contents work: the desktop entry starts the launcher, the icons have their sizes,
# the metainfo validates, the manual pages read.
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
grep -qx 'Exec=quorvel-notes' "$root/usr/share/applications/quorvel.desktop" || fail "desktop entry's Exec"
grep -qx 'Icon=quorvel' "$root/usr/share/applications/quorvel.desktop" || fail "desktop entry's Icon"
for size in 32 48 128; do
    file "$root/usr/share/icons/hicolor/${size}x${size}/apps/quorvel.png" | grep -q "PNG image data, $size x $size" ||
        fail "icon ${size}x${size}"
done
grep -q '<svg' "$root/usr/share/icons/hicolor/scalable/apps/quorvel.svg" || fail "scalable icon"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.quorvel.Notes.metainfo.xml" ||
        fail "appstreamcli validate"
fi
for page in quorvel-notes quorvel-dat; do
    zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH ${page^^} 1" || fail "manual page $page"
done
"$root/usr/bin/quorvel-dat" --version | grep -qx "quorvel-dat $version" || fail "quorvel-dat --version"
"$root/usr/bin/quorvel-dat" check "$root/usr/share/quorvel/youken.dat" || fail "youken.dat in the package"
"$root/usr/bin/quorvel-dat" check "$root/usr/share/quorvel/jyoubun.dat" || fail "jyoubun.dat in the package"

# The launcher, run from where the package put it, seeds a new notes folder from the
# package's own data sets and starts the program there (a stand-in records where).
printf '#!/bin/sh\npwd > "$RECORD"\n' >"$scratch/program"
chmod +x "$scratch/program"
mkdir -p "$scratch/home"
env -u XDG_DATA_HOME HOME="$scratch/home" RECORD="$scratch/ran" QUORVEL_PROGRAM="$scratch/program" \
    sh "$root/usr/bin/quorvel-notes" || fail "launcher"
notes="$scratch/home/.local/share/quorvel"
[ "$(cat "$scratch/ran" 2>/dev/null)" = "$notes" ] || fail "the program did not start in $notes"
cmp -s "$notes/youken.dat" "$root/usr/share/quorvel/youken.dat" || fail "youken.dat not seeded"
cmp -s "$notes/jyoubun.dat" "$root/usr/share/quorvel/jyoubun.dat" || fail "jyoubun.dat not seeded"

[ $failed -eq 0 ] && echo PASS
exit $failed
