#!/usr/bin/env bash
# tools/test.sh [sanitize|release] [ctest options]: builds every target in that
# configuration (sanitize, with AddressSanitizer/UBSan, when none is named) and
# runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=sanitize
case "${1:-}" in
  sanitize|release) kind=$1; shift ;;
esac
tools/build.sh "$kind"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if [ "$kind" = release ]; then cd build; else cd build-sanitize; fi
if ctest --output-on-failure --parallel "$(nproc)" --timeout 600 "$@"; then exit 0; fi
# The leak checker's tracer has been seen to crash, rarely, at the exit of a
# passing test; only such tests are run again, once.
../tools/sanitizer-crashes.sh Testing/Temporary/LastTest.log
ctest --output-on-failure --rerun-failed --timeout 600
