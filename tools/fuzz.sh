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
# Seed files kept with the sources (tests/fuzz/seeds/<target without "fuzz_">) start the corpus.
seeds="$here/tests/fuzz/seeds/${target#fuzz_}"
[ -d "$seeds" ] || seeds=
# Leaks of the system libraries are told apart by full stacks.
export ASAN_OPTIONS=${ASAN_OPTIONS:-fast_unwind_on_malloc=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/tests/fuzz/lsan.supp:print_suppressions=0}
exec "$build/tests/fuzz/$target" -max_total_time="$seconds" -artifact_prefix="$build/" "$build/corpus/$target" $seeds
