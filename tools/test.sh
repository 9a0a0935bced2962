#!/usr/bin/env bash
# Sets up the machine, builds the test configuration (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole test suite under Xvfb.
# Extra arguments go to ctest (for example: -L prim_core).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/tools/setup.sh"

build="$root/build/test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVQ_SANITIZER=address
cmake --build "$build"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cd "$build"
bash "$root/tools/with-xvfb.sh" ctest --output-on-failure -j "$(nproc)" "$@"
