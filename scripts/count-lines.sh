#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Non-blank lines of the tests (everything under tests/ and the fuzz harnesses fuzz/*.cpp)
# against those of the product (src/, app/, cli/, tools/), per folder, then the ratio.
# Counts the files git knows, as they are in the work tree.
set -euo pipefail
cd "$(dirname "$0")/.."

lines() {  # non-blank lines of the tracked files matching the given pathspecs
    git ls-files -z -- "$@" | xargs -0 -r grep -c -v -E '^[[:space:]]*$' -- 2>/dev/null |
        awk -F: '{ n += $NF } END { print n + 0 }'
}

printf '%-22s %8s\n' "product" "lines"
for d in src/* app cli tools; do
    [ -d "$d" ] && printf '  %-20s %8d\n' "$d" "$(lines "$d")"
done
printf '%-22s %8s\n' "tests" "lines"
for d in tests/*; do
    [ -d "$d" ] && printf '  %-20s %8d\n' "$d" "$(lines "$d")"
done
printf '  %-20s %8d\n' "fuzz/*.cpp" "$(lines 'fuzz/*.cpp')"

product=$(lines src app cli tools)
tests=$(($(lines tests) + $(lines 'fuzz/*.cpp')))
awk -v t="$tests" -v p="$product" \
    'BEGIN { printf "tests %d lines, product %d lines: %.1f%%\n", t, p, 100 * t / p }'
