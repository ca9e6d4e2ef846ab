#!/usr/bin/env bash
# Installs what the project needs to build, run and test, and only what is missing,
# so a second run returns at once.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-private-dev qt6-translations-l10n
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-ipafont-gothic
    clang libclang-rt-14-dev clang-format
    xvfb xauth xdotool imagemagick python3
    openbox wmctrl x11-utils xclip ccache
    dpkg-dev fakeroot file appstream
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -o DPkg::Lock::Timeout=600 -qq
$SUDO apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}"
