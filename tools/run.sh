#!/usr/bin/env bash
# Set-up, build and start the tool.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUILL_BUILD_DIR:-"$here/build"}
"$here/tools/build.sh"
exec "$build/bin/quillbex" "$@"
