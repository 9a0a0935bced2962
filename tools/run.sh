#!/usr/bin/env bash
# Sets up the machine, builds the converter in Release and starts its window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/tools/setup.sh"

build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVQ_BUILD_TESTS=OFF -DVQ_BUILD_BENCH=OFF
cmake --build "$build" --target KestrixConverter

exec "$build/app/KestrixConverter" "$@"
