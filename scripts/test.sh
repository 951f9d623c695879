#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, then builds the release configuration with warnings as errors and runs every test;
# then builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test again;
# then builds with ThreadSanitizer and runs every test once more; last, builds the Debian package
# from the release build, installs it, runs the installed programs and removes it again
# (scripts/package-test.sh, as root: through sudo when the script is not run as root).
# Prints the time of each phase. Tests never run as root: as root, the script creates the
# ordinary user runemeter-test and runs the build and the tests as that user, so that the tests
# of unreadable files and read-only folders really run.
# RUNEMETER_SKIP_SANITIZE=1 skips the sanitizer passes (for a quick local check);
# RUNEMETER_SKIP_PACKAGE=1 skips the package's round trip.
set -euo pipefail
cd "$(dirname "$0")/.."

test_user=runemeter-test
if [ "$(id -u)" -eq 0 ]; then
  scripts/setup.sh
  if ! id -u "$test_user" >/dev/null 2>&1; then
    useradd --create-home --shell /bin/bash "$test_user"
  fi
  # The user must reach the tree: give it a way through folders it may not enter.
  dir=$PWD
  while [ "$dir" != / ]; do
    if ! runuser -u "$test_user" -- test -x "$dir"; then
      setfacl -m "u:$test_user:x" "$dir"
    fi
    dir=$(dirname "$dir")
  done
  mkdir -p build
  chown -R "$test_user:" build
  home=$(getent passwd "$test_user" | cut -d: -f6)
  runuser -u "$test_user" -- env HOME="$home" USER="$test_user" LOGNAME="$test_user" \
    PATH="$PATH" RUNEMETER_SKIP_SANITIZE="${RUNEMETER_SKIP_SANITIZE:-0}" \
    GIT_CONFIG_COUNT=1 GIT_CONFIG_KEY_0=safe.directory GIT_CONFIG_VALUE_0="$PWD" \
    RUNEMETER_SETUP_DONE=1 RUNEMETER_SKIP_PACKAGE=1 "$PWD/scripts/test.sh" "$@"
  # The package is installed and removed as root, from the release build the tests passed on.
  if [ "${RUNEMETER_SKIP_PACKAGE:-0}" != 1 ]; then
    echo "== Debian package round trip (as root)"
    scripts/package-test.sh build/ci
  fi
  exit 0
fi

jobs=$(nproc)
started=$(date +%s)
phase_start=$started
phase_name=""
summary=""
phase() {
  local now
  now=$(date +%s)
  if [ -n "$phase_name" ]; then
    summary+=$(printf '  %-34s %5d s' "$phase_name" $((now - phase_start)))$'\n'
  fi
  phase_name=$1
  phase_start=$now
  [ -n "$phase_name" ] && echo "== $phase_name"
  return 0
}
trap 'phase ""; printf "== phases\n%s  %-34s %5d s\n" "$summary" "total" $(($(date +%s) - started))' EXIT

if [ "${RUNEMETER_SETUP_DONE:-0}" != 1 ]; then
  phase "set-up"
  scripts/setup.sh
fi

# No test may be skipped: a skipped test hides what it guards.
no_skips() {
  local log=$1/Testing/Temporary/LastTest.log skipped
  skipped=$(grep -E '\[  SKIPPED \]|^SKIP   :|\(Skipped\)' "$log" "$1/ctest-output.txt" | sort -u || true)
  if [ -n "$skipped" ]; then
    echo "tests were skipped:" >&2
    echo "$skipped" >&2
    return 1
  fi
  echo "no test skipped"
}

phase "formatting"
scripts/check-format.sh

phase "release build (warnings are errors)"
cmake --preset ci >/dev/null
cmake --build build/ci -j"$jobs"
phase "tests"
ctest --test-dir build/ci --output-on-failure -j"$jobs" --no-tests=error | tee build/ci/ctest-output.txt
no_skips build/ci

if [ "${RUNEMETER_SKIP_SANITIZE:-0}" != 1 ]; then
  phase "build with ASan and UBSan"
  cmake --preset asan >/dev/null
  cmake --build build/asan -j"$jobs"
  phase "tests under ASan and UBSan"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan --output-on-failure -j"$jobs" --no-tests=error |
    tee build/asan/ctest-output.txt
  no_skips build/asan
fi

if [ "${RUNEMETER_SKIP_SANITIZE:-0}" != 1 ]; then
  phase "build with ThreadSanitizer"
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j"$jobs"
  phase "tests under ThreadSanitizer"
  # The first race ends its test. scripts/tsan.supp silences reports from inside system libraries.
  # die_after_fork=0: the window tests start runemeter-cli through QProcess, whose child only
  # execs; ThreadSanitizer would otherwise end a multi-threaded program at its fork.
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$PWD/scripts/tsan.supp" \
    ctest --test-dir build/tsan --output-on-failure -j"$jobs" --no-tests=error |
    tee build/tsan/ctest-output.txt
  no_skips build/tsan
fi

if [ "${RUNEMETER_SKIP_PACKAGE:-0}" != 1 ]; then
  phase "Debian package round trip"
  scripts/package-test.sh build/ci
fi
