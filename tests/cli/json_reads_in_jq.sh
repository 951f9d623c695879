#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# jq reads every JSON document runemeter-cli writes for each sample text (rows and groups) and
# for each fuzz corpus (all its files in one run, so every code unit in them is a row).
# Usage: json_reads_in_jq.sh RUNEMETER_CLI SOURCE_DIR
set -u
cli=$1 root=$2
command -v jq > /dev/null || { echo "FAIL: jq is missing (scripts/setup.sh installs it)"; exit 1; }
status=0
check() {
    "$cli" --format json "$@" 2> /dev/null |
        jq -e '.filesFound >= 1 and ((.rows // .groups) | length) > 0' > /dev/null ||
        { echo "FAIL: runemeter-cli --format json $*"; status=1; }
}
for file in "$root"/data/samples/*; do
    check "$file"
    check --group-by block "$file"
done
for corpus in "$root"/fuzz/corpus/*; do
    check --mask '*' "$corpus"
done
exit $status
