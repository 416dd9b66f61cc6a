#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each one for a bounded time. Not part of the test run.
#
#   bash scripts/fuzz.sh [seconds per target, default 120]
#
# The corpora grow under build/fuzz/corpus; a crash leaves its input in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-120}"
targets=(fuzz_http_processor fuzz_http_query)

cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DVISTREL_FUZZ=ON \
  -DVISTREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  corpus="build/fuzz/corpus/$target"
  mkdir -p "$corpus"
  cp tests/fuzz/seeds/"$target"/* "$corpus"/
  echo "== $target for ${seconds}s"
  (cd build/fuzz && "tests/fuzz/$target" -max_total_time="$seconds" -max_len=70000 -timeout=20 \
    -rss_limit_mb=4096 -dict=../../tests/fuzz/http.dict -print_final_stats=1 "corpus/$target")
done
echo "Fuzzing finished without findings."
