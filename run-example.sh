#!/usr/bin/env bash
# Builds the library and runs the example program: it builds a session, saves
# it, opens it again and prints its tree, then opens the bundled sample
# logger file and prints that too.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target kestron4_tour
./build/examples/kestron4_tour samples/*
