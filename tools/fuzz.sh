#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (build/fuzz) and runs one of them.
#
#   bash tools/fuzz.sh                 build every target
#   bash tools/fuzz.sh TARGET [ARGS]   build, then fuzz TARGET (tiff, jpeg_file,
#                                      jpeg_markers, jpeg_tile, png, bmp, ppm,
#                                      slide, lzw, tile_folder, bacus) from its
#                                      seeds and failed inputs; ARGS go to
#                                      libFuzzer (default: 10 minutes,
#                                      -rss_limit_mb=2048 -timeout=10)
#
# New inputs go to build/fuzz/corpus/TARGET; crashes, leaks, out-of-memory and
# slow inputs to build/fuzz/findings/TARGET. Add each one that showed a fault
# to tests/fuzz/regressions/TARGET once fixed: the test suite replays them.
# Needs clang (Debian: apt-get install clang); the normal build does not.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh needs clang: apt-get install clang" >&2
  exit 1
fi

targets=(tiff jpeg_file jpeg_markers jpeg_tile png bmp ppm slide lzw tile_folder bacus)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_SANITIZER=fuzz \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVQ_BUILD_APP=OFF -DVQ_BUILD_BENCH=OFF >/dev/null
if [ $# -eq 0 ]; then
  cmake --build "$build" -j "${FUZZ_JOBS:-4}" --target "${targets[@]/#/fuzz_}"
  exit 0
fi

target=$1
shift
cmake --build "$build" -j "${FUZZ_JOBS:-4}" --target "fuzz_$target"
corpus="$build/corpus/$target"
findings="$build/findings/$target"
mkdir -p "$corpus" "$findings"
args=("$@")
if [ ${#args[@]} -eq 0 ]; then
  args=(-max_total_time=600 -rss_limit_mb=2048 -timeout=10)
fi
seeds=("$root/tests/fuzz/corpus/$target")
[ -d "$root/tests/fuzz/regressions/$target" ] && seeds+=("$root/tests/fuzz/regressions/$target")
cd "$findings"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec "$build/tests/fuzz/fuzz_$target" -artifact_prefix="$findings/" "${args[@]}" "$corpus" "${seeds[@]}"
