"""Sessions: one tree of typed records in memory, in a mapped file or in a streamed file."""

from __future__ import annotations

import os
from typing import Any, Optional, Union

from . import _core
from ._block import Block
from ._diagnose import named
from .errors import Error

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

_MODES = ("r", "mmap", "stream")


class Session:
    """An open session. Use it as a context manager, or call :meth:`close`.

    ``mode`` tells where value bytes live: "memory" (opened with mode "r",
    made by :func:`new` or :func:`from_bytes`), "mmap" (a read-only mapping
    of the file) or "stream" (read from the file when asked for). All three
    can be edited and saved.
    """

    __slots__ = ("_s", "__weakref__")

    def __init__(self, core: "_core.Session") -> None:
        self._s = core

    @property
    def root(self) -> Block:
        """The root item block."""
        return Block(self._s.root())

    @property
    def mode(self) -> str:
        """"memory", "r" (in memory, from a file), "mmap" or "stream"."""
        return self._s.mode

    @property
    def closed(self) -> bool:
        return self._s.closed

    @property
    def file_type(self) -> int:
        """The type code of the file it was opened from: 0 for containers and new sessions."""
        return self._s.file_type()

    def save(self, path: PathLike) -> None:
        """Saves the session as a container file; the file is replaced atomically."""
        self._s.save(os.fsencode(path))

    def to_bytes(self) -> bytes:
        """The container file's bytes."""
        return self._s.to_bytes()

    def check_integrity(self) -> int:
        """Resolves every reference; returns how many there are.

        Raises :class:`kestron4.NotFoundError` (code 11) at the first that does
        not resolve.
        """
        return self._s.check_integrity()

    def move_to_ram(self) -> None:
        """Copies every value of a mapped or streamed session into memory and lets go of its file."""
        self._s.move_to_ram()

    def find(self, tid: int, key_tid: int = 0, key: Any = None) -> Optional[Block]:
        """Searches the whole tree; see :meth:`Block.find`."""
        return self.root.find(tid, key_tid, key)

    def close(self) -> None:
        """Closes the session. Blocks of it raise afterwards; numpy arrays over
        its blobs stay valid (they keep the data alive)."""
        self._s.close()

    def __enter__(self) -> "Session":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<kestron4.Session {self.mode} {state}>"


def open(path: PathLike, mode: str = "r") -> Session:  # noqa: A001 - mirrors built-in open
    """Opens a container file, or an older logger file converted on the fly.

    A failure raises the library's :class:`kestron4.Error` subclass with a
    text that names the file and why: "run.kst: empty file (...)", "not a
    container: starts with ...", "cut short at byte N ...", "is a directory"
    (:class:`kestron4.FolderError`); an empty file or one that is not a
    container raises :class:`kestron4.FileTypeError`.

    mode "r" reads every value into memory, "mmap" maps the file read-only
    and reads values from the mapping, "stream" reads values from the file
    only when they are asked for.
    """
    if mode not in _MODES:
        raise ValueError(f"mode must be one of {_MODES}, not {mode!r}")
    try:
        return Session(_core.open_path(os.fsencode(path), mode))
    except Error as error:
        raise named(error, os.fsdecode(path)) from None


def new() -> Session:
    """A new, empty in-memory session."""
    return Session(_core.new_session())


def from_bytes(data: Union[bytes, bytearray, memoryview]) -> Session:
    """An in-memory session loaded from a container's bytes (copied)."""
    return Session(_core.from_bytes(data))
