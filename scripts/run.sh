#!/usr/bin/env bash
# Builds the server and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build/release
exec build/release/bin/vistrel "$@"
