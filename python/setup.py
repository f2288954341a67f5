"""Builds kestron4._core: the module's own sources and the whole library
compiled into one extension, so nothing else needs to be installed.

The library's sources (src/, include/) and the TID dictionary (data/tids.tsv)
are those of the repository this folder sits in; an sdist carries a copy of
them in library/, so that it builds on its own. pybind11 comes from PyPI in
pip's isolated build (pyproject.toml), or from Debian's pybind11-dev with
--no-build-isolation.
"""

import os
import shutil
import sysconfig
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.build_py import build_py
from setuptools.command.sdist import sdist

HERE = Path(__file__).resolve().parent
VENDORED = HERE / "library"
LIBRARY = VENDORED if (VENDORED / "src").is_dir() else HERE.parent
# What of the library an sdist carries: everything a build on any system compiles.
LIBRARY_PARTS = ("src", "include", "data/tids.tsv")


def pybind11_include():
    """pybind11's headers: the installed Python package's, else the system's."""
    try:
        import pybind11
    except ImportError:
        pass
    else:
        return pybind11.get_include()
    for folder in ("/usr/include", "/usr/local/include", sysconfig.get_paths()["include"]):
        if (Path(folder) / "pybind11" / "pybind11.h").exists():
            return folder
    return None


def zlib_headers():
    """Whether zlib's header is there: MDF 4 exports compress their data blocks
    with it (libz.so.1 is one of the libraries every manylinux policy allows)."""
    folders = ("/usr/include", "/usr/local/include", sysconfig.get_paths()["include"])
    return any((Path(folder) / "zlib.h").exists() for folder in folders)


def check_build_needs(pybind11_headers):
    missing = []
    if not (Path(sysconfig.get_paths()["include"]) / "Python.h").exists():
        missing.append("Python's development files (Debian: python3-dev)")
    if pybind11_headers is None:
        missing.append("pybind11 (PyPI: pybind11, Debian: pybind11-dev)")
    if not (LIBRARY / "src").is_dir():
        missing.append(f"the library's sources ({LIBRARY / 'src'})")
    if missing:
        raise SystemExit(
            "kestron4 cannot be built here; missing: " + "; ".join(missing) + ".\n"
            "pip install ./python fetches pybind11 itself. With Debian's packages instead\n"
            "(tools/install-deps.sh): pip install --no-build-isolation ./python")


def library_sources():
    """Every .cc of the library, except the platform files of the other system
    and what only the kstrn program needs (as the CMake build takes them)."""
    other_system = "posix_" if os.name == "nt" else "win32_"
    return sorted(
        os.path.relpath(p, HERE) for p in (LIBRARY / "src").rglob("*.cc")
        if not (p.parent.name == "platform" and p.name.startswith(other_system))
        and "_program_process" not in p.name)


class BuildPy(build_py):
    def run(self):
        super().run()
        tids = LIBRARY / "data" / "tids.tsv"
        if tids.exists():
            target = Path(self.build_lib) / "kestron4" / "data"
            target.mkdir(parents=True, exist_ok=True)
            shutil.copy2(tids, target / "tids.tsv")


class BuildExt(build_ext):
    def finalize_options(self):
        super().finalize_options()
        if self.parallel is None:
            self.parallel = os.cpu_count() or 1

    def run(self):
        headers = pybind11_include()
        check_build_needs(headers)
        for ext in self.extensions:
            # Added here, not in setup(): the sdist must not list files above this folder.
            ext.sources += library_sources()
            ext.include_dirs += [os.path.relpath(LIBRARY / "include", HERE),
                                 os.path.relpath(LIBRARY / "src", HERE), headers]
            if zlib_headers():
                ext.define_macros.append(("KESTRON4_HAVE_ZLIB", None))
                ext.libraries.append("z")
        super().run()


class Sdist(sdist):
    def make_release_tree(self, base_dir, files):
        super().make_release_tree(base_dir, files)
        for part in LIBRARY_PARTS:
            source, target = LIBRARY / part, Path(base_dir) / "library" / part
            if source.is_dir():
                shutil.copytree(source, target, ignore=shutil.ignore_patterns("__pycache__"))
            else:
                target.parent.mkdir(parents=True, exist_ok=True)
                shutil.copy2(source, target)


# setuptools takes relative source paths only (run from this folder).
os.chdir(HERE)
core = Extension(
    "kestron4._core",
    sources=sorted(p.as_posix() for p in Path("src").glob("*.cc")),
    language="c++",
    # No debug information and a stripped module: 21 MB with it, about 0.6 MB without.
    extra_compile_args=["-std=c++20", "-fvisibility=hidden", "-O2", "-g0"],
    extra_link_args=["-pthread", "-s"],
)

setup(ext_modules=[core],
      cmdclass={"build_py": BuildPy, "build_ext": BuildExt, "sdist": Sdist})
