#!/usr/bin/env bash
# Builds the library and runs the example program: it builds a session, saves
# it, opens it again and prints its tree, then opens the bundled sample
# logger file and prints that too. Then the kstrn command-line program
# converts the sample to a container and shows its summary and its tree.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target kestron4_tour kstrn
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
