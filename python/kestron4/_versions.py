"""The numpy, pandas and dask versions the package works with, checked when
each is first imported by it: an older or newer one raises ImportError that
says which is installed and which are supported, instead of failing later in
some call. The bounds are those of pyproject.toml's dependencies."""

from __future__ import annotations

import re
from typing import Dict, Tuple

Version = Tuple[int, ...]

# name -> (lowest supported, first unsupported)
SUPPORTED: Dict[str, Tuple[Version, Version]] = {
    "numpy": ((1, 24), (3,)),
    "pandas": ((1, 5, 3), (4,)),
    "dask": ((2022, 12, 1), (9999,)),
}


def parse(text: str) -> Version:
    """The leading release numbers of a version: "2.1.0rc1" -> (2, 1, 0)."""
    match = re.match(r"\d+(?:\.\d+)*", text.strip())
    if match is None:
        raise ValueError(f"not a version: {text!r}")
    return tuple(int(part) for part in match.group().split("."))


def _shown(version: Version) -> str:
    return ".".join(map(str, version))


def require(name: str, installed: str) -> None:
    """ImportError unless the installed version of name is supported."""
    low, high = SUPPORTED[name]
    try:
        version = parse(installed)
    except ValueError:
        return  # a build from a checkout without a release number: let it run
    if low <= version < high:
        return
    wanted = f">={_shown(low)}" + ("" if high[0] == 9999 else f",<{_shown(high)}")
    raise ImportError(f"kestron4 needs {name}{wanted}, but {name} {installed} is installed; "
                      f"install a supported one (pip install \"{name}{wanted}\")")
