#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds in Release and runs Runemeter: the window when a display is available,
# otherwise runemeter-cli on the sample texts.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset release >/dev/null
cmake --build build/release -j"$(nproc)"

if [ -x build/release/bin/runemeter ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/release/bin/runemeter
fi
if [ -x build/release/bin/runemeter ]; then
  echo "run: no display available; showing runemeter-cli on the sample texts instead" >&2
fi
exec build/release/bin/runemeter-cli --subfolders data/samples "$@"
