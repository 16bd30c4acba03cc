#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan/UBSan and runs one.
#   tools/fuzz.sh <target> [seconds]     e.g. tools/fuzz.sh fuzz_slcan 300
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
target=${1:?usage: tools/fuzz.sh <target> [seconds]}
seconds=${2:-60}
build="$here/build-fuzz"
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
    || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p"; }
done
"$here/tools/setup.sh" "$build"
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DQUILL_FUZZ=ON -DQUILL_ASAN=ON -DQUILL_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build/cmake.log"
cmake --build "$build" --target "$target"
mkdir -p "$build/corpus/$target"
exec "$build/tests/fuzz/$target" -max_total_time="$seconds" "$build/corpus/$target"
