#!/usr/bin/env bash
# Installs the Debian 12 packages Kestrova needs to build, run, test and benchmark.
# Packages already present are left alone; apt-get runs only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config python3
    libicu-dev libgtest-dev googletest libbenchmark-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    clang-14 libclang-rt-14-dev clang-format-14
    xvfb xauth xclip xdotool openbox x11-utils
    fonts-ipafont-gothic
    gnupg
    # kestrova-tray: the graphical pinentry that gpg-agent starts for it
    pinentry-qt
    nkf manpages-ja time hyperfine python3-xlib
    librsvg2-bin desktop-file-utils appstream man-db dpkg-dev file
    # Qt's Japanese translation; lintian for the package test; AT-SPI read from Debian's Python
    # for the accessibility test, in a D-Bus session of its own
    qt6-translations-l10n lintian at-spi2-core python3-pyatspi gir1.2-atspi-2.0 dbus
    # The window under Wayland (weston nested in Xvfb, wl-clipboard) and with git, in the tests
    weston wl-clipboard qt6-wayland git
    # kestrova-tray through XWayland under a Wayland compositor, in the tests
    xwayland
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
