#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it.
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
if [ $bad -ne 0 ]; then
  echo "run: clang-format -i \$(git ls-files '*.cpp' '*.h')" >&2
  exit 1
fi
echo "format: $(echo "$files" | wc -w) files checked"
