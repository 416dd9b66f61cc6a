#!/usr/bin/env bash
# Builds everything and runs every test, in the normal and in the sanitizer (ASan + UBSan)
# configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

bash scripts/build.sh build/release
(cd build/release && ctest --output-on-failure -j "$(nproc)")

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
bash scripts/build.sh build/asan -DVISTREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd build/asan && ctest --output-on-failure -j "$(nproc)")
echo "All tests passed."
