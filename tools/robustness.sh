#!/usr/bin/env bash
# tools/robustness.sh [seconds]: builds the fuzzers with clang (in build-fuzz/)
# and runs each for that many seconds (default 600) on its seeds, its kept
# reproducers and the corpus it grew before, one at a time with one worker;
# then builds the sanitizer configuration and runs the kill soak for as long
# (and 1000 kills at least). Each run's last lines (executions, coverage,
# kills) land in build-fuzz/robustness-<name>.log.
#
# tools/robustness.sh ci: what CI runs, each fuzzer for a few seconds on its
# seeds and reproducers only (the soak's short run is in the test suite).
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-600}
tools/setup.sh
root=$PWD
cmake -S . -B build-fuzz -G Ninja -DQEL_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  "-DCMAKE_C_FLAGS_DEBUG=-O1 -g" "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g" >/dev/null
cmake --build build-fuzz --target fuzzers --parallel "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fuzzers=(requests firmware-headers firmware-keys options-file buffer-files)

# run_fuzzer <name> <libFuzzer options...>: seeds are written afresh by the
# fuzzer itself; reproducers of mended faults are kept in the repository.
run_fuzzer() {
  local name=$1; shift
  local seeds=build-fuzz/fuzz-seeds/$name corpus=build-fuzz/fuzz-corpus/$name
  local kept=$root/robustness/fuzz/reproducers/$name dict=$root/robustness/fuzz/dictionaries/$name.dict
  rm -rf "$seeds"
  mkdir -p "$seeds" "$corpus" "$kept"
  QEL_FUZZ_WRITE_SEEDS=$seeds "build-fuzz/bin/fuzz-$name"
  local options=(-timeout=60 -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="build-fuzz/crash-$name-")
  [ -f "$dict" ] && options+=(-dict="$dict")
  echo "== fuzz-$name"
  local log=build-fuzz/robustness-$name.log status=0
  "build-fuzz/bin/fuzz-$name" "${options[@]}" "$@" >"$log" 2>&1 || status=$?
  grep -E "^#[0-9]+ +(INITED|DONE)|^stat::|requests$|ERROR|SUMMARY" "$log" || true
  return "$status"
}

if [ "$mode" = ci ]; then
  for name in "${fuzzers[@]}"; do
    dir=$(mktemp -d)
    run_fuzzer "$name" -max_total_time=10 "$dir" "build-fuzz/fuzz-seeds/$name" "robustness/fuzz/reproducers/$name"
    rm -rf "$dir"
  done
  exit 0
fi

for name in "${fuzzers[@]}"; do
  run_fuzzer "$name" -max_total_time="$mode" "build-fuzz/fuzz-corpus/$name" "build-fuzz/fuzz-seeds/$name" \
    "robustness/fuzz/reproducers/$name"
done
tools/build.sh sanitize
echo "== kill soak"
status=0
QEL_SOAK_SECONDS=$mode QEL_SOAK_KILLS=1000 build-sanitize/bin/robustness_soak_tests >build-fuzz/robustness-soak.log 2>&1 ||
  status=$?
grep -E "^soak|OK \]|FAILED|Failure" build-fuzz/robustness-soak.log || true
exit "$status"
