#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Seeded faults: applies each patch in turn to a scratch copy of the product, rebuilds, runs
# every test and records whether any test failed; then takes the patch back out.
#
# Usage: run.sh [--rev REV] [--tree DIR] [--out FILE] [PATCH...]
#   --rev REV   copy the product at this git revision (default HEAD)
#   --tree DIR  copy this source tree instead (its build/ and .git are left out)
#   --out FILE  the TSV of results (default: results.tsv in the scratch folder)
#   PATCH...    the patches to try (default: every NN-*.patch beside this script, in order)
# The scratch folder is ${TMPDIR:-/tmp}/runemeter-faults; a copy of the same revision is
# reused, so only the first run configures and builds everything.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(git -C "$here" rev-parse --show-toplevel)
scratch=${TMPDIR:-/tmp}/runemeter-faults
rev=HEAD
tree=
out=

while [ $# -gt 0 ]; do
  case $1 in
    --rev) rev=$2; shift 2 ;;
    --tree) tree=$(cd "$2" && pwd); shift 2 ;;
    --out) out=$2; shift 2 ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    --) shift; break ;;
    -*) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
patches=("$@")
[ ${#patches[@]} -gt 0 ] || patches=("$here"/[0-9][0-9]-*.patch)
for p in "${patches[@]}"; do
  [ -f "$p" ] || { echo "run.sh: no patch $p" >&2; exit 2; }
done
# Absolute paths: the work happens inside the copy.
for i in "${!patches[@]}"; do
  patches[$i]=$(cd "$(dirname "${patches[$i]}")" && pwd)/$(basename "${patches[$i]}")
done

mkdir -p "$scratch"
if [ -n "$tree" ]; then
  copy=$scratch/tree
  mkdir -p "$copy"
  # Only files whose content differs are copied, so unchanged files keep their times and the
  # build stays incremental.
  (cd "$tree" && find . \( -path ./build -o -path ./.git \) -prune -o -type f -print) |
    while IFS= read -r f; do
      if ! cmp -s "$tree/$f" "$copy/$f"; then
        mkdir -p "$copy/$(dirname "$f")"
        cp "$tree/$f" "$copy/$f"
      fi
    done
else
  sha=$(git -C "$repo" rev-parse --verify "$rev^{commit}")
  copy=$scratch/rev-$sha
  if [ ! -d "$copy" ]; then
    mkdir -p "$copy.part"
    git -C "$repo" archive "$sha" | tar -x -C "$copy.part"
    mv "$copy.part" "$copy"
  fi
fi
out=${out:-$scratch/results.tsv}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
logs=$scratch/logs
mkdir -p "$logs"

cd "$copy"
# A run that was interrupted may have left its patch in: take it out first.
if [ -f .seeded-fault ]; then
  patch -R -p1 -s -f < "$(cat .seeded-fault)" >/dev/null || true
  rm -f .seeded-fault
fi
if [ ! -f build/dev/CMakeCache.txt ]; then
  echo "== configuring $copy"
  cmake --preset dev -DRUNEMETER_WERROR=OFF > "$logs/configure.log" 2>&1 ||
    { cat "$logs/configure.log"; exit 1; }
fi
echo "== building the unchanged product"
cmake --build build/dev -j2 > "$logs/build-base.log" 2>&1 || { tail -30 "$logs/build-base.log"; exit 1; }

printf 'id\tsubsystem\tfault\tcaught\tfailing tests\n' > "$out"
caught=0 missed=0 broken=0
for p in "${patches[@]}"; do
  id=$(basename "$p" .patch)
  fault=$(sed -n 's/^Fault: //p' "$p" | head -1)
  subsystem=$(sed -n 's/^Subsystem: //p' "$p" | head -1)
  result= tests=
  if ! patch -p1 -s -f --dry-run < "$p" > "$logs/$id.patch.log" 2>&1; then
    result="does not apply"
  else
    patch -p1 -s -f < "$p" > "$logs/$id.patch.log" 2>&1
    echo "$p" > .seeded-fault
    if ! cmake --build build/dev -j2 > "$logs/$id.build.log" 2>&1; then
      result="does not build"
    else
      if grep -q 'warning:' "$logs/$id.build.log"; then
        echo "   $id: the build gave warnings (see $logs/$id.build.log)"
      fi
      if (cd build/dev && ctest -j2 --timeout 120) > "$logs/$id.test.log" 2>&1; then
        result=no
      else
        result=yes
        # ctest lists the failed tests after "The following tests FAILED:".
        tests=$(sed -n '/The following tests FAILED:/,$p' "$logs/$id.test.log" |
                  sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\).*/\1/p' | head -5 | paste -sd ' ')
        n=$(sed -n '/The following tests FAILED:/,$p' "$logs/$id.test.log" | grep -c ' - ' || true)
        [ "$n" -gt 5 ] && tests="$tests (+$((n - 5)) more)"
        [ -n "$tests" ] || tests="(see $logs/$id.test.log)"
      fi
    fi
    patch -R -p1 -s -f < "$p" >> "$logs/$id.patch.log" 2>&1 ||
      { echo "run.sh: $id could not be taken out again; $copy is not clean" >&2; exit 1; }
    rm -f .seeded-fault
  fi
  case $result in
    yes) caught=$((caught + 1)) ;;
    no) missed=$((missed + 1)) ;;
    *) broken=$((broken + 1)) ;;
  esac
  printf '%s\t%s\t%s\t%s\t%s\n' "$id" "$subsystem" "$fault" "$result" "$tests" >> "$out"
  printf '%-32s %-12s caught: %s %s\n' "$id" "$subsystem" "$result" "$tests"
done
echo "== $caught caught, $missed not caught, $broken did not apply or build; results in $out"
