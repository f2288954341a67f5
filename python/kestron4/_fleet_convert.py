"""Converting one file to a container without ever leaving a partial one.

The fleet functions hand a worker a path and get back one plain row, so
nothing but paths and rows crosses the network.
"""

from __future__ import annotations

import os
import uuid
from typing import Dict, List, Optional, Sequence, Union

from ._session import open as _open
from .errors import Error

# Hidden directory beside the outputs where a conversion is saved before it is
# renamed into place. A worker killed in the middle of a save can leave a file
# here, never a truncated output.
STAGING_DIR = ".kestron4-partial"

ConvertRow = Dict[str, Union[str, int, None]]


def output_path(path: str, out_dir: str) -> str:
    """out_dir/<file name without its extension>.kst: the same input always
    gives the same output, so a task that runs twice writes one file."""
    stem = os.path.splitext(os.path.basename(path))[0]
    return os.path.join(out_dir, stem + ".kst")


def output_paths(paths: Sequence[str], out_dir: str) -> List[str]:
    """The output of every input; ValueError when two inputs would share one."""
    outputs = [output_path(p, out_dir) for p in paths]
    seen: Dict[str, str] = {}
    for path, output in zip(paths, outputs):
        other = seen.setdefault(output, path)
        if other != path:
            raise ValueError(f"{other!r} and {path!r} would both be written to {output!r}")
    return outputs


def _staging_file(output: str) -> str:
    staging = os.path.join(os.path.dirname(output) or ".", STAGING_DIR)
    os.makedirs(staging, exist_ok=True)
    return os.path.join(staging, f"{os.path.basename(output)}.{uuid.uuid4().hex}")


def convert_file(path: str, output: str) -> ConvertRow:
    """Opens path (an older logger file or a container) and saves it as output.

    Returns {"path", "output", "code", "error"}: code 0 and the output on
    success, else the library's code and text with output None. Failures of
    the file system outside the library report code 1, as the library does.
    """
    temp: Optional[str] = None
    try:
        temp = _staging_file(output)
        with _open(path) as session:
            session.save(temp)
        os.replace(temp, output)
        temp = None
        return {"path": path, "output": output, "code": 0, "error": ""}
    except Error as error:
        return {"path": path, "output": None, "code": error.code, "error": error.text}
    except OSError as error:
        return {"path": path, "output": None, "code": 1, "error": str(error)}
    finally:
        if temp is not None:
            try:
                os.remove(temp)
            except OSError:
                pass


def remove_empty_staging(out_dir: str) -> None:
    """Removes the staging directory of out_dir unless a conversion still uses
    it or a killed worker left a file there (safe to delete by hand when no
    conversion runs)."""
    try:
        os.rmdir(os.path.join(out_dir, STAGING_DIR))
    except OSError:
        pass
