#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The build installed into a temporary prefix works from there: runemeter-cli prints the version
# and the profile of the build's copy, vtsuite finds the installed language files with German
# chosen, and the programs and the files a desktop needs are in place.
# Usage: installed_copy.sh BUILD_FOLDER SOURCE_FOLDER VERSION
set -u
build=$1 source=$2 version=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d) || fail "no temporary folder"
trap 'rm -rf "$work"' EXIT
prefix="$work/a prefix"
cmake --install "$build" --prefix "$prefix" > "$work/install.log" || fail "cmake --install failed"
bin="$prefix/bin"

programs=$(cd "$bin" && ls | tr '\n' ' ')
[ "$programs" = "runemeter runemeter-cli runemeter-dask runemeter-lang vtsuite " ] ||
    fail "installed programs: $programs"
"$bin/runemeter-cli" --version | grep -qx "runemeter-cli $version" || fail "runemeter-cli --version"
"$bin/runemeter-cli" --subfolders "$source/data/samples" > "$work/installed.txt" 2> /dev/null ||
    fail "the installed runemeter-cli failed on data/samples"
"$build/bin/runemeter-cli" --subfolders "$source/data/samples" > "$work/built.txt" 2> /dev/null ||
    fail "the build's runemeter-cli failed"
[ -s "$work/installed.txt" ] && cmp -s "$work/installed.txt" "$work/built.txt" ||
    fail "the installed runemeter-cli's profile differs from the build's"

# A fresh home: no user folder yet, so every language listed comes from the installed files.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$bin/vtsuite" set language 1031 > /dev/null || fail "vtsuite set language 1031"
"$bin/vtsuite" languages > "$work/languages.txt" || fail "vtsuite languages"
grep -q '^\* 0x0407  Deutsch' "$work/languages.txt" || fail "German not found: $(cat "$work/languages.txt")"
[ "$(wc -l < "$work/languages.txt")" -eq 8 ] || fail "not eight languages: $(cat "$work/languages.txt")"

share="$prefix/share"
for file in runemeter/interfaces/runemeter.DEU.lng runemeter/interfaces/runemeter.ntv.lng \
    runemeter/interfaces/veltrane_9.html applications/org.veltrane.Runemeter.desktop \
    metainfo/org.veltrane.Runemeter.metainfo.xml icons/hicolor/scalable/apps/org.veltrane.Runemeter.svg \
    icons/hicolor/16x16/apps/org.veltrane.Runemeter.png icons/hicolor/256x256/apps/org.veltrane.Runemeter.png \
    man/man1/runemeter.1.gz man/man1/runemeter-cli.1.gz man/man1/runemeter-lang.1.gz \
    bash-completion/completions/runemeter-cli bash-completion/completions/runemeter-dask \
    doc/runemeter/LICENSE doc/runemeter/docs/user-guide.md; do
    [ -s "$share/$file" ] || fail "not installed: share/$file"
done
gzip -dc "$share/man/man1/runemeter-cli.1.gz" | grep -q '^\.TH RUNEMETER-CLI' ||
    fail "share/man/man1/runemeter-cli.1.gz is no manual page"
echo "installed copy: $(wc -l < "$work/installed.txt") profile lines, $(wc -l < "$work/install.log") files"
