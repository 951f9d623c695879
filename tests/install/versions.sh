#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every program's --version starts with its name and the project's version.
# Usage: versions.sh VERSION PROGRAM...
version=$1
shift
failed=0
for program in "$@"; do
    want="$(basename "$program") $version"
    got=$("$program" --version 2>&1 | head -n 1)
    if [ "$got" != "$want" ]; then
        echo "FAIL: $program --version printed '$got', not '$want'" >&2
        failed=1
    fi
done
exit $failed
