#!/usr/bin/env bash
# Installs what the build, the gauge and the tests need on a Debian machine.
# Quick when everything is there already: one dpkg query, no apt call.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  mingw-w64 libz-mingw-w64-dev          # the Windows cross build
  libpng-dev zlib1g-dev libgtest-dev   # the host build and its tests
  clang-14 libclang-rt-14-dev          # fuzz targets (libFuzzer, ASan, UBSan)
  wine wine64 xvfb xauth x11-utils     # running the exe
  imagemagick                          # screenshots of the window
  python3 python3-cairo fonts-dejavu-core   # the artwork generator
  dpkg-dev xz-utils ca-certificates    # fetching libpng's Debian source
)

missing=()
while read -r pkg status; do
  [[ $status == "install ok installed" ]] || missing+=("$pkg")
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true)
# Packages that dpkg has never heard of do not appear in the query at all.
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u | sed '/^$/d')

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""; [[ $(id -u) == 0 ]] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Windows build compiles libpng from Debian's own source package
# (cmake/libpng_mingw.cmake runs `apt-get source`), which needs a deb-src
# entry for the archive the machine already uses. Added once, as a copy of
# the configured Debian entries with the type changed.
if ! grep -rqsE '^\s*(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  sudo=""; [[ $(id -u) == 0 ]] || sudo=sudo
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $sudo tee /etc/apt/sources.list.d/gauge-deb-src.sources >/dev/null
  else
    sed -nE 's/^\s*deb\s+/deb-src /p' /etc/apt/sources.list |
      $sudo tee /etc/apt/sources.list.d/gauge-deb-src.list >/dev/null
  fi
  echo "setup: added deb-src entries for libpng's source"
  $sudo apt-get update -qq
fi
