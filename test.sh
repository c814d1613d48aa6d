#!/usr/bin/env bash
# Sets up, builds and runs every test.
#   ./test.sh              Release build in build/release
#   ./test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build/asan
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh

if [ "${1:-}" = "--sanitize" ]; then
  build=build/asan
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_SANITIZE=ON >/dev/null
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
else
  build=build/release
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure --no-tests=error -j2
