#!/usr/bin/env bash
# Makes kestron4-V-win64.zip from the staging tree of the Windows build:
# bin/ kestron4.dll and kstrn.exe; include/kestron4/; lib/ kestron4.def, the
# mingw import library libkestron4.dll.a and kestron4.lib for Microsoft's
# linker (made from the .def by llvm-dlltool); share/kestron4/tids.tsv, which
# kstrn.exe finds beside its folder; README-windows.txt. Entries sorted, with
# the time SOURCE_DATE_EPOCH and no owner, so the same input gives the same bytes.
# Usage: make-zip.sh STAGE TIDS_TSV OUTDIR VERSION COMMIT
set -euo pipefail
stage=$1 tids=$2 out=$3 version=$4 commit=$5
: "${SOURCE_DATE_EPOCH:?}"
umask 022
name=kestron4-$version-win64
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dir=$work/$name
mkdir -p "$dir/bin" "$dir/lib" "$dir/share/kestron4"
cp "$stage/bin/kestron4.dll" "$stage/bin/kstrn.exe" "$dir/bin/"
cp "$stage/lib/libkestron4.dll.a" "$stage/lib/kestron4.def" "$dir/lib/"
cp -r "$stage/include" "$dir/"
cp "$tids" "$dir/share/kestron4/"
x86_64-w64-mingw32-strip --strip-unneeded "$dir/bin/kestron4.dll" "$dir/bin/kstrn.exe"
llvm-dlltool -m i386:x86-64 -d "$dir/lib/kestron4.def" -D kestron4.dll -l "$dir/lib/kestron4.lib"

sed 's/$/\r/' >"$dir/README-windows.txt" <<EOF
kestron4 $version for 64-bit Windows (built from commit $commit)

bin\\kestron4.dll     the library: the 100 KSTRN_ functions of include\\kestron4\\kestron4.h.
                     It needs only KERNEL32, msvcrt, VERSION and bcrypt.
bin\\kstrn.exe        the command-line program (kstrn --help); it loads kestron4.dll
                     from its own folder and the names in share\\kestron4\\tids.tsv.
include\\kestron4\\    kestron4.h (C) and kestron4.hpp (C++17 wrapper).
lib\\kestron4.lib     import library for Microsoft's linker (link.exe, lld-link):
                       cl /I include app.c lib\\kestron4.lib
lib\\libkestron4.dll.a import library for mingw-w64:
                       x86_64-w64-mingw32-gcc -Iinclude app.c -Llib -lkestron4
lib\\kestron4.def     the export list the import libraries were made from.

Put kestron4.dll beside your program (or on PATH). A program may also load it
at run time: LoadLibraryW(L"kestron4.dll"), then GetProcAddress by the
function's name. KSTRN_GetEVersion() returns "$version".
EOF

find "$dir" -type d -exec chmod 0755 {} +
find "$dir" -type f -exec chmod 0644 {} +
chmod 0755 "$dir/bin"/*
find "$dir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
rm -f "$out/$name.zip"
(cd "$work" && find "$name" -print | LC_ALL=C sort | TZ=UTC zip -q -X -9 -@ "$out/$name.zip")
