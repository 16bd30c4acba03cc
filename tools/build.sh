#!/usr/bin/env bash
# Set-up, configure and build into build/ (or $QUILL_BUILD_DIR). Extra arguments go to cmake.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUILL_BUILD_DIR:-"$here/build"}
"$here/tools/setup.sh" "$build"
cmake -S "$here" -B "$build" -G Ninja "$@" > "$build/cmake.log" 2>&1 || { cat "$build/cmake.log"; exit 1; }
cmake --build "$build" --parallel "$(nproc)"
