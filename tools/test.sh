#!/usr/bin/env bash
# Set-up, build and run the whole test suite headless.
#   tools/test.sh          plain build in build/
#   tools/test.sh asan     AddressSanitizer + UBSan build in build-asan/
#   tools/test.sh tsan     ThreadSanitizer build in build-tsan/
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
flavour=${1:-plain}
case "$flavour" in
  plain) build=${QUILL_BUILD_DIR:-"$here/build"}; flags=() ;;
  asan)  build="$here/build-asan"; flags=(-DQUILL_ASAN=ON -DCMAKE_BUILD_TYPE=Debug) ;;
  tsan)  build="$here/build-tsan"; flags=(-DQUILL_TSAN=ON -DCMAKE_BUILD_TYPE=Debug) ;;
  *) echo "usage: tools/test.sh [plain|asan|tsan]" >&2; exit 2 ;;
esac
QUILL_BUILD_DIR="$build" "$here/tools/build.sh" "${flags[@]}"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure --parallel "$(nproc)"
