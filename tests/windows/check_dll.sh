#!/usr/bin/env bash
# The DLL's export table holds exactly the 100 names of exports.map, and it
# imports only DLLs that every Windows has.
set -euo pipefail
dll=$1 map=$2
dump=$(x86_64-w64-mingw32-objdump -p "$dll")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | grep -o 'KSTRN_[A-Za-z0-9_]*' | sort)
expected=$(grep -o 'KSTRN_[A-Za-z0-9_]*' "$map" | sort)
if [ "$exports" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$exports") || true
  echo "export table differs from $map"; exit 1
fi
echo "exports: $(wc -l <<<"$exports") names, equal to $map"
imports=$(grep 'DLL Name:' <<<"$dump" | awk '{print toupper($3)}' | sort)
echo "imports:" $imports
for d in $imports; do
  case $d in
    KERNEL32.DLL | MSVCRT.DLL | VERSION.DLL | BCRYPT.DLL) ;;
    *) echo "unexpected import: $d"; exit 1 ;;
  esac
done
