#!/usr/bin/env bash
# Installs what building and testing kestron4 needs on a Debian machine,
# skipping whatever is already there.
set -euo pipefail

packages=(cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev
          zlib1g-dev liblz4-dev libsqlite3-dev libclang-rt-14-dev binutils python3
          libcli11-dev nlohmann-json3-dev pkgconf
          python3-dev pybind11-dev python3-numpy python3-pandas python3-matplotlib
          python3-pytest python3-hypothesis python3-pip python3-setuptools python3-wheel python3-venv)
# kestron4.dask: the fleet functions and their tests.
packages+=(python3-dask python3-distributed)
# bench/recording_bench.py: the same recordings read through h5py beside kestron4.
packages+=(python3-h5py)
# kestron4.dll: the mingw-w64 cross compiler (posix threads), Wine to run its tests,
# GoogleTest's sources to build it with the same compiler.
packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 googletest)
# kstrn view: its HTTP server, and Chromium driven by Selenium for its browser test.
# npm (for the page's chart library) only when none is installed already.
packages+=(libcpp-httplib-dev chromium chromium-driver python3-selenium)
command -v npm >/dev/null 2>&1 || packages+=(npm)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

# kstrn view's page: its chart library from the npm registry, as pinned in the lock file.
page=tools/kstrn/view/page
if [ ! -d "$(dirname "$0")/../$page/node_modules" ]; then
  (cd "$(dirname "$0")/../$page" && npm ci --no-audit --no-fund)
fi
