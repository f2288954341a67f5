#!/usr/bin/env bash
# Builds and runs every test: a g++ build, then a clang build with
# AddressSanitizer and UndefinedBehaviorSanitizer, a ThreadSanitizer build of
# the concurrency test, and a short run of every fuzz target. Warnings are
# errors. The g++ build is also installed into a temporary prefix, and a small
# consumer project is built against that install (CMake package and
# pkg-config); the benchmarks get a smoke run.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRON4_WERROR=ON -DKESTRON4_BUILD_TESTS=ON \
  -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
tests/consumer/run-consumer.sh build
# kstrn view in headless Chromium (about 15 s).
/usr/bin/python3 tests/view/browser_test.py build/tools/kstrn/kstrn
# kstrn view's limits against a hostile local client (about 15 s).
/usr/bin/python3 tests/view/view_limits_test.py build/tools/kstrn/kstrn

# Windows: kestron4.dll cross-built with mingw-w64, its tests under Wine.
tools/run-windows-tests.sh

# The release artifacts: built twice (the same bytes), the Debian packages and
# the Windows zip tried out.
tests/release/run-release-tests.sh

# The benchmarks build in the same tree and each runs once on tiny data, so
# that they keep compiling and working; tools/run-benchmarks.sh measures.
cmake -S . -B build -DKESTRON4_BUILD_BENCH=ON
cmake --build build -j "$jobs"
for bench in build/bench/*_bench; do
  echo "smoke: $bench"
  if ! out=$(KESTRON4_BENCH_SCALE=0.001 "$bench" --benchmark_min_time=0.001 2>&1) ||
    grep -q 'ERROR OCCURRED' <<<"$out"; then
    echo "$out"
    exit 1
  fi
done
# The Python recording benchmark beside h5py, on one short file (a few seconds).
PYTHONPATH=build/python /usr/bin/python3 bench/recording_bench.py --files 1 --minutes 0.2 --runs 1 >/dev/null

# The Python package as analysts install it: the sdist, a manylinux wheel built
# from it, and the whole Python suite (notebook, Dask cluster, mypy) from that
# wheel in fresh environments under Debian 12's stack and PyPI's newest.
tools/python-matrix.sh

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRON4_WERROR=ON \
  -DKESTRON4_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# ThreadSanitizer: only the concurrency test, built alone to keep this short.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRON4_WERROR=ON \
  -DKESTRON4_TSAN=ON -DKESTRON4_BUILD_EXAMPLES=OFF -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
cmake --build build-tsan --target kestron4_threads_test -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/kestron4_threads_test

# A short run of every fuzz target (KESTRON4_FUZZ_SECONDS each, 60 by default).
KESTRON4_FUZZ_JOBS=$jobs tools/run-fuzz.sh "${KESTRON4_FUZZ_SECONDS:-60}"
