#!/usr/bin/env bash
# tools/robustness.sh [seconds]: builds the fuzzers with clang (in build-fuzz/)
# and the sanitizer configuration, then runs every fuzzer and the kill soak
# side by side, each in a process of its own with a machine directory of its
# own, for that many seconds (default 600; the soak for as long and
# QEL_SOAK_KILLS kills at least, 1000 unless told). A fuzzer runs on its seeds,
# its kept reproducers and the corpus it grew before, in one process (the
# request fuzzer in QEL_FUZZ_REQUEST_WORKERS processes sharing its corpus, 1
# unless told). The summary at the end gives, for each process, its executions
# (and requests, for the request fuzzer), its coverage at the start and at the
# end and how it ended; the requests of all request fuzzer processes added up;
# for the soak its kills and how it ended. Whole logs:
# build-fuzz/robustness-<run>.log.
#
# tools/robustness.sh ci: what CI runs, each fuzzer for a few seconds on its
# seeds and reproducers only, one after the other (the soak's short run is in
# the test suite).
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-600}
if [ "$mode" != ci ] && ! [[ "$mode" =~ ^[0-9]+$ && "$mode" -gt 0 ]]; then
  echo "usage: tools/robustness.sh [seconds|ci]" >&2
  exit 2
fi
tools/setup.sh
cmake -S . -B build-fuzz -G Ninja -DQEL_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  "-DCMAKE_C_FLAGS_DEBUG=-O1 -g" "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g" >/dev/null
cmake --build build-fuzz --target fuzzers --parallel "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fuzzers=(requests firmware-headers firmware-keys options-file buffer-files)

# Options of one fuzzer beyond the common ones: request programs may be as
# long as their operation limit allows from the first input on, and one
# request may rightly take minutes (a flash write meeting a block that will
# not erase polls it 112 times 60 ms, five times over, for each block).
extra_options() {
  case $1 in
    requests) echo "-max_len=4096 -len_control=0" ;;
  esac
}
timeout_of() {
  case $1 in
    requests) echo 600 ;;
    *) echo 60 ;;
  esac
}

# write_seeds <name>: seeds are written afresh by the fuzzer itself;
# reproducers of mended faults are kept in the repository.
write_seeds() {
  rm -rf "build-fuzz/fuzz-seeds/$1"
  mkdir -p "build-fuzz/fuzz-seeds/$1" "robustness/fuzz/reproducers/$1"
  QEL_FUZZ_WRITE_SEEDS=build-fuzz/fuzz-seeds/$1 "build-fuzz/bin/fuzz-$1"
}

# run_fuzzer <name> <run> <seconds> <corpus folders...>: one process; its log
# is build-fuzz/robustness-<run>.log.
run_fuzzer() {
  local name=$1 run=$2 seconds=$3; shift 3
  local dict=robustness/fuzz/dictionaries/$name.dict
  local options=(-timeout="$(timeout_of "$name")" -rss_limit_mb=4096 -print_final_stats=1 -max_total_time="$seconds"
    -artifact_prefix="build-fuzz/crash-$run-")
  [ -f "$dict" ] && options+=(-dict="$dict")
  # shellcheck disable=SC2207
  options+=($(extra_options "$name"))
  "build-fuzz/bin/fuzz-$name" "${options[@]}" "$@" "build-fuzz/fuzz-seeds/$name" \
    "robustness/fuzz/reproducers/$name" >"build-fuzz/robustness-$run.log" 2>&1
}

# The figures of one run's log on one line.
fuzzer_summary() {
  local name=$1 status=$2 log=build-fuzz/robustness-$1.log
  local start end executions requests outcome=passed
  start=$(grep -m1 -oE "INITED cov: [0-9]+" "$log" | grep -oE "[0-9]+$" || echo "?")
  end=$(grep -oE "^#[0-9]+[[:space:]]+[A-Z]+[[:space:]]+cov: [0-9]+" "$log" | tail -1 | grep -oE "[0-9]+$" || echo "?")
  executions=$(grep -oE "^stat::number_of_executed_units: +[0-9]+" "$log" | grep -oE "[0-9]+$" || echo "?")
  requests=$(grep -oE "^request fuzzer: [0-9]+ requests" "$log" | grep -oE "[0-9]+" || true)
  [ "$status" -eq 0 ] || outcome="FAILED (status $status: $(grep -m1 -E "ERROR|SUMMARY|fuzzer:" "$log" || true))"
  printf "%-17s executions %-9s %scoverage %s -> %s  %s\n" "$name" "$executions" \
    "${requests:+requests $requests  }" "$start" "$end" "$outcome"
  [ "$status" -eq 0 ] || tail -n 40 "$log"
}

if [ "$mode" = ci ]; then
  status=0
  for name in "${fuzzers[@]}"; do
    write_seeds "$name"
    dir=$(mktemp -d)
    one=0
    run_fuzzer "$name" "$name" 10 "$dir" || one=$?
    rm -rf "$dir"
    fuzzer_summary "$name" "$one"
    [ "$one" -eq 0 ] || status=$one
  done
  exit "$status"
fi

workers=${QEL_FUZZ_REQUEST_WORKERS:-1}
runs=()
for name in "${fuzzers[@]}"; do
  if [ "$name" = requests ]; then
    for ((i = 1; i <= workers; ++i)); do runs+=("requests-$i"); done
  else
    runs+=("$name")
  fi
done

tools/build.sh sanitize >/dev/null
declare -A pids
for name in "${fuzzers[@]}"; do
  write_seeds "$name"
  mkdir -p "build-fuzz/fuzz-corpus/$name"
done
for run in "${runs[@]}"; do
  name=${run%-[0-9]*}
  run_fuzzer "$name" "$run" "$mode" "build-fuzz/fuzz-corpus/$name" &
  pids[$run]=$!
done
QEL_SOAK_SECONDS=$mode QEL_SOAK_KILLS=${QEL_SOAK_KILLS:-1000} build-sanitize/bin/robustness_soak_tests \
  >build-fuzz/robustness-soak.log 2>&1 &
soak_pid=$!

status=0
echo "== robustness, $mode seconds"
for run in "${runs[@]}"; do
  one=0
  wait "${pids[$run]}" || one=$?
  fuzzer_summary "$run" "$one"
  [ "$one" -eq 0 ] || status=$one
done
total=0
for ((i = 1; i <= workers; ++i)); do
  count=$(grep -oE "^request fuzzer: [0-9]+ requests" "build-fuzz/robustness-requests-$i.log" | grep -oE "[0-9]+" || echo 0)
  total=$((total + count))
done
echo "requests in all: $total from $workers request fuzzer processes"
soak=0
wait "$soak_pid" || soak=$?
printf "%-17s %s  %s\n" "kill soak" "$(grep -m1 -E "^soak: " build-fuzz/robustness-soak.log || echo "no figures")" \
  "$([ "$soak" -eq 0 ] && echo passed || echo "FAILED (status $soak)")"
[ "$soak" -eq 0 ] || status=$soak
exit "$status"
