"""Builds kestron4._core from this repository: the module's own sources and the
whole library (../src) compiled into one extension, so nothing else needs to
be installed. Headers of pybind11 come from the system (Debian's
pybind11-dev). The TID dictionary (../data/tids.tsv), when present, is
shipped as package data.
"""

import os
import shutil
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.build_py import build_py

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent


def missing_packages():
    """Debian's packages the build needs and this machine lacks."""
    import importlib.util
    import sysconfig
    import sys

    missing = []
    if not (Path(sysconfig.get_paths()["include"]) / "Python.h").exists():
        missing.append("python3-dev")
    if not any((Path(p) / "pybind11" / "pybind11.h").exists()
               for p in ("/usr/include", "/usr/local/include", sysconfig.get_paths()["include"])):
        missing.append("pybind11-dev")
    # numpy is needed when the package runs; in pip's isolated build
    # environment the system's numpy is out of sight, so only look outside it.
    isolated = any("pip-build-env" in p for p in sys.path)
    if not isolated and importlib.util.find_spec("numpy") is None:
        missing.append("python3-numpy")
    return missing


_MISSING = missing_packages()
if _MISSING:
    raise SystemExit(
        "kestron4 needs these Debian packages, missing here: " + " ".join(_MISSING) + ".\n"
        "Install them with tools/install-deps.sh (or: apt-get install " + " ".join(_MISSING) + "),\n"
        "then use /usr/bin/python3, or a virtual environment made with --system-site-packages,\n"
        "and pip install --no-build-isolation ./python")

# setuptools takes relative source paths only (run from this folder).
os.chdir(HERE)
sources = sorted(p.as_posix() for p in Path("src").glob("*.cc"))
# The platform folder holds one implementation per system; build this one's.
other_system = "posix_" if os.name == "nt" else "win32_"
sources += sorted(os.path.relpath(p, HERE) for p in (ROOT / "src").rglob("*.cc")
                  if not (p.parent.name == "platform" and
                          (p.name.startswith(other_system) or "_program_process" in p.name)))


class BuildPy(build_py):
    def run(self):
        super().run()
        tids = ROOT / "data" / "tids.tsv"
        if tids.exists():
            target = Path(self.build_lib) / "kestron4" / "data"
            target.mkdir(parents=True, exist_ok=True)
            shutil.copy2(tids, target / "tids.tsv")


class BuildExt(build_ext):
    def finalize_options(self):
        super().finalize_options()
        if self.parallel is None:
            self.parallel = os.cpu_count() or 1


core = Extension(
    "kestron4._core",
    sources=sources,
    include_dirs=["../include", "../src"],
    language="c++",
    # No debug information and a stripped module: 21 MB with it, about 0.6 MB without.
    extra_compile_args=["-std=c++20", "-fvisibility=hidden", "-O2", "-g0"],
    extra_link_args=["-pthread", "-s"],
)

setup(ext_modules=[core], cmdclass={"build_py": BuildPy, "build_ext": BuildExt})
