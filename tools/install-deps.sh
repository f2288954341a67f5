#!/usr/bin/env bash
# Installs the Debian packages one purpose needs, skipping whatever is
# already there, then the view page's npm packages. Quiet: one line per step
# (tools/quiet-steps.sh), apt's and npm's output in the set-up log.
#
#   tools/install-deps.sh            everything ./run-tests.sh uses
#   tools/install-deps.sh example    only what ./run-example.sh builds: kstrn and the example
#   tools/install-deps.sh release    what tools/release.sh and its tests use
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/quiet-steps.sh"

# One list per purpose.
# The library, kstrn and the examples: compiler, build tools, kstrn's header-only libraries.
build=(cmake ninja-build g++ pkgconf libcli11-dev nlohmann-json3-dev)
# kstrn view: its HTTP server. Its page's chart library comes through npm
# (only when no npm is installed already).
view=(libcpp-httplib-dev)
command -v npm >/dev/null 2>&1 || view+=(npm)
# The test suites, the clang sanitizer and fuzz builds, the benchmarks.
tests=(clang libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev liblz4-dev libsqlite3-dev
       libclang-rt-14-dev binutils)
# The Python package and its tests; kestron4.dask; bench/recording_bench.py's h5py.
python=(python3 python3-dev pybind11-dev python3-numpy python3-pandas python3-matplotlib
        python3-pytest python3-hypothesis python3-pip python3-setuptools python3-wheel python3-venv
        python3-dask python3-distributed python3-h5py)
# kestron4.dll: the mingw-w64 cross compiler (posix threads), GoogleTest's
# sources to build its tests with the same compiler.
windows=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest)
# Wine, to run Windows programs.
wine=(wine wine64)
# kstrn view's browser test: Chromium driven by Selenium.
browser=(chromium chromium-driver python3-selenium)
# tools/release.sh: the Debian package's dependencies and checks, the MSVC
# import library (llvm-dlltool) and a program linked with it (clang, lld-link).
release=(dpkg-dev lintian llvm clang lld zip unzip)

recommends=()
case "${1:-all}" in
  example) packages=("${build[@]}" "${view[@]}"); recommends=(--no-install-recommends) ;;
  release) packages=("${build[@]}" "${view[@]}" "${windows[@]}" "${wine[@]}" "${release[@]}") ;;
  all) packages=("${build[@]}" "${view[@]}" "${tests[@]}" "${python[@]}" "${windows[@]}"
                 "${wine[@]}" "${browser[@]}" "${release[@]}") ;;
  *) echo "usage: $0 [example|release|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  step "updating the package lists" "${sudo[@]}" apt-get update
  # What apt will add: the missing packages with their dependencies.
  count=$(apt-get install -s "${recommends[@]}" "${missing[@]}" 2>/dev/null | grep -c '^Inst ' || true)
  step "installing $count packages (${#missing[@]} asked for)" \
    "${sudo[@]}" apt-get install -y "${recommends[@]}" "${missing[@]}"
fi

# kstrn view's page: its chart library from the npm registry, as pinned in the lock file.
page=$root/tools/kstrn/view/page
if [ ! -d "$page/node_modules" ]; then
  step "fetching the view page's npm packages" npm ci --prefix "$page" --no-audit --no-fund
fi
