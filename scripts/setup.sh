#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Runemeter needs to build, run and test. Idempotent: when every
# package is present it installs nothing and does not touch the network.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev qt6-translations-l10n libzip-dev zipcmp zipmerge ziptool libicu-dev
  libgtest-dev libgmock-dev
  xvfb xauth xclip xdotool imagemagick locales
  fonts-dejavu-core fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji
  clang-format python3 acl jq
  python3-dask python3-distributed help2man bash-completion
  librsvg2-bin desktop-file-utils appstream file dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages are installed"
else
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The window test of numbers in the user's locale runs under German; Debian generates no
# locale but C until asked.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "setup: generating the locale de_DE.UTF-8"
  "${sudo_cmd[@]}" localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
