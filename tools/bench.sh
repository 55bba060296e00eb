#!/usr/bin/env bash
# tools/bench.sh [benchmark options]: builds the release configuration and runs
# the speed benchmarks of the kernel host and the simulated board, each beside
# its reference measured in the same run (platform/bench/).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh release
exec build/bin/plat-bench --benchmark_counters_tabular=true "$@"
