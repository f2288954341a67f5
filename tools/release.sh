#!/usr/bin/env bash
# Builds the release artifacts of the checked-out commit (HEAD, not the
# working tree's edits) into dist/:
#   kestron4_V_ARCH.deb, kestron4-dev_V_ARCH.deb   the Debian packages
#   kestron4-V-win64.zip                          the DLL, kstrn.exe, headers, import libraries
#   the Python wheel, when tools/build-wheel.sh is there
#   SHA256SUMS
# V is the version the library reports (KSTRN_GetEVersion). Two runs from
# the same commit give the same bytes, wherever they build: times come from
# the commit (SOURCE_DATE_EPOCH), paths of the build are mapped away.
# Usage: tools/release.sh [--out DIR] [--work DIR]   (default dist/ and build-release/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/dist
work=$root/build-release
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --work) work=$(realpath -m "$2"); shift 2 ;;
    *) echo "usage: $0 [--out DIR] [--work DIR]" >&2; exit 2 ;;
  esac
done
. "$root/tools/quiet-steps.sh"
"$root/tools/install-deps.sh" release

export SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct HEAD)
export TZ=UTC LC_ALL=C.UTF-8
umask 022
commit=$(git -C "$root" rev-parse HEAD)
rm -rf "$work" "$out"
mkdir -p "$work" "$out"
src=$work/src
mkdir "$src"
git -C "$root" archive HEAD | tar -x -C "$src"
# The view page's npm packages, as pinned by the lock file and fetched by install-deps.sh.
cp -a "$root/tools/kstrn/view/page/node_modules" "$src/tools/kstrn/view/page/"

# No path of this machine in the binaries: sources and build trees map to
# fixed names. ccache must hand the compiler the absolute paths that these
# maps rewrite, not paths it made relative to its base folder.
prefix_map="-ffile-prefix-map=$src=kestron4 -ffile-prefix-map=$work=."
export CCACHE_BASEDIR=
common=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRON4_BUILD_TESTS=OFF -DKESTRON4_BUILD_EXAMPLES=OFF
        -DKESTRON4_BUILD_PYTHON=OFF)

# Linux, with Debian's hardening flags; the library lies in a system folder,
# so kstrn needs no search path of its own.
# (Its own file-prefix map would name the folder this script runs in.)
export DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=-fixfilepath,-fixdebugpath"
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS) $prefix_map"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS) $prefix_map"
ldflags=$(dpkg-buildflags --get LDFLAGS)
step "configuring the Linux build" cmake -S "$src" -B "$work/linux" "${common[@]}" \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_RPATH=ON -DKESTRON4_BUILD_VIEW=ON \
  "-DCMAKE_C_FLAGS=$cflags" "-DCMAKE_CXX_FLAGS=$cxxflags" \
  "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" "-DCMAKE_SHARED_LINKER_FLAGS=$ldflags"
step "building the Linux library and kstrn" cmake --build "$work/linux" -j "$(nproc)"
step "installing into a staging tree" env DESTDIR="$work/stage" cmake --install "$work/linux"

# The one version: what the built library reports.
cat >"$work/version.c" <<'EOF'
#include <stdio.h>
#include <kestron4/kestron4.h>
int main(void) { puts(KSTRN_GetEVersion()); return 0; }
EOF
libdir=$(dirname "$(find "$work/stage" -name 'libkestron4.so.*.*' -type f)")
cc -I"$work/stage/usr/include" "$work/version.c" -o "$work/version" -L"$libdir" -lkestron4
version=$(LD_LIBRARY_PATH=$libdir "$work/version")
cmake_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/linux/CMakeCache.txt")
case $version in
  "$cmake_version" | "$cmake_version".*) ;;
  *) echo "the library reports $version, the build says $cmake_version" >&2; exit 1 ;;
esac

step "making the Debian packages" "$root/tools/release/make-deb.sh" "$work/stage" "$out" "$version" "$commit"
step "checking them with lintian" lintian --fail-on error,warning \
  "$out"/*.deb

# Windows, cross-built; kstrn.exe finds the dictionary beside it only.
step "configuring the Windows build" cmake -S "$src" -B "$work/win" "${common[@]}" \
  --toolchain "$src/cmake/mingw-w64-x86_64.cmake" -DKESTRON4_KSTRN_SOURCE_TIDS=OFF \
  "-DCMAKE_C_FLAGS=$prefix_map" "-DCMAKE_CXX_FLAGS=$prefix_map" \
  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-insert-timestamp" \
  "-DCMAKE_SHARED_LINKER_FLAGS=-Wl,--no-insert-timestamp"
step "building kestron4.dll and kstrn.exe" cmake --build "$work/win" -j "$(nproc)"
step "installing into a staging tree" cmake --install "$work/win" --prefix "$work/win-stage"
step "making the Windows zip" "$root/tools/release/make-zip.sh" "$work/win-stage" "$src/data/tids.tsv" \
  "$out" "$version" "$commit"

# The Python wheel (and its sdist), from the same committed tree; without
# debug information, which would hold the paths of pip's temporary build folders.
if [ -x "$src/tools/build-wheel.sh" ]; then
  step "building the Python wheel" env CFLAGS="-g0 $prefix_map" CXXFLAGS="-g0 $prefix_map" \
    "$src/tools/build-wheel.sh" "$out"
else
  echo "no tools/build-wheel.sh: no Python wheel"
fi

(cd "$out" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort |
  xargs -d '\n' sha256sum >SHA256SUMS)
echo "$version of $commit in $out:"
(cd "$out" && ls -l --time-style=+ | sed 1d | awk '{ printf "  %10d  %s\n", $5, $NF }')
