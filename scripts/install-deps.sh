#!/usr/bin/env bash
# Installs, with apt-get, whichever of the packages Tidewell builds and tests with are missing:
# the icons are drawn with rsvg-convert, and the package is made and checked with dpkg-dev,
# file, appstream, desktop-file-utils and lintian; the copies onto a FAT volume are tried
# through fusefat on an image made by dosfstools; the tray test meets a panel on a private
# session bus (dbus-daemon) under a virtual X server (xvfb, xauth).
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-qpa-plugins qt6-wayland libgl-dev libxcb1-dev
    libbenchmark-dev
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    librsvg2-bin
    dpkg-dev file appstream desktop-file-utils lintian
    fusefat dosfstools
    dbus-daemon xvfb xauth
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi
