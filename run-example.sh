#!/usr/bin/env bash
# Builds the library and runs the example program: it builds a session, saves
# it, opens it again and prints its tree, then opens the bundled sample
# logger file and prints that too. Then the kstrn command-line program
# converts the sample to a container and shows its summary and its tree.
# The set-up (packages, configure, build) prints one line per step; its full
# output is in build/setup.log.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p build
export KESTRON4_SETUP_LOG=$PWD/build/setup.log
: >"$KESTRON4_SETUP_LOG"
. tools/quiet-steps.sh
tools/install-deps.sh example

targets=(kestron4_tour kstrn)
# The tests are configured by ./run-tests.sh, which needs more packages.
step "configuring" cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRON4_BUILD_TESTS=OFF
count=$(ninja -C build -t commands "${targets[@]}" 2>/dev/null | wc -l)
step "building kstrn and the example ($count steps)" cmake --build build -j "$(nproc)" --target "${targets[@]}"
echo

./build/examples/kestron4_tour samples/*

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
kstrn=./build/tools/kstrn/kstrn
echo
echo "== kstrn convert samples/logger_data_v2.dat -o logger_data_v2.kst"
"$kstrn" convert samples/logger_data_v2.dat -o "$out/logger_data_v2.kst"
echo "== kstrn info logger_data_v2.kst"
"$kstrn" info "$out/logger_data_v2.kst"
echo "== kstrn tree --values --depth 2 logger_data_v2.kst"
"$kstrn" tree --values --depth 2 "$out/logger_data_v2.kst"
