#!/usr/bin/env bash
# Sets up, builds with warnings as errors and runs every test; then builds again with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test once more.
# RUNEMETER_SKIP_SANITIZE=1 skips the second pass (for a quick local check).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
jobs=$(nproc)

echo "== formatting"
scripts/check-format.sh

echo "== build (warnings are errors)"
cmake --preset dev >/dev/null
cmake --build build/dev -j"$jobs"
echo "== tests"
(cd build/dev && ctest --output-on-failure -j"$jobs")

if [ "${RUNEMETER_SKIP_SANITIZE:-0}" != 1 ]; then
  echo "== build with AddressSanitizer and UndefinedBehaviorSanitizer"
  cmake --preset asan >/dev/null
  cmake --build build/asan -j"$jobs"
  echo "== tests under the sanitizers"
  (cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
     UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j"$jobs")
fi
