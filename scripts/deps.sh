#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12; does nothing when all
# of it is present. Uses sudo when not run as root.
set -euo pipefail

packages=(
    cmake g++ make pkg-config ccache
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-serialport-dev qt6-svg-dev libgl-dev
    fonts-arphic-ukai
    xvfb xauth
    clang-14 libclang-rt-14-dev llvm-14
    lintian appstream desktop-file-utils man-db groff-base
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
