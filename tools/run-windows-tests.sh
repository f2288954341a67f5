#!/usr/bin/env bash
# Cross-builds kestron4.dll and its tests with mingw-w64 and runs them under
# Wine: the Win32 side of the platform seam with fault injection, a caller
# that loads the DLL with LoadLibraryW/GetProcAddress, the export table and
# imports, and the same calls through the Linux library (LINUX_BUILD, default
# build/) and the DLL giving byte-identical files.
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=${LINUX_BUILD:-build}
out=build-win
cmake -S . -B "$out" -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DKESTRON4_WERROR=ON
cmake --build "$out" -j "${KESTRON4_WIN_JOBS:-2}"
# A Wine prefix of the build tree's own; the first run creates it.
export WINEPREFIX="$PWD/$out/wine-prefix" WINEDEBUG=-all
ctest --test-dir "$out" --output-on-failure

# The same calls through the Linux library.
linux_lib=$(ls "$linux_build"/libkestron4.so* 2>/dev/null | head -1)
if [ -z "$linux_lib" ]; then
  echo "no Linux library in $linux_build: build it first"; exit 1
fi
cc -std=c99 -Wall -Wextra -Werror -Iinclude tests/windows/same_calls.c -o "$out/same_calls_linux" \
  -L"$linux_build" -lkestron4 -Wl,-rpath,"$PWD/$linux_build"
"$out/same_calls_linux" "$out/same_calls_linux.kst"
cmp "$out/same_calls_linux.kst" "$out/same_calls_windows.kst"
echo "same calls, same bytes: $(stat -c %s "$out/same_calls_linux.kst") bytes from Linux and from Windows"
