#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package's round trip on this machine, as root (through sudo otherwise):
#   1. cpack builds runemeter_VERSION_ARCH.deb from a built release folder (default build/ci);
#   2. apt installs it; the installed runemeter-cli prints the version and the profile of
#      data/samples that the build's copy prints; the installed window starts under Xvfb and a
#      screenshot of it is saved (BUILD/package/installed-window.png);
#   3. apt removes it with --purge: dpkg no longer knows it, and every file it installed is gone
#      (a folder may stay only while another package owns it).
# Usage: scripts/package-test.sh [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/ci}
if [ "$(id -u)" -ne 0 ]; then
  exec sudo "$PWD/scripts/package-test.sh" "$build"
fi
started=$(date +%s)
step() { echo "== package: $1 ($(($(date +%s) - started)) s)"; }
fail() {
  echo "package-test: FAIL: $*" >&2
  exit 1
}
[ -f "$build/CPackConfig.cmake" ] || fail "$build is not a configured build folder"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
out=$PWD/$build/package
rm -rf "$out"
mkdir -p "$out"
if dpkg -s runemeter > /dev/null 2>&1; then
  fail "the package runemeter is installed already; remove it first (apt-get remove --purge runemeter)"
fi

step cpack
cpack --config "$build/CPackConfig.cmake" -B "$out" > "$out/cpack.log" 2>&1 ||
  { tail -n 30 "$out/cpack.log" >&2; fail "cpack failed"; }
deb=$(find "$out" -maxdepth 1 -name "runemeter_${version}_*.deb")
[ -n "$deb" ] || fail "no runemeter_${version}_*.deb in $out"
dpkg-deb --field "$deb" Package Version Architecture Section Depends Recommends
echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) KiB"

step install
# Removed again whatever happens next; the checks after the removal say whether it was clean.
removed=0
remove() { DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq runemeter > "$out/remove.log" 2>&1; }
trap '[ "$removed" = 1 ] || remove || true' EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" > "$out/install.log" 2>&1 ||
  { tail -n 30 "$out/install.log" >&2; fail "apt-get install failed"; }
dpkg -L runemeter > "$out/files.txt"
echo "installed $(wc -l < "$out/files.txt") paths"

[ "$(command -v runemeter)" = /usr/bin/runemeter ] || fail "runemeter is not /usr/bin/runemeter"
/usr/bin/runemeter-cli --version | grep -qx "runemeter-cli $version" || fail "runemeter-cli --version"
/usr/bin/runemeter-cli --subfolders data/samples > "$out/profile.txt" 2> /dev/null ||
  fail "the installed runemeter-cli failed"
"$build/bin/runemeter-cli" --subfolders data/samples > "$out/profile-build.txt" 2> /dev/null
[ -s "$out/profile.txt" ] && cmp -s "$out/profile.txt" "$out/profile-build.txt" ||
  fail "the installed runemeter-cli's profile differs from the build's"
desktop-file-validate /usr/share/applications/org.veltrane.Runemeter.desktop || fail "desktop entry"

step "the installed window under Xvfb, in German"
# A fresh home with German chosen; the window starts the suite's shell, which is stopped with
# it. On its first start the window copies the installed language files to the user folder.
home=$(mktemp -d)
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
  /usr/bin/vtsuite set language 1031 > /dev/null || fail "vtsuite set language 1031"
xvfb-run -a -s "-screen 0 1024x768x24" env HOME="$home" XDG_CONFIG_HOME="$home/.config" \
  XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=xcb \
  sh -c '
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    /usr/bin/runemeter > "$1/window.log" 2>&1 &
    pid=$!
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name "^Runemeter\$" | head -n 1)
    status=1
    [ -n "$wid" ] && sleep 1 && import -window root "$1/installed-window.png" && status=0
    shell=$(sed -n "s/^vtsuite shell running, pid \([0-9]*\).*/\1/p" "$1/window.log")
    kill "$pid" $shell 2> /dev/null
    wait "$pid" 2> /dev/null
    exit $status
  ' sh "$out" || { rm -rf "$home"; fail "the installed window did not show (see $out/window.log)"; }
[ -s "$home/.local/share/Veltrane/interfaces/runemeter.DEU.lng" ] ||
  { rm -rf "$home"; fail "the installed window found no German language file"; }
rm -rf "$home"
echo "screenshot: $out/installed-window.png"

step remove
remove || { tail -n 30 "$out/remove.log" >&2; fail "apt-get remove --purge failed"; }
removed=1
if dpkg -s runemeter > /dev/null 2>&1; then
  fail "dpkg still knows runemeter after the purge"
fi
left=0
while IFS= read -r path; do
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # A folder stays only while another package owns it.
    dpkg -S "$path" > /dev/null 2>&1 && continue
  fi
  if [ -e "$path" ] || [ -L "$path" ]; then
    echo "left behind: $path" >&2
    left=1
  fi
done < <(grep -vx '/\.' "$out/files.txt")
[ "$left" = 0 ] || fail "files of the package were left behind"
echo "package round trip passed in $(($(date +%s) - started)) s"
