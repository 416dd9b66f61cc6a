#!/usr/bin/env bash
# Builds everything and runs every test, in the normal and in the sanitizer (ASan + UBSan)
# configuration. A failing test in the first configuration does not keep the second from
# running, so that one run shows every failure; the script fails if either did.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

failed=""
bash scripts/build.sh build/release
(cd build/release && ctest --output-on-failure -j "$(nproc)") || failed+=" release"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
bash scripts/build.sh build/asan -DVISTREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd build/asan && ctest --output-on-failure -j "$(nproc)") || failed+=" asan"

if [ -n "$failed" ]; then
  echo "Tests failed in:$failed"
  exit 1
fi
echo "All tests passed."
