"""Why a file does not open, in the words kstrn uses: a folder, an empty file,
not a container (and what it starts with), cut short at byte N."""

from __future__ import annotations

import os
import stat
from typing import Type

from . import errors

_HEADER = b"KESTRON V1.00 FILE\x1a"


def _start(head: bytes) -> str:
    shown = "".join(chr(b) if 0x20 <= b < 0x7F else f"\\x{b:02x}" for b in head[:12])
    return f'"{shown}{"..." if len(head) > 12 else ""}"'


def reason(path: str, code: int) -> str:
    """What is wrong with the file at path, given the library's error code."""
    try:
        info = os.stat(path)
    except OSError as error:
        return error.strerror or str(error)
    if stat.S_ISDIR(info.st_mode):
        return "is a directory"
    if not stat.S_ISREG(info.st_mode):
        return "not a regular file"
    if info.st_size == 0:
        return "empty file"
    try:
        with open(path, "rb") as f:
            head = f.read(len(_HEADER))
    except OSError as error:
        return error.strerror or str(error)
    size = info.st_size
    if head.upper() == _HEADER[:len(head)].upper() and len(head) < len(_HEADER):
        return f"cut short at byte {size} of the {len(_HEADER)}-byte header"
    if head.upper() == _HEADER.upper():
        return f"a container, cut short or damaged (it ends at byte {size})"
    if size < len(_HEADER):
        # Shorter than any header the library recognises a file by.
        return f"too short to be a container or an older logger file ({size} bytes)"
    if code == 2:
        return f"not a container: starts with {_start(head)}"
    # The library recognised an older logger file but could not read it all.
    return f"cut short at byte {size}: an older logger file whose tables or samples run past its end"


def named(error: errors.Error, path: str) -> errors.Error:
    """The error again, its text naming the file and the reason."""
    why = reason(path, error.code)
    cls: Type[errors.Error] = type(error)
    if why in ("empty file",) or why.startswith(("not a container", "too short")):
        cls = errors.FileTypeError
    elif why == "is a directory":
        cls = errors.FolderError
    return cls(error.code, f"{path}: {why} ({error.text})")
