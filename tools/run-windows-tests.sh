#!/usr/bin/env bash
# Cross-builds kestron4.dll, kstrn.exe and the tests with mingw-w64 and runs
# them under Wine: the main suite, the Win32 side of the platform seam with
# fault injection, a caller that loads the DLL with LoadLibraryW/GetProcAddress,
# the C++ header and kstrn.exe on the DLL, the export table and imports, and
# the same calls through the Linux library (LINUX_BUILD, default build/) and
# the DLL giving byte-identical files.
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=${LINUX_BUILD:-build}
out=build-win
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# The preset of CMakePresets.json: build-win, the toolchain, Release; the
# test preset runs ctest in a Wine prefix of the build tree's own.
cmake --preset windows -DKESTRON4_WERROR=ON "${launcher[@]}"
cmake --build --preset windows -j "${KESTRON4_WIN_JOBS:-2}"
ctest --preset windows -j "${KESTRON4_WIN_JOBS:-2}"

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
