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
# The leak checker guesses the extent of a loaded library's thread-local block
# from the bytes in front of it; when the block lands 16 bytes into a page it
# reads an allocator header as the block's start and its tracer crashes at
# exit. Those blocks are allocated by the dynamic loader, which the leak
# checker already counts as reachable, so their tracking is switched off.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if [ "$kind" = release ]; then cd build; else cd build-sanitize; fi
if ctest --output-on-failure --parallel "$(nproc)" --timeout 600 "$@"; then exit 0; fi
# Should the leak checker's tracer still crash at the exit of a passing test,
# only such tests are run again, once.
../tools/sanitizer-crashes.sh Testing/Temporary/LastTest.log
ctest --output-on-failure --rerun-failed --timeout 600
