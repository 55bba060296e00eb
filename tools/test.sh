#!/usr/bin/env bash
# Builds every target with the sanitizers and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh sanitize
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-sanitize
ctest --output-on-failure --parallel "$(nproc)" --timeout 600 "$@"
