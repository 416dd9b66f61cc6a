#!/usr/bin/env bash
# Builds the server, lays out the demo root once (run/root, or $VISTREL_ROOT) and serves it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Only the server: the tests and benchmarks are built by the test command.
bash scripts/build.sh build/release --target vistrel
root="${VISTREL_ROOT:-$PWD/run/root}"
bash scripts/make-root.sh "$root" build/release
echo "Vistrel serves $root on http://localhost:9400/"
echo "Log in as admin with the password tarbo, or press the guest button."
exec "$root/bin/vistrel" "$root" "$@"
