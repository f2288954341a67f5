"""kestron4: typed record trees in one container file, from Python.

Open, walk and edit sessions::

    import kestron4
    with kestron4.open("run.kst") as session:
        for block in session.root.items(100):
            print(block[2001], block.get(10000))

Public names (stable):

- sessions: :func:`open` (mode "r", "mmap", "stream"), :func:`new`,
  :func:`from_bytes`, :class:`Session` (``root``, ``save``, ``to_bytes``,
  ``check_integrity``, ``find``, ``move_to_ram``, ``close``, context manager)
- blocks: :class:`Block` (values by TID like a dict, ``items``, ``item``,
  ``children``, ``walk``, ``parent``, ``path``, ``find``, ``reference``,
  ``refer``, ``referrers``, ``add``, ``delete``, ``delete_item``, ``move``,
  ``change_tid``, ``copy_from``, ``blob``, ``read_blob``, ``set_blob``,
  ``alloc_blob``, ``write_blob``, ``to_bytes``, ``to_dict``)
- errors: :class:`Error` and its subclasses (see :mod:`kestron4.errors`)
- recordings of converted logger files: ``recording(path or session)``,
  :class:`Recording`; ``help(kestron4.recording)`` gives the design notes
- TID names: :mod:`kestron4.names`
- :data:`__version__` (the library's version)
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Any

from . import _core
from ._abi import check_numpy_abi

check_numpy_abi(_core.pybind11_version)
from ._block import Block
from ._session import Session, from_bytes, new, open
from .errors import (
    ClosedError,
    CountError,
    DataSizeError,
    DeletedBlockError,
    Error,
    ExportError,
    FileAccessError,
    FileTypeError,
    FolderError,
    MissingFileError,
    NotFoundError,
    ValueNotFoundError,
    _BY_CODE,
)

_core._set_error_classes(Error, dict(_BY_CODE))

__version__: str = _core.version()

__all__ = [
    "Block",
    "ClosedError",
    "CountError",
    "DataSizeError",
    "DeletedBlockError",
    "Error",
    "ExportError",
    "FileAccessError",
    "FileTypeError",
    "FolderError",
    "MissingFileError",
    "NotFoundError",
    "Session",
    "ValueNotFoundError",
    "from_bytes",
    "new",
    "open",
]

from . import names  # noqa: E402

__all__ += ["Recording", "names", "recording"]

# Recordings need pandas, which takes longer to import than the rest of the
# package: it is imported when kestron4.recording or kestron4.Recording is
# first used (or kestron4.recording is imported), not with the package.
if TYPE_CHECKING:
    from . import recording
    from .recording import Recording


def __getattr__(name: str) -> Any:
    if name in ("recording", "Recording"):
        import importlib

        module = importlib.import_module(".recording", __name__)
        return module if name == "recording" else getattr(module, "Recording")
    raise AttributeError(f"module 'kestron4' has no attribute {name!r}")
