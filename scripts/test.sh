#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: in the normal build
# (build/), after which it makes the Debian package there and checks it
# (scripts/package.sh), and in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/); then runs the parsers' fuzz targets for a few
# seconds each in a clang build of their own (build-fuzz/). Ends with CTest's summary;
# exits non-zero when any test or package check failed or a fuzz target found a crash.
# Four tests at a time on two cores: most of the tool's tests wait on the emulator and the
# 9600-baud line, not on the processor.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"

status=0
echo "== normal build"
BUILD_DIR="$root/build" "$root/scripts/build.sh"
(cd "$root/build" && ctest --output-on-failure -j 4 --timeout 300) || status=1

echo "== package"
BUILD_DIR="$root/build" "$root/scripts/package.sh" || status=1

echo "== sanitizer build"
# In batches of files (a unity build): it compiles in about half the time, and the normal
# build above still compiles each file on its own.
BUILD_DIR="$root/build-asan" BUILD_TYPE=Debug "$root/scripts/build.sh" \
    -DVANTOR_SANITIZE=ON -DVANTOR_BENCHMARKS=OFF -DVANTOR_SOAK_SECONDS=30 -DCMAKE_UNITY_BUILD=ON
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd "$root/build-asan" && ctest --output-on-failure -j 4 --timeout 600) || status=1

echo "== fuzz build"
BUILD_DIR="$root/build-fuzz" "$root/scripts/build.sh" \
    -DCMAKE_CXX_COMPILER=clang++-14 -DVANTOR_FUZZ=ON
(cd "$root/build-fuzz" && ctest --output-on-failure -j 2 --timeout 300) || status=1
exit $status
