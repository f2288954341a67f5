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

# setuptools takes relative source paths only (run from this folder).
os.chdir(HERE)
sources = sorted(p.as_posix() for p in Path("src").glob("*.cc"))
sources += sorted(os.path.relpath(p, HERE) for p in (ROOT / "src").rglob("*.cc"))


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
    extra_compile_args=["-std=c++20", "-fvisibility=hidden", "-O2"],
    extra_link_args=["-pthread"],
)

setup(ext_modules=[core], cmdclass={"build_py": BuildPy, "build_ext": BuildExt})
