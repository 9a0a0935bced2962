#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them. Arguments go to every
# benchmark program (for example: --benchmark_filter=Copy).
# VQ_MAX_PATH=n caps the processor path, to compare paths.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/tools/setup.sh"

build="$root/build/bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVQ_BUILD_TESTS=OFF -DVQ_BUILD_APP=OFF
cmake --build "$build"

for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done
