"""The package as installed: supported numpy/pandas/dask versions checked at
import, pandas left out of a plain import, and the type hints it ships."""

import importlib.metadata
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import kestron4
from kestron4 import _versions


@pytest.mark.parametrize("name, installed, supported", [
    ("numpy", "1.23.5", False),
    ("numpy", "1.24.0", True),
    ("numpy", "1.26.4", True),
    ("numpy", "2.4.6", True),
    ("numpy", "3.0.0.dev0+git1", False),
    ("pandas", "1.5.2", False),
    ("pandas", "1.5.3", True),
    ("pandas", "3.0.0rc1", True),
    ("pandas", "4.0.0", False),
    ("dask", "2022.12.0", False),
    ("dask", "2022.12.1+dfsg", True),
    ("dask", "2026.11.0", True),
])
def test_supported_versions(name, installed, supported):
    if supported:
        _versions.require(name, installed)
    else:
        with pytest.raises(ImportError, match=re.escape(f"{name} {installed} is installed")):
            _versions.require(name, installed)


def _run(code):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(
        [str(Path(kestron4.__file__).parents[1])] + os.environ.get("PYTHONPATH", "").split(os.pathsep)))
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env,
                          check=False)


@pytest.mark.parametrize("module, version, attribute", [
    ("numpy", "1.21.6", None),
    ("pandas", "1.4.4", "recording"),
])
def test_unsupported_version_fails_the_import_clearly(module, version, attribute):
    code = f"import {module}; {module}.__version__ = {version!r}; import kestron4"
    if attribute:
        code += f"; kestron4.{attribute}"
    result = _run(code)
    assert result.returncode != 0
    last = result.stderr.strip().splitlines()[-1]
    assert last.startswith("ImportError: kestron4 needs") and f"{module} {version} is installed" in last


def test_plain_import_leaves_pandas_out_and_recordings_load_on_use(sample_path):
    result = _run("import sys, kestron4; print('pandas' in sys.modules); "
                  f"r = kestron4.recording({str(sample_path)!r}); "
                  "print(isinstance(r, kestron4.Recording), 'pandas' in sys.modules)")
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["False", "True", "True"]


def test_typed_package_ships_hints_and_passes_mypy_strict(tmp_path):
    package = Path(kestron4.__file__).parent
    assert (package / "py.typed").exists() and (package / "_core.pyi").exists()
    mypy = pytest.importorskip("mypy.api")
    try:  # what the package's calls into pandas are checked against
        importlib.metadata.version("pandas-stubs")
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("needs pandas-stubs (the typing extra)")
    # A copy without the compiled module: mypy reads _core.pyi, as a user's mypy does.
    shutil.copytree(package, tmp_path / "kestron4",
                    ignore=shutil.ignore_patterns("*.so", "__pycache__", "data"))
    config = Path(__file__).resolve().parents[2] / "python" / "pyproject.toml"
    out, err, status = mypy.run(["--strict", "--config-file", str(config), "--cache-dir",
                                 str(tmp_path / "cache"), str(tmp_path / "kestron4")])
    assert status == 0, out + err


def _public(names):
    # pybind11's own helpers (its conduit for other extensions) are no binding of ours.
    return {n for n in names if not n.startswith(("__", "_pybind11"))}


def test_compiled_module_stubs_name_every_binding():
    # mypy trusts the stubs: a binding they leave out is an error in every
    # caller, one they invent passes mypy and fails at run time.
    import ast

    from kestron4 import _core

    stub = ast.parse((Path(kestron4.__file__).parent / "_core.pyi").read_text())
    stubbed = {}
    for node in stub.body:
        if isinstance(node, ast.ClassDef):
            stubbed[node.name] = _public(n.name for n in node.body if isinstance(n, ast.FunctionDef))
        elif isinstance(node, ast.FunctionDef):
            stubbed[node.name] = None
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            stubbed[node.target.id] = None
    compiled = {}
    for name in _public(dir(_core)):
        value = getattr(_core, name)
        compiled[name] = _public(vars(value)) if isinstance(value, type) else None
    typing_only = {"ChannelInfo"}  # the dicts Recording.channels() returns
    assert {n: m for n, m in stubbed.items() if n not in typing_only} == compiled
