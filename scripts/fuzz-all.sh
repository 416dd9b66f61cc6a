#!/usr/bin/env bash
# Builds every libFuzzer target of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a bounded time. The targets are found from
# the source files, so a new fuzz target is run without an edit here.
#
#   bash scripts/fuzz-all.sh [seconds per target, default 60]
#
# Corpora grow under build/fuzz/corpus; a crash leaves its input in build/fuzz and ends the
# script with a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
command -v clang++ >/dev/null || { echo "clang is needed: apt-get install clang"; exit 1; }

targets=()
for source in tests/fuzz/fuzz_*.cpp; do
  targets+=("$(basename "$source" .cpp)")
done

cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DVISTREL_FUZZ=ON \
  -DVISTREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
summary=()
for target in "${targets[@]}"; do
  corpus="build/fuzz/corpus/$target"
  mkdir -p "$corpus"
  if [ -d "tests/fuzz/seeds/$target" ]; then cp tests/fuzz/seeds/"$target"/* "$corpus"/; fi
  # A target's own dictionary (tests/fuzz/<target>.dict), else the HTTP one.
  dict=()
  if [ -f "tests/fuzz/$target.dict" ]; then
    dict=(-dict="../../tests/fuzz/$target.dict")
  elif [ -f tests/fuzz/http.dict ]; then
    dict=(-dict=../../tests/fuzz/http.dict)
  fi
  echo "== $target for ${seconds}s"
  log="build/fuzz/$target.log"
  (cd build/fuzz && "tests/fuzz/$target" -max_total_time="$seconds" -max_len=70000 -timeout=20 \
    -rss_limit_mb=4096 "${dict[@]}" -print_final_stats=1 "corpus/$target") 2>&1 | tee "$log" | tail -3
  runs="$(awk '/stat::number_of_executed_units/{print $NF}' "$log")"
  summary+=("$(printf '%-24s %12s runs in %ss, corpus %s files' "$target" "${runs:-?}" "$seconds" \
    "$(ls "$corpus" | wc -l)")")
done
printf '%s\n' "${summary[@]}"
echo "Fuzzing finished without findings."
