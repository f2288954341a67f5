"""Walks over one container: its problems, and the blocks that hold a key.

Both return plain rows ({"file", "block", ...}) with the block named by its
path from the root, "/2:0/107:3", as the command-line tool writes it.
"""

from __future__ import annotations

from typing import Any, Dict, Iterator, List, Tuple

from ._block import Block
from ._tids import BlockPath
from ._session import open as _open
from .errors import Error, NotFoundError

Row = Dict[str, Any]

_REFERENCE = 112
_REFERENCE_NUMBER = 1052


def block_name(path: Tuple[Tuple[int, int], ...]) -> str:
    return str(BlockPath(path))


def _reference_problems(block: Block) -> Iterator[str]:
    for i, entry in enumerate(block.items(_REFERENCE)):
        which = f"reference {_REFERENCE}[{i}]"
        number = entry.get(_REFERENCE_NUMBER)
        if not isinstance(number, int):
            yield f"{which} has no number (value 1052)"
            continue
        try:
            block.reference(number)
        except NotFoundError as error:
            yield f"{which} (number {number}) does not resolve: {error.text}"


def check_file(path: str) -> List[Row]:
    """Every problem of the container at path: a reference without a number
    or that does not resolve, and a failure of the library's own integrity
    check when the walk saw nothing. A file that does not open is one problem
    at block "" with the library's text; that includes every blob that
    disagrees with its length value 1066, which the loader refuses.
    """
    rows: List[Row] = []
    try:
        with _open(path, "mmap") as session:
            for block in session.root.walk():
                name = block_name(block.path)
                for problem in _reference_problems(block):
                    rows.append({"file": path, "block": name, "problem": problem})
            if not rows:
                try:
                    session.check_integrity()
                except Error as error:
                    rows.append({"file": path, "block": "/",
                                 "problem": f"integrity check failed: {error.text}"})
    except Error as error:
        rows.append({"file": path, "block": "", "problem": f"cannot open: {error.text}"})
    return rows


def find_file(path: str, item_tid: int, key_tid: int, key: Any) -> List[Row]:
    """Every block of item item_tid in the container at path whose value
    key_tid equals key (any block when key_tid is 0), depth first, with error
    "". Text keys match text in either encoding. A file that does not open is
    one row at block "" with the library's text as its error."""
    rows: List[Row] = []
    try:
        with _open(path, "mmap") as session:
            for block in session.root.walk():
                for child in block.items(item_tid):
                    if key_tid == 0 or child.get(key_tid) == key:
                        rows.append({"file": path, "block": block_name(child.path), "error": ""})
    except Error as error:
        return [{"file": path, "block": "", "error": error.text}]
    return rows
