"""The compiled module hands numpy arrays across through pybind11, whose
releases before 2.12 read numpy 2's array descriptions wrongly (samples
come back as other numbers, without an error). Refuse that pairing at
import instead of giving wrong values."""

from __future__ import annotations

from typing import Optional, Tuple


def check_numpy_abi(pybind11: Tuple[int, int], numpy_version: Optional[str] = None) -> None:
    """Raises ImportError when numpy is 2 or later and the module was built
    with pybind11 older than 2.12."""
    if numpy_version is None:
        import numpy

        numpy_version = numpy.__version__
    major = int(numpy_version.split(".")[0])
    if major >= 2 and tuple(pybind11) < (2, 12):
        raise ImportError(
            f"kestron4 was built with pybind11 {pybind11[0]}.{pybind11[1]}, which cannot read "
            f"numpy {numpy_version} arrays; rebuild it with pybind11 2.12 or later "
            "(-Dpybind11_DIR=$(python -m pybind11 --cmakedir)) or use numpy 1")
