#!/usr/bin/env bash
# Makes kestron4_V_ARCH.deb (the shared library, kstrn with its manual page
# and completion, the TID dictionary) and kestron4-dev_V_ARCH.deb (headers,
# the link-time library name, CMake and pkg-config files) from a staging tree
# that `cmake --install` filled with prefix /usr. Byte for byte the same for
# the same tree and SOURCE_DATE_EPOCH.
# Usage: make-deb.sh STAGE OUTDIR VERSION COMMIT
set -euo pipefail
stage=$1 out=$2 version=$3 commit=$4
: "${SOURCE_DATE_EPOCH:?}"
umask 022
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
lib=usr/lib/$multiarch
soversion=$(readelf -d "$stage/$lib/libkestron4.so" | sed -n 's/.*(SONAME).*libkestron4\.so\.\([0-9]*\)\]$/\1/p')
test -n "$soversion"
maintainer="kestron4 developers <kestron4@example.org>"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Moves PATH (a file, link or folder under the stage) into package PKG.
take() { mkdir -p "$work/$1/$(dirname "$2")" && mv "$stage/$2" "$work/$1/$2"; }

run=kestron4 dev=kestron4-dev
for f in "$stage/$lib"/libkestron4.so.*; do take $run "$lib/$(basename "$f")"; done
take $run usr/bin/kstrn
take $run usr/share/kestron4
take $run usr/share/bash-completion
take $run usr/share/man
take $dev usr/include
take $dev "$lib/libkestron4.so"
take $dev "$lib/cmake"
take $dev "$lib/pkgconfig"
left=$(find "$stage" -type f -o -type l)
if [ -n "$left" ]; then echo "not packaged: $left" >&2; exit 1; fi

# As Debian's own tools leave them: stripped, manual pages compressed.
strip --remove-section=.comment --remove-section=.note --strip-unneeded "$work/$run/$lib"/libkestron4.so.*.*
strip --remove-section=.comment --remove-section=.note "$work/$run/usr/bin/kstrn"
find "$work/$run/usr/share/man" -type f -name '*.[1-9]' -exec gzip -9n {} +

date=$(date -u -R -d "@$SOURCE_DATE_EPOCH")
for pkg in $run $dev; do
  doc=$work/$pkg/usr/share/doc/$pkg
  mkdir -p "$doc"
  cat >"$doc/copyright" <<EOF
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: kestron4
Source: commit $commit

Files: *
Copyright: $(date -u -d "@$SOURCE_DATE_EPOCH" +%Y) the kestron4 developers
License: custom
 Distributed under the terms of the agreement it was delivered with.
EOF
  printf 'kestron4 (%s) unstable; urgency=medium\n\n  * Release built from commit %s.\n\n -- %s  %s\n' \
    "$version" "$commit" "$maintainer" "$date" | gzip -9n >"$doc/changelog.gz"
done
# The library sits in a package named after the program that most users
# want; its SONAME is libkestron4.so.4.
mkdir -p "$work/$run/usr/share/lintian/overrides"
echo "$run: package-name-doesnt-match-sonames libkestron4-$soversion" \
  >"$work/$run/usr/share/lintian/overrides/$run"

# The dependencies the binaries' libraries bring, found by dpkg-shlibdeps
# (it wants a debian/control; kstrn's own library is in the same package).
meta=$work/meta
mkdir -p "$meta/debian"
printf 'Source: kestron4\n\nPackage: %s\nArchitecture: any\n' $run >"$meta/debian/control"
echo "libkestron4 $soversion $run" >"$meta/debian/shlibs.local"
depends=$(cd "$meta" && dpkg-shlibdeps -O -x$run -l"$work/$run/$lib" \
  "$work/$run/usr/bin/kstrn" "$work/$run/$lib"/libkestron4.so.*.* 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')

control() {  # PKG SECTION DEPENDS SYNOPSIS DESCRIPTION
  local size
  size=$(du -k -s --apparent-size "$work/$1" | cut -f1)
  mkdir -p "$work/$1/DEBIAN"
  {
    echo "Package: $1"
    echo "Version: $version"
    echo "Architecture: $arch"
    echo "Maintainer: $maintainer"
    echo "Installed-Size: $size"
    echo "Depends: $3"
    echo "Section: $2"
    echo "Priority: optional"
    echo "Description: $4"
    echo "$5" | fold -s -w 72 | sed 's/^/ /; s/ *$//'
  } >"$work/$1/DEBIAN/control"
}
control $run libs "$depends" "typed, hierarchical data store in one container file" \
  "kestron4 keeps a hierarchical, typed tree of records (a session) in one container file, and reads the older vehicle data loggers' setup and data files. This package holds the shared library libkestron4.so.$soversion, the kstrn program that inspects, converts and browses such files, and the dictionary of record type names."
control $dev libdevel "$run (= $version)" "typed, hierarchical data store: development files" \
  "Headers of the C interface and of its C++17 wrapper, the library's link-time name, and the CMake package and pkg-config file that find them."
echo "libkestron4 $soversion $run (>= $version)" >"$work/$run/DEBIAN/shlibs"
echo "activate-noawait ldconfig" >"$work/$run/DEBIAN/triggers"

for pkg in $run $dev; do
  (cd "$work/$pkg" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z |
    xargs -0 md5sum >DEBIAN/md5sums)
  find "$work/$pkg" -type d -exec chmod 0755 {} +
  find "$work/$pkg" -type f -exec chmod go-w,a+r {} +
  chmod 0644 "$work/$pkg"/DEBIAN/*
  find "$work/$pkg" -type f -name '*.so*' -exec chmod 0644 {} +
  find "$work/$pkg" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  dpkg-deb --root-owner-group -Zxz --build "$work/$pkg" "$out/${pkg}_${version}_$arch.deb"
done
