#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Retakes the screenshots shown in the README and the user guide: runs the end-to-end test in the
# given build folder (default build/dev, configured with the dev preset when missing) and copies
# the pictures it took into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}

[ -f "$build/CMakeCache.txt" ] || cmake --preset dev > /dev/null
cmake --build "$build" -j"$(nproc)" --target runemeter runemeter-cli vtsuite
ctest --test-dir "$build" -R '^e2e_runemeter$' --output-on-failure

cp "$build/e2e/runemeter.png" docs/screenshot.png
for picture in runemeter-german runemeter-japanese runemeter-arabic runemeter-scripts-10pt \
  runemeter-scripts-14pt runemeter-overview; do
  cp "$build/e2e/$picture.png" "docs/$picture.png"
done
echo "update-screenshots: docs/screenshot.png and six more pictures retaken"
