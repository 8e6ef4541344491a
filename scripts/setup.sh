#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing), then configures and
# builds Kestrune into build/. Extra arguments go to cmake's configure step.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
packages=(cmake make g++ qt6-base-dev libqt6sql6-sqlite qt6-svg-dev libqt6svg6 libsqlite3-dev libmediainfo-dev)

missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -eq 0 ]; then
        apt-get update
        DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
    elif command -v sudo >/dev/null 2>&1; then
        sudo apt-get update
        sudo DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
    else
        echo "Please run as root: apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
fi

cmake -S "$here" -B "$here/build" "$@"
cmake --build "$here/build" -j2
