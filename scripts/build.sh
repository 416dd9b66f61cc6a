#!/usr/bin/env bash
# Configures and builds one configuration:
#   build.sh <build-dir> [--target <name>]... [extra cmake arguments...]
# Without a target everything is built (the tests and benchmarks among it).
set -euo pipefail
cd "$(dirname "$0")/.."
dir="$1"
shift
targets=()
while [ "${1:-}" = "--target" ]; do
  targets+=(--target "$2")
  shift 2
done
cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
