#!/bin/sh
# End to end under a virtual X server: start runemeter with a fresh home, type a folder, run,
# sort by frequency, copy, and compare the clipboard with runemeter-cli's output.
# With VTSUITE given, the running window is then switched to German through the suite's
# notification, copied again and photographed.
# Usage (inside xvfb-run): run_e2e.sh RUNEMETER RUNEMETER_CLI OUTPUT_FOLDER [VTSUITE]
set -u
runemeter=$1
cli=$2
out=$3
vtsuite=${4:-}

fail() {
    echo "FAIL: $*" >&2
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    exit 1
}

mkdir -p "$out" || fail "cannot make $out"
work=$(mktemp -d) || fail "no temporary folder"
# The suite's shell that the window starts runs on after it: stop it with the test.
stop_shell() {
    shell=$(sed -n 's/^vtsuite shell running, pid \([0-9]*\).*/\1/p' "$out/runemeter.log" 2>/dev/null)
    [ -n "$shell" ] && kill "$shell" 2>/dev/null
    rm -rf "$work"
}
trap stop_shell EXIT
# The real window on the virtual X server, whatever the caller's platform setting.
export QT_QPA_PLATFORM=xcb
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

data="$work/texts"
mkdir -p "$data/sub"
printf 'The quick brown fox jumps over the lazy dog.\r\n"Quotes" & #hash, 1234!\r\n' > "$data/english.txt"
printf '\357\273\277Gr\303\274\303\237e aus K\303\266ln: \303\244\303\266\303\274 \342\202\254 42\r\n' > "$data/german.txt"
printf '\377\376H\000i\000\t\000\251\000' > "$data/utf16.txt"
printf 'not counted' > "$data/notes.xml"
printf 'in a sub-folder' > "$data/sub/deeper.txt"

"$runemeter" > "$out/runemeter.log" 2>&1 &
pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Runemeter$' | head -n 1)
[ -n "$wid" ] || fail "the window did not appear"
xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 1

# The path edit has the focus at start; Enter starts the run.
xdotool type --delay 5 "$data"
xdotool key Return
sleep 2

# Sort by frequency: a click on the "freq." header section, found from the window's layout.
geometry=$(xdotool getwindowgeometry --shell "$wid") || fail "no window geometry"
eval "$geometry"
xdotool mousemove --window "$wid" "$((WIDTH - 60))" "${RUNEMETER_HEADER_Y:-206}" click 1
sleep 1

# Copy (Alt+C), then read the clipboard from another process while the window still owns it.
xdotool key --window "$wid" alt+c
sleep 1
xclip -o -selection clipboard > "$out/clipboard.txt" 2>/dev/null || fail "the clipboard is empty"
if command -v import > /dev/null 2>&1; then
    import -window root "$out/runemeter.png" || echo "note: no screenshot" >&2
    import -window "$wid" "$out/runemeter-window.png" 2>/dev/null || true
fi

# German through the suite: "vtsuite set language 1031" notifies the running window.
if [ -n "$vtsuite" ]; then
    "$vtsuite" set language 1031 > "$out/vtsuite.txt" 2>&1 || fail "vtsuite set language failed"
    grep -q 'sent to 1 tool window' "$out/vtsuite.txt" || fail "the window got no notification"
    sleep 2
    xdotool key --window "$wid" alt+k
    sleep 1
    xclip -o -selection clipboard > "$out/clipboard-german.txt" 2>/dev/null ||
        fail "the clipboard is empty after the switch"
    grep -q "^32	Leerzeichen	" "$out/clipboard-german.txt" ||
        fail "the list is not in German after the switch"
    if command -v import > /dev/null 2>&1; then
        import -window root "$out/runemeter-german.png" || echo "note: no screenshot" >&2
    fi
fi

"$cli" --sort freq "$data" > "$out/cli.txt" 2> "$out/cli-summary.txt" || fail "runemeter-cli failed"
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null

[ -s "$out/clipboard.txt" ] || fail "nothing was copied"
if ! cmp -s "$out/clipboard.txt" "$out/cli.txt"; then
    diff "$out/clipboard.txt" "$out/cli.txt" | head -n 20 >&2
    fail "the copied text differs from runemeter-cli --sort freq"
fi
# The sort really happened: the most frequent character (the blank) comes first.
head -n 1 "$out/clipboard.txt" | grep -q '^32	Space	' || fail "the list was not sorted by frequency"
echo "e2e: $(wc -l < "$out/clipboard.txt") lines copied, identical to runemeter-cli"
exit 0
