#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program. With no arguments it starts
# with the simulated programmer (--simulate); any arguments are passed on instead, e.g.
# scripts/run.sh --ports /dev/ttyUSB0 for real hardware.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
args=("$@")
if ((${#args[@]} == 0)); then
    args=(--simulate)
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    exec xvfb-run -a "$root/build/usb-vantor" "${args[@]}"
fi
exec "$root/build/usb-vantor" "${args[@]}"
