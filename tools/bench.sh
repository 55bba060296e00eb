#!/usr/bin/env bash
# tools/bench.sh [benchmark options]: builds the release configuration and runs
# the speed benchmarks of the kernel host and the simulated board, each beside
# its reference measured in the same run (platform/bench/), then the grab
# through the SDK's road (source/QelXfer/bench/).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh release
build/bin/plat-bench --benchmark_counters_tabular=true "$@"
# The grab through the whole road, from a client of the SDK (source/QelXfer/bench/).
build/bin/quillet-bench --benchmark_counters_tabular=true "$@"
