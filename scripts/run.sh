#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program. With no arguments it looks
# for the programmer on the system's serial ports when a USB serial adapter is attached,
# and otherwise starts with the simulated programmer (--simulate). Any arguments are
# passed on instead, e.g. scripts/run.sh --ports /dev/ttyUSB0.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
args=("$@")
if ((${#args[@]} == 0)) && ! compgen -G '/dev/ttyUSB*' >/dev/null && ! compgen -G '/dev/ttyACM*' >/dev/null; then
    echo "No USB serial adapter attached: starting with the simulated programmer."
    args=(--simulate)
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    exec xvfb-run -a "$root/build/usb-vantor" "${args[@]}"
fi
exec "$root/build/usb-vantor" "${args[@]}"
