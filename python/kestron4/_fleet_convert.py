"""Converting one file to a container without ever leaving a partial one.

The fleet functions hand a worker a path and get back one plain row, so
nothing but paths and rows crosses the network.
"""

from __future__ import annotations

import os
from typing import Dict, List, Sequence, Union

from ._session import open as _open
from .errors import Error

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


def convert_file(path: str, output: str) -> ConvertRow:
    """Opens path (an older logger file or a container) and saves it as output.

    Returns {"path", "output", "code", "error"}: code 0 and the output on
    success, else the library's code and text with output None. Failures of
    the file system outside the library report code 1, as the library does.
    """
    # The library's save is the whole of the writing: a scratch file beside
    # output, flushed, renamed over it and the folder flushed, so a crash
    # leaves the old output or the complete new one and a returned save is on
    # disk. A worker that dies can leave that scratch file; the next save of
    # the same output removes it.
    try:
        with _open(path) as session:
            session.save(output)
        return {"path": path, "output": output, "code": 0, "error": ""}
    except Error as error:
        return {"path": path, "output": None, "code": error.code, "error": error.text}
    except OSError as error:
        return {"path": path, "output": None, "code": 1, "error": str(error)}
