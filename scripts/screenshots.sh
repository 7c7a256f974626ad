#!/usr/bin/env bash
# Makes the README's pictures (docs/*.png) with the window itself, against the emulator,
# under Xvfb; run it again when the window changes. Builds in build/ (or $BUILD_DIR).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/deps.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target vantor-screenshot vantor-sim
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/vantor-screenshot" "$root/docs"
