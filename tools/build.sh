#!/usr/bin/env bash
# tools/build.sh [release|sanitize]: configures and builds into build/ (release)
# or build-sanitize/ (AddressSanitizer and UndefinedBehaviorSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}
case "$kind" in
  release)  dir=build;          flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  sanitize) dir=build-sanitize; flags=(-DCMAKE_BUILD_TYPE=Debug -DQEL_SANITIZE=ON) ;;
  *) echo "usage: $0 [release|sanitize]" >&2; exit 2 ;;
esac
tools/setup.sh
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
