#!/bin/sh
# runemeter-dask on a local cluster, and on a scheduler with two workers on 127.0.0.1, prints
# what one runemeter-cli run prints; a shard that fails twice is listed and gives status 1.
# Usage: dask_equals_single_run.sh BIN_DIR SOURCE_DIR
set -u
bin=$1 samples=$2/data/samples
work=$(mktemp -d) || exit 1
pids=
trap 'for p in $pids; do kill "$p" 2> /dev/null; done; rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
"$bin/runemeter-cli" --format json --subfolders "$samples" > "$work/single.json" 2> /dev/null

same() {  # label, arguments of runemeter-dask; its json output equals the single run's
    label=$1; shift
    "$bin/runemeter-dask" "$@" --shards 3 --format json --subfolders "$samples" \
        > "$work/dask.json" 2> "$work/dask.err" || { fail "$label: status $?"; cat "$work/dask.err"; }
    cmp -s "$work/single.json" "$work/dask.json" || fail "$label: output differs"
}
same "local cluster" --workers 2

port=$((20000 + $$ % 20000))
dask-scheduler --host 127.0.0.1 --port "$port" --dashboard-address :0 > "$work/s.log" 2>&1 &
pids="$!"
for n in 1 2; do
    PATH="$bin:$PATH" dask-worker --nthreads 1 --no-dashboard "tcp://127.0.0.1:$port" \
        > "$work/w$n.log" 2>&1 &
    pids="$pids $!"
done
same "scheduler" --scheduler "tcp://127.0.0.1:$port"

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
