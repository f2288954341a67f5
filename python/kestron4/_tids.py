"""TIDs as the package accepts them: a number 0..65535 or a name of the TID
dictionary (kestron4.names.default()), as the kstrn command accepts them."""

from __future__ import annotations

from typing import Any, Tuple

import numpy as np


def tid_of(tid: Any) -> int:
    """The TID of a number or name: ValueError outside 0..65535, KeyError for an
    unknown name, TypeError for anything else."""
    if type(tid) is int and 0 <= tid <= 0xFFFF:  # the common case, first
        return tid
    if isinstance(tid, (int, np.integer)) and not isinstance(tid, bool):
        if not 0 <= tid <= 0xFFFF:
            raise ValueError(f"TIDs are 0..65535, not {tid}")
        return int(tid)
    if isinstance(tid, str):
        text = tid.strip()
        if text.isdigit():
            return tid_of(int(text))
        from . import names

        found = names.default().tid(text)
        if found is None:
            raise KeyError(f"not a TID or a name of the TID dictionary: {tid!r}")
        return found
    raise TypeError(f"a TID is an int or a name, not {type(tid).__name__}")


class BlockPath(Tuple[Tuple[int, int], ...]):
    """(item TID, index) steps from the root, shown as kstrn writes them: "/2:0/135:1"."""

    def __str__(self) -> str:
        return "".join(f"/{tid}:{index}" for tid, index in self) or "/"

    __repr__ = __str__


def block_path(steps: Any) -> Tuple[Tuple[int, int], ...]:
    return BlockPath(tuple(tuple(step) for step in steps))


def number(value: Any, what: str, limit: int) -> int:
    """A count, offset or reference number in 0..limit: ValueError outside,
    TypeError for what is not an integer."""
    if not isinstance(value, (int, np.integer)) or isinstance(value, bool):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    if not 0 <= value <= limit:
        raise ValueError(f"{what} must be 0..{limit}, not {value}")
    return int(value)
