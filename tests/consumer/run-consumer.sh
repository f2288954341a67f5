#!/usr/bin/env bash
# Installs a built tree into a temporary prefix, moves the installed tree
# elsewhere (the package must be relocatable), and builds and runs the
# consumer programs against it: through find_package(kestron4) and through
# pkg-config. Then builds them against the build tree itself
# (kestron4_DIR=BUILD_DIR) and with the sources added as a subdirectory.
# Each C++ build must point kstrn::Names at the dictionary of its tree.
# Usage: tests/consumer/run-consumer.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
source=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/prefix"
prefix=$work/prefix

# The library with its SONAME links, the headers, both package files.
lib=$(dirname "$(find "$prefix" -name 'libkestron4.so.4.*' -type f)")
test -L "$lib/libkestron4.so" && test -L "$lib/libkestron4.so.4"
test -f "$prefix/include/kestron4/kestron4.h" && test -f "$prefix/include/kestron4/kestron4.hpp"
test -f "$lib/cmake/kestron4/kestron4Config.cmake" && test -f "$lib/pkgconfig/kestron4.pc"
"$prefix/bin/kstrn" --version
"$here/../elf/check-search-paths.sh" "$prefix"

echo "== find_package(kestron4)"
cmake -S "$here" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer_c"
# Prints the dictionary path it was built with; it must name the moved tree.
expect_tids() {
  local out
  out=$("$1")
  echo "$out"
  grep -qxF "consumer_cpp: TID dictionary $2" <<<"$out" || { echo "expected dictionary $2" >&2; exit 1; }
}
expect_tids "$work/cmake-build/consumer_cpp" "$prefix/share/kestron4/tids.tsv"

echo "== pkg-config kestron4"
export PKG_CONFIG_PATH=$lib/pkgconfig
libdir=$(pkg-config --variable=libdir kestron4)
cc -std=c99 -Wall -Wextra -pedantic -Werror $(pkg-config --cflags kestron4) "$here/consumer_c.c" \
  -o "$work/pc_c" $(pkg-config --libs kestron4) -Wl,-rpath,"$libdir"
c++ -std=c++17 -Wall -Wextra -Wshadow -pedantic -Werror $(pkg-config --cflags kestron4) \
  "$here/consumer_cpp.cc" -o "$work/pc_cpp" $(pkg-config --libs kestron4) -Wl,-rpath,"$libdir"
"$work/pc_c"
"$work/pc_cpp"
test "$(realpath -m "$(pkg-config --variable=tidsfile kestron4)")" = "$prefix/share/kestron4/tids.tsv"

echo "== kestron4_DIR=$build (the build tree as a package)"
cmake -S "$here" -B "$work/tree-build" -G Ninja -Dkestron4_DIR="$build" >/dev/null
cmake --build "$work/tree-build" >/dev/null
"$work/tree-build/consumer_c"
expect_tids "$work/tree-build/consumer_cpp" "$source/data/tids.tsv"

echo "== add_subdirectory(kestron4) and kestron4::kestron4"
cmake -S "$here" -B "$work/sub-build" -G Ninja -DKESTRON4_SOURCE_DIR="$source" >/dev/null
cmake --build "$work/sub-build" >/dev/null
"$work/sub-build/consumer_c"
expect_tids "$work/sub-build/consumer_cpp" "$source/data/tids.tsv"

# The Python package, when the build made it: importable from the moved
# install with the interpreter it was built for.
python_dir=$(sed -n 's/^KESTRON4_PYTHON_INSTALL_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ -n "$python_dir" ] && [ -d "$prefix/$python_dir/kestron4" ]; then
  echo "== import kestron4"
  python=$(sed -n 's/^KESTRON4_PYTHON_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt")
  (cd "$work" && PYTHONPATH="$prefix/$python_dir" "$python" -c \
    'import kestron4; s = kestron4.new(); s.root[2001] = "ok"; print(kestron4.__file__, kestron4.from_bytes(s.to_bytes()).root[2001])')
fi
