#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a fixed time on
# its seed corpus and its kept regression inputs.
#
#   tools/run-fuzz.sh [SECONDS] [TARGET...]   run every (or the named) target
#                                             for SECONDS each (default 60)
#   tools/run-fuzz.sh --seeds                 regenerate fuzz/corpus
#
# Environment:
#   KESTRON4_FUZZ_BUILD     build directory (default build-fuzz)
#   KESTRON4_FUZZ_WORK      where the grown corpora, logs and crash inputs go
#                           (default <build>/fuzz-work); the committed corpus
#                           is only read
#   KESTRON4_FUZZ_PARALLEL  targets run at the same time (default 1)
#   KESTRON4_FUZZ_JOBS      build jobs (default: the number of processors)
#
# Prints, per target, the executions and executions per second. Exits non-zero
# if any target found a crash, leak, timeout or oversized allocation; the
# input is left in <work>/<target>/artifacts/ (copy it to
# fuzz/regressions/<target>/ so that the replay test keeps it fixed).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KESTRON4_FUZZ_BUILD:-build-fuzz}
work=${KESTRON4_FUZZ_WORK:-$build/fuzz-work}
parallel=${KESTRON4_FUZZ_PARALLEL:-1}
jobs=${KESTRON4_FUZZ_JOBS:-$(nproc)}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRON4_WERROR=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DKESTRON4_BUILD_FUZZ=ON \
  -DKESTRON4_BUILD_TESTS=OFF -DKESTRON4_BUILD_EXAMPLES=OFF >/dev/null
if [ "${1:-}" = "--seeds" ]; then
  cmake --build "$build" --target kestron4_fuzz_seeds -j "$jobs"
  rm -rf fuzz/corpus
  "$build/fuzz/kestron4_fuzz_seeds" fuzz/corpus
  echo "fuzz/corpus regenerated"
  exit 0
fi

cmake --build "$build" --target fuzz -j "$jobs"
seconds=${1:-60}
[ $# -gt 0 ] && shift
wanted=("$@")

run_target() {
  local name=$1 corpus=$2 dir="$work/$1"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  local inputs=("$dir/corpus" "fuzz/corpus/$corpus")
  [ -d "fuzz/regressions/$name" ] && inputs+=("fuzz/regressions/$name")
  # Longer call sequences reach deeper states than the seeds' few steps.
  local extra=()
  [ "$name" = session_sequence_fuzz ] && extra=(-max_len=1024 -len_control=10)
  local status=0
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/$name" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
    -malloc_limit_mb=256 -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
    "${extra[@]}" "${inputs[@]}" >"$dir/log" 2>&1 || status=$?
  local runs rate
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -1)
  if [ "$status" -eq 0 ]; then
    printf '%-30s %6ss %12s runs %8s runs/s  ok\n' "$name" "$seconds" "${runs:-?}" "${rate:-?}"
  else
    printf '%-30s %6ss %12s runs %8s runs/s  FAILED (see %s)\n' "$name" "$seconds" \
      "${runs:-?}" "${rate:-?}" "$dir/log"
    grep -m1 -E 'ERROR|check failed|Test unit written' "$dir/log" || true
    ls "$dir/artifacts" 2>/dev/null | sed 's/^/  artifact: /'
  fi
  return "$status"
}

failed=0
running=0
while IFS=: read -r name corpus; do
  [ -n "$name" ] || continue
  if [ ${#wanted[@]} -gt 0 ] && [[ ! " ${wanted[*]} " =~ " $name " ]]; then continue; fi
  run_target "$name" "$corpus" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done <"$build/fuzz/fuzz_targets.txt"
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
