#!/usr/bin/env bash
# Builds the benchmarks in Release, runs every comparison once and writes the
# table to docs/PERFORMANCE.md (the raw JSON stays in $build/bench-results).
#
#   tools/run-benchmarks.sh               # the full run, about 10 minutes
#   KESTRON4_BENCH_SCALE=0.01 tools/run-benchmarks.sh   # a quick look, smaller data
#   KESTRON4_BENCH_BEFORE=<commit> tools/run-benchmarks.sh
#       also runs the fresh-process steps of kestron4 with the library of that
#       commit (built with today's bench sources), in the same run
#   KESTRON4_BENCH_ONLY=fresh_process_bench tools/run-benchmarks.sh
#       runs only the benches named (separated by spaces)
#
# The report judges no target when the machine was not quiet: a 1-minute
# load average above 1 before the run, or other processes using more than
# one core's worth of CPU during the fresh-process steps.
#
# Scratch files (up to about 1 GB) go to $TMPDIR, else /tmp, and are removed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRON4_BENCH_BUILD:-build-bench}
results=$build/bench-results
reps=${KESTRON4_BENCH_REPETITIONS:-3}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRON4_BUILD_BENCH=ON \
  -DKESTRON4_BUILD_TESTS=OFF -DKESTRON4_BUILD_EXAMPLES=OFF ${launcher[@]+"${launcher[@]}"} >/dev/null
cmake --build "$build" -j 2
rm -rf "$results"
mkdir -p "$results"

# The library of an earlier commit under today's fresh-process bench.
before_args=()
if [ -n "${KESTRON4_BENCH_BEFORE:-}" ]; then
  before_src=$build/before/src
  rm -rf "$before_src"
  mkdir -p "$before_src"
  git archive "$KESTRON4_BENCH_BEFORE" | tar -x -C "$before_src"
  rm -rf "$before_src/bench"
  cp -r bench "$before_src/bench"
  cmake -S "$before_src" -B "$build/before/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DKESTRON4_BUILD_BENCH=ON -DKESTRON4_BUILD_TESTS=OFF -DKESTRON4_BUILD_EXAMPLES=OFF \
    ${launcher[@]+"${launcher[@]}"} >/dev/null
  cmake --build "$build/before/build" -j 2 --target fresh_process_bench
  before_args=(--before="$PWD/$build/before/build/bench/fresh_process_bench")
fi

{
  echo "command=${KESTRON4_BENCH_BEFORE:+KESTRON4_BENCH_BEFORE=$KESTRON4_BENCH_BEFORE }tools/run-benchmarks.sh${KESTRON4_BENCH_SCALE:+   # with KESTRON4_BENCH_SCALE=$KESTRON4_BENCH_SCALE}"
  echo "date=$(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)$(git diff --quiet HEAD 2>/dev/null || echo ' (with local changes)')"
  echo "compiler=$("$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")" --version | head -1)"
  echo "cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
  echo "cores=$(nproc)"
  echo "memory=$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)"
  echo "kernel=$(uname -r)"
  echo "sqlite=$(pkg-config --modversion sqlite3 2>/dev/null || echo '?')"
  echo "load_before=$(cut -d' ' -f1-3 /proc/loadavg)"
  echo "before=${KESTRON4_BENCH_BEFORE:+$(git rev-parse --short "$KESTRON4_BENCH_BEFORE")}"
} >"$results/run.txt"

wanted() { [ -z "${KESTRON4_BENCH_ONLY:-}" ] || [[ " $KESTRON4_BENCH_ONLY " == *" $1 "* ]]; }

# One bench program, its JSON kept for the report and its table shown.
run() {
  local name=$1
  shift
  wanted "$name" || return 0
  if [ ! -x "$build/bench/$name" ]; then
    echo "== $name: not built, skipped"
    return
  fi
  echo "== $name"
  "$build/bench/$name" --benchmark_out="$results/$name.json" --benchmark_out_format=json \
    --benchmark_counters_tabular=true "$@"
}

aggregates=(--benchmark_repetitions="$reps")
[ "$reps" -gt 1 ] && aggregates+=(--benchmark_report_aggregates_only=true)
# Each step in a process of its own, five times; it writes its own JSON.
if ! wanted fresh_process_bench; then
  :
elif [ -x "$build/bench/fresh_process_bench" ]; then
  echo "== fresh_process_bench"
  "$build/bench/fresh_process_bench" --out="$results/fresh_process_bench.json" \
    ${before_args[@]+"${before_args[@]}"}
else
  echo "== fresh_process_bench: not built, skipped"
fi
run tree_bench "${aggregates[@]}"
run container_bench "${aggregates[@]}" --benchmark_min_time=1
run open_policies_bench "${aggregates[@]}"
run lookup_bench "${aggregates[@]}"
# The plain scans grow with the square of the references: 100,000 would take
# minutes and says nothing the 10,000 figure does not.
run references_bench "${aggregates[@]}" \
  --benchmark_filter='Indexed|Plain/(1000|10000)$|GetRefdValue'
run compress_bench "${aggregates[@]}"

echo "load_after=$(cut -d' ' -f1-3 /proc/loadavg)" >>"$results/run.txt"
mkdir -p docs
python3 tools/bench_report.py "$results" >docs/PERFORMANCE.md
echo "wrote docs/PERFORMANCE.md"
