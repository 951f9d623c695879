#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# runemeter-dask on a local cluster, and on a scheduler with two workers on 127.0.0.1, prints
# what one runemeter-cli run prints (also counting grapheme clusters); a shard that fails twice
# is listed and gives status 1.
# Usage: dask_equals_single_run.sh BIN_DIR SOURCE_DIR
set -u
bin=$1
work=$(mktemp -d) || exit 1
samples=$work/corpus
cp -r "$2/data/samples" "$samples"
# Sub-folders that a shard holds whole: it reads them as folders, the rest as lists of files.
mkdir -p "$samples/in/deeper" "$samples/zz"
cp "$2"/data/samples/*.txt "$samples/in/"
cp "$2"/data/samples/*8.txt "$samples/in/deeper/"
cp "$2"/data/samples/*.zip "$samples/zz/"
printf '\357\273\277e\314\201 \360\237\207\253\360\237\207\267 \360\237\230\200\r\n' > "$samples/clusters.txt"
pids=
trap 'for p in $pids; do kill "$p" 2> /dev/null; done; rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

same() {  # label, options of both runs, arguments of runemeter-dask: the json outputs are equal
    label=$1 options=$2; shift 2
    "$bin/runemeter-cli" $options --format json --subfolders "$samples" > "$work/single.json" \
        2> /dev/null
    "$bin/runemeter-dask" "$@" $options --shards 3 --format json --subfolders "$samples" \
        > "$work/dask.json" 2> "$work/dask.err" || { fail "$label: status $?"; cat "$work/dask.err"; }
    cmp -s "$work/single.json" "$work/dask.json" || fail "$label: output differs"
}
same "local cluster" "" --workers 2
same "clusters" "--unit grapheme --normalize nfd" --workers 2
jq -e '[.rows[] | select(.text | test("e\u0301"))] | length == 1' "$work/dask.json" > /dev/null ||
    fail "clusters: no row of e and its accent"

port=$((20000 + $$ % 20000))
dask-scheduler --host 127.0.0.1 --port "$port" --dashboard-address :0 > "$work/s.log" 2>&1 &
pids="$!"
for n in 1 2; do
    PATH="$bin:$PATH" dask-worker --nthreads 1 --no-dashboard "tcp://127.0.0.1:$port" \
        > "$work/w$n.log" 2>&1 &
    pids="$pids $!"
done
same "scheduler" "" --scheduler "tcp://127.0.0.1:$port"

# The wrapper fails for the shard holding the Greek text, every time.
cat > "$work/flaky-cli" << WRAP
#!/bin/sh
tee "$work/list.\$\$" | grep -q greek && { echo "shard lost" >&2; exit 3; }
exec "$bin/runemeter-cli" "\$@" < "$work/list.\$\$"
WRAP
chmod +x "$work/flaky-cli"
"$bin/runemeter-dask" --workers 2 --shards 3 --cli "$work/flaky-cli" --format json \
    --subfolders "$samples" > "$work/failed.json" 2> /dev/null
got=$?
[ "$got" = 1 ] || fail "failed shard: status $got, not 1"
jq -e '[.problems[] | select(.reason | test("failed twice.*shard lost"))] | length >= 1
       and any(.[]; .path | test("greek"))' "$work/failed.json" > /dev/null ||
    fail "failed shard: not in the problems list"
jq -e '.filesRead < .filesFound' "$work/failed.json" > /dev/null ||
    fail "failed shard: its files counted as read"
exit $status
