#!/usr/bin/env bash
# Makes root-template/web/<lang>/User_manual_1_0.pdf for every language from the texts in
# docs/manual/, with screenshots that the browser walk takes of a fresh demo root.
#   make-manual.sh [build-dir]    (default build/release; it is built first)
# Run it again when the interface or the texts change, and commit the PDFs.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
bash scripts/setup.sh
bash scripts/build.sh "$build"
exec node scripts/make-manual.js "$PWD" "$build"
