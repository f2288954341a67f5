#!/usr/bin/env bash
# Installs the wheel into fresh virtual environments (no system site packages,
# no compiler used) with everything else from PyPI, and runs the whole Python
# suite, notebook and Dask tests on a LocalCluster included, in each:
#   oldest  Debian 12's versions (tools/python-oldest-stack.txt)
#   newest  whatever PyPI serves today, and mypy --strict over the package
# The wheel is WHEELDIR's; without WHEELDIR, tools/build-wheel.sh builds it
# into build/dist first. Stacks: both, or those named after WHEELDIR.
#
#   tools/python-matrix.sh [WHEELDIR [oldest|newest]...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -gt 0 ]; then
  wheels=$(realpath "$1")
  shift
else
  wheels=$root/build/dist
  "$root/tools/build-wheel.sh" "$wheels"
fi
stacks=("$@")
[ ${#stacks[@]} -gt 0 ] || stacks=(oldest newest)
python=${KESTRON4_PYTHON:-/usr/bin/python3}

wheel=$(ls "$wheels"/kestron4-*manylinux*.whl | head -1)

for stack in "${stacks[@]}"; do
  echo "== Python stack: $stack ($wheel)"
  venv=$root/build/python-matrix/$stack
  rm -rf "$venv"
  "$python" -m venv "$venv"
  "$venv/bin/python" -m pip install -q --upgrade pip
  case $stack in
    oldest) extras="dask,plot,test"; pins=(-c "$root/tools/python-oldest-stack.txt") ;;
    newest) extras="dask,plot,test,typing"; pins=() ;;
    *) echo "unknown stack: $stack" >&2; exit 2 ;;
  esac
  "$venv/bin/python" -m pip install -q --only-binary=:all: "${pins[@]}" "$wheel[$extras]"
  "$venv/bin/python" -c "import numpy, pandas, dask, kestron4; print('kestron4', kestron4.__version__, \
'from', kestron4.__file__, '| numpy', numpy.__version__, '| pandas', pandas.__version__, '| dask', dask.__version__)"
  # From outside the source tree, so that the installed package is the one tested.
  env=(KESTRON4_SOURCE_DIR="$root" MPLBACKEND=Agg)
  [ -f "$root/build/libkestron4.so" ] && env+=(KESTRON4_SHARED_LIB="$root/build/libkestron4.so")
  (cd "$venv" && env "${env[@]}" bin/python -m pytest -q -p no:cacheprovider "$root/tests/python")
done
