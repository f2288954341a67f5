#!/usr/bin/env bash
# A long fuzz campaign outside CI: the libFuzzer targets built with coverage
# only (no sanitizer: several times the executions of tools/run-fuzz.sh), run
# one after another in ONE process at a time, each for its share of the
# time, growing corpora that persist from one campaign to the next. The
# targets' own checks (fuzz/fuzz_checks.h) see the faults a sanitizer is not
# needed for: lists longer than their counts, duplicate TIDs, sizes that
# disagree, saves that do not load back.
#
#   tools/fuzz-campaign.sh SECONDS [TARGET...]   run every (or the named)
#                                                target, SECONDS in all
#   tools/fuzz-campaign.sh --merge [TARGET...]   minimise each grown corpus
#                                                into fuzz/corpus (-merge=1)
#
# Environment:
#   KESTRON4_CAMPAIGN_BUILD  build directory (default build-fuzz-plain)
#   KESTRON4_CAMPAIGN_WORK   grown corpora, logs, crash inputs and the tally
#                            (default <build>/campaign)
#
# Each run appends "target executions seconds" lines to <work>/tally and
# prints the totals so far. A crash input is left in <work>/<target>/
# artifacts/; copy it to fuzz/regressions/<target>/ once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KESTRON4_CAMPAIGN_BUILD:-build-fuzz-plain}
work=${KESTRON4_CAMPAIGN_WORK:-$build/campaign}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRON4_WERROR=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DKESTRON4_BUILD_FUZZ=ON \
  -DKESTRON4_FUZZ_PLAIN=ON -DKESTRON4_BUILD_TESTS=OFF -DKESTRON4_BUILD_EXAMPLES=OFF \
  -DKESTRON4_BUILD_TOOLS=OFF -DKESTRON4_BUILD_PYTHON=OFF >/dev/null
cmake --build "$build" --target fuzz -j 1 >/dev/null

mode=run
if [ "${1:-}" = "--merge" ]; then
  mode=merge
  shift
else
  total=${1:?usage: tools/fuzz-campaign.sh SECONDS [TARGET...] | --merge [TARGET...]}
  shift
fi
wanted=("$@")

targets=()
while IFS=: read -r name corpus; do
  [ -n "$name" ] || continue
  if [ ${#wanted[@]} -gt 0 ] && [[ ! " ${wanted[*]} " =~ " $name " ]]; then continue; fi
  targets+=("$name:$corpus")
done <"$build/fuzz/fuzz_targets.txt"

options() {
  # Longer call sequences reach deeper states than the seeds' few steps.
  [ "$1" = session_sequence_fuzz ] && echo "-max_len=1024 -len_control=10"
  # Room for the recipes of large blocks and the files they grow into.
  [[ "$1" == container_load_* ]] && echo "-max_len=4096"
  return 0
}

mkdir -p "$work"
for entry in "${targets[@]}"; do
  name=${entry%%:*}
  corpus=${entry#*:}
  dir="$work/$name"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  if [ "$mode" = merge ]; then
    # Only what adds coverage to the committed corpus joins it.
    "$build/fuzz/$name" -merge=1 $(options "$name") "fuzz/corpus/$corpus" "$dir/corpus" \
      >"$dir/merge.log" 2>&1
    echo "$name: $(grep -o '[0-9]* new files' "$dir/merge.log" | tail -1)"
    continue
  fi
  seconds=$((total / ${#targets[@]}))
  inputs=("$dir/corpus" "fuzz/corpus/$corpus")
  [ -d "fuzz/regressions/$name" ] && inputs+=("fuzz/regressions/$name")
  status=0
  # shellcheck disable=SC2046
  "$build/fuzz/$name" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/artifacts/" $(options "$name") \
    "${inputs[@]}" >"$dir/log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  echo "$name ${runs:-0} $seconds" >>"$work/tally"
  if [ "$status" -ne 0 ]; then
    echo "$name: FAILED after ${runs:-?} runs (see $dir/log)"
    grep -m1 -E 'ERROR|check failed|Test unit written' "$dir/log" || true
  fi
done

[ "$mode" = merge ] && exit 0
echo "executions so far (all campaigns in $work):"
awk '{ runs[$1] += $2; secs[$1] += $3; all += $2 }
     END { for (t in runs) printf "  %-30s %12d runs %8d s\n", t, runs[t], secs[t];
           printf "  %-30s %12d runs\n", "total", all }' "$work/tally" | sort
