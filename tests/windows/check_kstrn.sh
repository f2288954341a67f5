#!/usr/bin/env bash
# kstrn.exe under Wine: the reading commands, a save to a name outside the
# ANSI code page (byte for byte the file it read), a JSON round trip, standard
# output without CR LF translation, and a failed save that leaves nothing.
set -euo pipefail
kstrn=$1 input=$2 dir=$3
export LC_ALL=C.UTF-8  # Wine hands the UTF-8 arguments on as UTF-16
rm -rf "$dir" && mkdir -p "$dir"
run() { wine "$kstrn" "$@"; }
fail() { echo "FAILED: $*"; exit 1; }

run info "$input" | grep -q '^integrity  *ok' || fail "info"
run tree --values "$input" | grep -q '1002 name .*"café"' || fail "tree --values"
[ "$(run get "$input" / 1002)" = "café" ] || fail "get"

odd="$dir/αж漢 copy.kst"
run convert "$input" -o "$odd"
cmp "$input" "$odd" || fail "convert -o to a UTF-16 name"
run tree "$odd" | grep -q '100:1 channel' || fail "tree of the UTF-16 name"

run to-json "$odd" -o "$dir/json.txt"
run from-json "$dir/json.txt" "$dir/from-json.kst"
cmp "$input" "$dir/from-json.kst" || fail "to-json, from-json"
run to-json "$input" >"$dir/stdout.txt"
cmp "$dir/json.txt" "$dir/stdout.txt" || fail "standard output is not the file's bytes"

if run convert "$dir/missing.kst" -o "$dir/never.kst" 2>"$dir/err.txt"; then fail "missing input"; fi
grep -q 'missing.kst' "$dir/err.txt" || fail "message of a missing input"
[ ! -e "$dir/never.kst" ] || fail "a failed convert left a file"
[ -z "$(ls -A "$dir" | grep scratch || true)" ] || fail "scratch files left"
echo "kstrn.exe: info, tree, get, convert, to-json, from-json ok"
