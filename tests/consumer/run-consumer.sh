#!/usr/bin/env bash
# Installs a built tree into a temporary prefix, moves the installed tree
# elsewhere (the package must be relocatable), and builds and runs the
# consumer programs against it twice: through find_package(kestron4) and
# through pkg-config. Usage: tests/consumer/run-consumer.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
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

echo "== find_package(kestron4)"
cmake -S "$here" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer_c"
"$work/cmake-build/consumer_cpp"

echo "== pkg-config kestron4"
export PKG_CONFIG_PATH=$lib/pkgconfig
libdir=$(pkg-config --variable=libdir kestron4)
cc -std=c99 -Wall -Wextra -pedantic -Werror $(pkg-config --cflags kestron4) "$here/consumer_c.c" \
  -o "$work/pc_c" $(pkg-config --libs kestron4) -Wl,-rpath,"$libdir"
c++ -std=c++17 -Wall -Wextra -Wshadow -pedantic -Werror $(pkg-config --cflags kestron4) \
  "$here/consumer_cpp.cc" -o "$work/pc_cpp" $(pkg-config --libs kestron4) -Wl,-rpath,"$libdir"
"$work/pc_c"
"$work/pc_cpp"

# The Python package, when the build made it: importable from the moved
# install with the interpreter it was built for.
python_dir=$(sed -n 's/^KESTRON4_PYTHON_INSTALL_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ -n "$python_dir" ] && [ -d "$prefix/$python_dir/kestron4" ]; then
  echo "== import kestron4"
  python=$(sed -n 's/^KESTRON4_PYTHON_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt")
  (cd "$work" && PYTHONPATH="$prefix/$python_dir" "$python" -c \
    'import kestron4; s = kestron4.new(); s.root[2001] = "ok"; print(kestron4.__file__, kestron4.from_bytes(s.to_bytes()).root[2001])')
fi
