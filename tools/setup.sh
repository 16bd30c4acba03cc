#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine and builds libzpaq from
# Debian's own zpaq source package. Safe to run again: it installs only what is
# missing. Usage: tools/setup.sh [build-dir]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")

packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev
  qtbase5-dev qtbase5-dev-tools qtbase5-private-dev qttools5-dev libqt5serialport5-dev
  libusb-1.0-0-dev libmodbus-dev zlib1g-dev
  fonts-dejavu-core
  qttranslations5-l10n
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# libzpaq: Debian ships the zpaq program but no library, so the library is
# compiled from the source package (JIT off) into the build tree.
zdir="$build/zpaq"
if [ ! -f "$zdir/lib/libzpaq.a" ] || [ ! -f "$zdir/include/libzpaq.h" ]; then
  work="$zdir/src"
  rm -rf "$work"
  mkdir -p "$work/apt/lists/partial" "$work/apt/archives/partial" "$zdir/lib" "$zdir/include"
  # A deb-src entry for the mirror the machine already uses, in a private apt
  # configuration, so the system's own sources stay as they are.
  mirror=$(grep -hoE '^(URIs:|deb) +[a-z]+://[^ ]+' /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null \
           | grep -v security | awk '{print $2}' | grep -i debian | head -n 1 || true)
  [ -n "$mirror" ] || mirror="http://deb.debian.org/debian"
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  echo "deb-src $mirror $suite main" > "$work/apt/sources.list"
  aptopts=(-o "Dir::Etc::SourceList=$work/apt/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
           -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache::Archives=$work/apt/archives"
           -o "Debug::NoLocking=1")
  apt-get "${aptopts[@]}" update -qq
  (cd "$work" && apt-get "${aptopts[@]}" source --download-only zpaq)
  orig=$(ls "$work"/zpaq_*.orig.tar.* | head -n 1)
  mkdir -p "$work/tree"
  tar -xf "$orig" -C "$work/tree"
  cpp=$(find "$work/tree" -name libzpaq.cpp | head -n 1)
  hdr=$(find "$work/tree" -name libzpaq.h | head -n 1)
  [ -n "$cpp" ] && [ -n "$hdr" ] || { echo "setup: libzpaq sources not found in $orig" >&2; exit 1; }
  c++ -O2 -fPIC -DNOJIT -Dunix -std=c++17 -c "$cpp" -o "$work/libzpaq.o"
  ar rcs "$zdir/lib/libzpaq.a" "$work/libzpaq.o"
  cp "$hdr" "$zdir/include/libzpaq.h"
  echo "setup: libzpaq built in $zdir"
fi
