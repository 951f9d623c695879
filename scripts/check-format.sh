#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a C++ file differs from what clang-format makes of it, or a source file lacks its
# licence line (SPDX-License-Identifier in its first three lines).
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
if [ -z "$files" ]; then
  exit 0
fi
bad=0
for f in $files; do
  if ! clang-format --style=file "$f" | cmp -s - "$f"; then
    echo "not formatted: $f" >&2
    bad=1
  fi
done
for f in $files $(git ls-files '*.py' '*.sh' '*.cmake' '*CMakeLists.txt' | grep -v '^tests/.*/data/'); do
  if ! head -n 3 "$f" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
    echo "no licence line: $f" >&2
    bad=1
  fi
done
if [ $bad -ne 0 ]; then
  echo "C++ files: clang-format -i \$(git ls-files '*.cpp' '*.h')" >&2
  exit 1
fi
echo "format: $(echo "$files" | wc -w) files checked"
