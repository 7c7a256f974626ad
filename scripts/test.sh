#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test, ending with CTest's summary.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
cd "${BUILD_DIR:-$root/build}"
ctest --output-on-failure -j 2 --timeout 300
