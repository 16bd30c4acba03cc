#!/usr/bin/env bash
# Redraws resources/images/*.png and resources/propertybrowser/images/cursor-*.png
# from tools/render_icons.cpp.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2046
c++ -std=c++17 -O1 -fPIC "$here/tools/render_icons.cpp" -o "$work/render_icons" \
  $(pkg-config --cflags --libs Qt5Gui)
mkdir -p "$here/resources/propertybrowser/images"
QT_QPA_PLATFORM=offscreen "$work/render_icons" "$here/resources/images" "$here/resources/propertybrowser/images"
echo "render_icons: icons written to resources/images and resources/propertybrowser/images"
