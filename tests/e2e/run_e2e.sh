#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# End to end under a virtual X server, each step polling up to 20 s for what it needs: start
# runemeter with a fresh home, type a folder, run, sort by frequency, copy, and compare the
# clipboard, read by another process, with runemeter-cli's output; a look at the Overview tab.
# With VTSUITE, the window is switched to German, Japanese and Arabic through the suite and copied
# in each. Last, it is started on Chinese, Arabic and emoji text at 10 and 14 pt, the second time
# with the folder given on its command line (relative, after "--") in place of another stored
# path. Screenshots go to OUTPUT_FOLDER
# (scripts/update-screenshots.sh copies them into docs/).
# Usage (inside xvfb-run): run_e2e.sh RUNEMETER RUNEMETER_CLI OUTPUT_FOLDER [VTSUITE]
set -u
runemeter=$1 cli=$2 out=$3 vtsuite=${4:-}

fail() { echo "FAIL: $*" >&2; exit 1; }
# Runs a command every 0.1 s until it succeeds; false after 20 s.
poll() {
    tries=200
    until "$@" > /dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}
copy() {  # KEY FILE: presses a copy key, then reads the clipboard into FILE
    xdotool key --window "$wid" "$1"
    xclip -o -selection clipboard > "$2" 2> /dev/null
}
screenshot() { import -window "$wid" "$out/$1" || fail "no screenshot $1"; }
# start [NOTE [ARGUMENT...]]: starts the window with the arguments and waits for it to show and
# take the focus; then reads its geometry.
start() {
    note=${1:-}
    [ $# -eq 0 ] || shift
    "$runemeter" "$@" >> "$out/runemeter.log" 2>&1 &
    pid=$!
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Runemeter$' | head -n 1)
    [ -n "$wid" ] || fail "the window did not appear${note:+ $note}"
    xdotool windowfocus "$wid" 2> /dev/null
    poll sh -c "[ \"\$(xdotool getwindowfocus)\" = $wid ]" || fail "the window got no focus"
    eval "$(xdotool getwindowgeometry --shell "$wid")" || fail "no window geometry"
}
close() { kill "$pid" && wait "$pid" 2> /dev/null; pid=; }
# A click on a row near the list's left edge (the character inspector is at the right), then
# Ctrl+5, the key of the "freq." heading.
sort_by_frequency() {
    xdotool mousemove --window "$wid" 60 "$((${RUNEMETER_HEADER_Y:-233} + 30))" click 1 &&
        xdotool key --window "$wid" ctrl+5
}

mkdir -p "$out" && out=$(cd "$out" && pwd) || fail "cannot make $out"
work=$(mktemp -d) || fail "no temporary folder"
# The window and the suite's shell that it starts run on after this script: stop both.
stop() {
    shell=$(sed -n 's/^vtsuite shell running, pid \([0-9]*\).*/\1/p' "$out/runemeter.log" 2> /dev/null)
    kill ${pid:-} $shell 2> /dev/null
    [ -n "${pid:-}" ] && wait "$pid" 2> /dev/null
    [ -n "$shell" ] && poll sh -c "! kill -0 $shell"
    rm -rf "$work"
}
trap stop EXIT
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

: > "$out/runemeter.log"
start
# Typed into the path edit, which has the focus, and run with Enter; once the list is filled, a
# click on a row and Ctrl+5 sort it by frequency, and Alt+C copies it, the blank first.
xdotool type --delay 5 "$data"
xdotool key Return
sort_and_copy() {
    sort_by_frequency && copy alt+c "$out/clipboard.txt" && head -n 1 "$out/clipboard.txt" | grep -q '^32	Space	'
}
poll sort_and_copy || fail "no copy of the list sorted by frequency on the clipboard"
screenshot runemeter.png
# The Overview tab (Alt+V) of the same run, in a larger window; then the list again (Alt+R) at
# the size it had.
xdotool windowmove --sync "$wid" 0 0
xdotool windowsize --sync "$wid" 760 740
xdotool key --window "$wid" alt+v
sleep 1
screenshot runemeter-overview.png
xdotool key --window "$wid" alt+r
xdotool windowsize --sync "$wid" "$WIDTH" "$HEIGHT"
sleep 1

# Through the suite: "vtsuite set language N" notifies the running window, switched to each
# shipped language in turn. German copies with Alt+K, the others with Alt+C ("(&C)" in Chinese,
# Japanese and Arabic, whose window is mirrored).
if [ -n "$vtsuite" ]; then
    for step in '1031 german Leerzeichen alt+k' '1036 french Espace alt+c' '2052 chinese 空格 alt+c' \
        '3082 spanish Espacio alt+c' '1049 russian Пробел' '1041 japanese スペース alt+c' \
        '1025 arabic مسافة alt+c'; do
        set -- $step
        "$vtsuite" set language "$1" > "$out/vtsuite.txt" 2>&1 || fail "vtsuite set language $1 failed"
        grep -q 'sent to 1 tool window' "$out/vtsuite.txt" || fail "the window got no notification"
        # Russian copies with a Cyrillic letter, which the virtual keyboard may lack: its rows are
        # checked by the widget tests, and here only through the next language's copy.
        [ -n "${4:-}" ] || continue
        switched() { copy "$4" "$out/clipboard-$2.txt" && grep -q "^32	$3	" "$out/clipboard-$2.txt"; }
        poll switched "$@" || fail "the list is not in $2 after the switch"
        screenshot "runemeter-$2.png"
    done
fi

"$cli" --sort freq "$data" > "$out/cli.txt" 2> "$out/cli-summary.txt" || fail "runemeter-cli failed"
if ! cmp -s "$out/clipboard.txt" "$out/cli.txt"; then
    diff "$out/clipboard.txt" "$out/cli.txt" | head -n 20 >&2
    fail "the copied text differs from runemeter-cli --sort freq"
fi
echo "e2e: $(wc -l < "$out/clipboard.txt") lines copied, identical to runemeter-cli"

# Scripts other than Latin, in UTF-8 with its signature (else read as ANSI), at two list font
# sizes: the window is closed, and its settings file written afresh for each start.
close
scripts="$work/scripts"
mkdir -p "$scripts"
printf '\357\273\277\344\270\255\346\226\207\345\255\227\347\254\246\347\273\237\350\256\241\r\n' > "$scripts/chinese.txt"
printf '\357\273\277\331\205\330\261\330\255\330\250\330\247 \330\250\330\247\331\204\330\271\330\247\331\204\331\205\r\n' > "$scripts/arabic.txt"
printf '\357\273\277\360\237\230\200\360\237\216\211\360\237\221\215 \342\234\205\r\n' > "$scripts/emoji.txt"
settings="$XDG_DATA_HOME/Veltrane/runemeter.ini"
# Back to English from the last language set above.
[ -z "$vtsuite" ] || "$vtsuite" set language 2057 > /dev/null 2>&1 || fail "vtsuite set language 2057 failed"
for size in 10 14; do
    stored=$scripts
    [ "$size" = 10 ] || stored=$data  # the folder of the first run
    printf '[ElFolderNameEdit1]\ntext:wstr=%s\n\n[ElSpinEditFontSize]\nvalue:int=%s\n' \
        "$stored" "$size" > "$settings" || fail "cannot write $settings"
    if [ "$size" = 10 ]; then
        start "for the $size pt screenshot"
        xdotool key Return
    else
        # The folder given wins over the stored one and is analysed without a key pressed.
        here=$(pwd)
        cd "$work" && start "for the $size pt screenshot" -- scripts
        cd "$here" || fail "cannot go back to $here"
    fi
    # U+4E2D, the first Chinese character, is in the list once the run is over.
    scripts_listed() { copy alt+c "$out/clipboard-scripts.txt" && grep -q '^20013	' "$out/clipboard-scripts.txt"; }
    poll scripts_listed || fail "the run over Chinese, Arabic and emoji text gave no list at $size pt"
    sort_by_frequency
    # Sorted by frequency, the list ends with one of the many unused digits and letters.
    by_frequency() { copy alt+c "$out/clipboard-scripts.txt" && tail -n 1 "$out/clipboard-scripts.txt" | grep -q '	0.$'; }
    poll by_frequency || fail "the list at $size pt is not sorted by frequency"
    # Larger than by default, so that more rows show; a pause for the new layout.
    xdotool windowsize --sync "$wid" 720 600
    sleep 1
    screenshot "runemeter-scripts-${size}pt.png"
    close
done
echo "e2e: Chinese, Arabic and emoji text shown at 10 and 14 pt"
