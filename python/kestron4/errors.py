"""Exceptions raised by kestron4.

Every failure reported by the library is an :class:`Error` carrying the
library's numeric ``code`` and its ``text``. Subclasses name the kind of
failure; several also derive from the built-in exception a Python user would
catch (``FileNotFoundError``, ``KeyError``, ``LookupError``, ``ValueError``).
Wrong argument types and values raise the built-in ``TypeError`` and
``ValueError``; an edit that would free bytes a numpy array still views
raises ``BufferError``.
"""

from __future__ import annotations


class Error(Exception):
    """A failure reported by the kestron4 library."""

    def __init__(self, code: int, text: str) -> None:
        super().__init__(code, text)
        self.code = code
        self.text = text

    def __str__(self) -> str:
        return self.text


class FileAccessError(Error, OSError):
    """A file or stream could not be read or written (code 1)."""

    def __str__(self) -> str:
        return self.text


class FileTypeError(Error):
    """The file is neither a container nor an older file the library converts
    (code 2), or is empty (code 1)."""


class FolderError(FileAccessError, IsADirectoryError):
    """A folder was given where a file belongs (code 1)."""


class MissingFileError(FileAccessError, FileNotFoundError):
    """The file does not exist (code 9)."""


class ClosedError(Error, ValueError):
    """The session was closed (code 4)."""


class NotFoundError(Error, LookupError):
    """An item, block or reference was not found (codes 5, 6, 8, 10, 11)."""


class ValueNotFoundError(NotFoundError, KeyError):
    """The block holds no value with that TID (code 7)."""

    def __str__(self) -> str:
        return self.text


class DeletedBlockError(NotFoundError):
    """The block was deleted (code 13)."""


class CountError(Error, ValueError):
    """A count or index out of range for the library (code 12)."""


class DataSizeError(Error):
    """A blob without its size, or text cut to fit (code 16)."""


class ExportError(Error):
    """Nothing could be exported (code 14)."""


_BY_CODE = {
    1: FileAccessError,
    2: FileTypeError,
    4: ClosedError,
    5: NotFoundError,
    6: NotFoundError,
    7: ValueNotFoundError,
    8: NotFoundError,
    9: MissingFileError,
    10: NotFoundError,
    11: NotFoundError,
    12: CountError,
    13: DeletedBlockError,
    14: ExportError,
    16: DataSizeError,
}
