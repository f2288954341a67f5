#!/usr/bin/env bash
# Fails when an ELF file under any of the given folders has an RPATH or
# RUNPATH entry that is empty or relative: the loader would resolve it
# against the current folder, so a program run from a folder holding a
# planted library would load it. Entries must be absolute or start with
# $ORIGIN. Usage: check-search-paths.sh DIR...
set -euo pipefail
bad=0 seen=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" 2>/dev/null | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  seen=$((seen + 1))
  while IFS= read -r list; do
    # Every entry on a line of its own; an empty list is one empty entry.
    while IFS= read -r entry; do
      case $entry in
        /* | '$ORIGIN' | '$ORIGIN'/*) ;;
        *) echo "$file: search path [$list] has the entry '$entry'" >&2; bad=1 ;;
      esac
    done < <(awk -F: '{ if (NF == 0) print ""; for (i = 1; i <= NF; i++) print $i }' <<<"$list")
  done < <(readelf -d "$file" 2>/dev/null | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p')
done < <(find "$@" -type f -print0)
echo "search paths of $seen ELF files checked"
exit $bad
