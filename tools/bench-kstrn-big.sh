#!/usr/bin/env bash
# Times kstrn's read-only commands on a container near the format's 4 GiB
# limit: a sparse file (the blob is a hole, so it costs no disk) holding a
# logger block with 2,000 named channels and one 4 GiB - 64 MiB blob. Prints
# the wall time and peak memory of each command; the target for commands
# whose output is small is under 100 ms and 30 MB.
#
#   tools/bench-kstrn-big.sh [path/to/kstrn]     # default: build/tools/kstrn/kstrn
set -euo pipefail
cd "$(dirname "$0")/.."
kstrn=${1:-build/tools/kstrn/kstrn}
dir=$(mktemp -d "${TMPDIR:-/tmp}/kstrn-big.XXXXXX")
trap 'rm -rf "$dir"' EXIT
big=$dir/big.kst

python3 tools/make-kstrn-big.py "$big"

printf '%-58s %10s %10s\n' "command ($(stat -c %s "$big") bytes)" "seconds" "peak MB"
measure() {
  local status=0
  /usr/bin/time -o "$dir/time" -f '%e %M' "$kstrn" "$@" >/dev/null 2>"$dir/err" || status=$?
  [ "$status" -le 1 ] || { echo "kstrn $* failed: $(cat "$dir/err")"; return; }
  read -r seconds kb <"$dir/time"
  printf '%-58s %10s %10s\n' "kstrn ${*//$dir\//}" "$seconds" "$((kb / 1024))"
}
measure info "$big"
measure get "$big" /2:0/100:1999 name
measure get "$big" /logger:0/recorded_data:0 blob_length
measure tree --depth 1 "$big"
measure check "$big"
measure find "$big" channel name "Channel 1234"
measure extract "$big" /2:0/135:0 --offset 4000000000 --count 1000000 -o /dev/null
