"""Many recordings at once, on Dask.

Each function takes paths and sends only paths to the workers; each worker
opens, reads and closes its files itself, so sessions never cross the
network and a worker holds a few files at a time. The work runs on the
active ``distributed.Client`` when there is one, else on Dask's default
scheduler (``dask.config.set(scheduler="synchronous")`` runs it in this
process). See docs/FLEET.md.

- :func:`read_recordings`: the samples of many recordings as one dask
  DataFrame with columns file, channel, time, elapsed, sample (one partition
  per file).
- :func:`to_parquet`: many recordings as one Parquet dataset partitioned by
  file (hive layout), each file written by its worker, a row group at a time.
- :func:`convert`: older logger files to containers, one row per file with
  the library's code and text; a failed file never stops the batch.
- :func:`check`: references and blobs of many containers, one row per problem.
- :func:`find`: the files and block paths that hold a key.

With ``compute=False``, :func:`convert`, :func:`check` and :func:`find`
return the lazy dask DataFrame instead of computing it.
"""

from __future__ import annotations

import math
import os
from typing import Any, Dict, Iterable, List, Optional, Sequence, Union

import dask
import dask.bag as db
import dask.dataframe as dd
import pandas as pd

from ._fleet_convert import convert_file, output_paths
from ._fleet_search import check_file, find_file
from ._fleet_recording import empty_frame, recording_frame
from ._versions import require

require("dask", getattr(dask, "__version__", ""))

PathLike = Union[str, "os.PathLike[str]"]

__all__ = ["check", "convert", "find", "read_recordings", "to_parquet"]

_CONVERT_META = pd.DataFrame({"path": pd.Series([], dtype=object),
                              "output": pd.Series([], dtype=object),
                              "code": pd.Series([], dtype="int64"),
                              "error": pd.Series([], dtype=object)})
_CHECK_META = pd.DataFrame({c: pd.Series([], dtype=object) for c in ("file", "block", "problem")})
_FIND_META = pd.DataFrame({c: pd.Series([], dtype=object) for c in ("file", "block", "error")})


def _paths(paths: Iterable[PathLike]) -> List[str]:
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError("paths must be a collection of paths, not one path")
    return [os.fsdecode(p) for p in paths]


def _worker_threads() -> int:
    try:
        from distributed import default_client
        return max(1, sum(default_client().nthreads().values()))
    except (ImportError, ValueError):
        return os.cpu_count() or 1


def _bag(items: Sequence[Any]) -> db.Bag:
    # A few tasks per worker thread balance uneven files; batches of at most
    # 100 files keep the work a lost worker takes with it small.
    partitions = max(1, min(len(items), max(8 * _worker_threads(), math.ceil(len(items) / 100))))
    return db.from_sequence(items, npartitions=partitions)


def _frame(rows: db.Bag, meta: pd.DataFrame, compute: bool) -> Union[pd.DataFrame, dd.DataFrame]:
    lazy = rows.to_dataframe(meta=meta)
    if not compute:
        return lazy
    return lazy.compute().reset_index(drop=True)


def read_recordings(paths: Union[PathLike, Iterable[PathLike]]) -> dd.DataFrame:
    """The samples of the recordings in paths (one path or many: containers
    converted from older logger data files, or the older files themselves) as
    one lazy DataFrame, one partition per file, in the order of paths.

    Columns: ``file`` (the path as given, a category over all the paths),
    ``channel`` (the name :func:`kestron4.recording` gives the channel),
    ``time`` (the logger's clock, as :attr:`kestron4.Recording.start` finds
    it; NaT for a file without one), ``elapsed`` (timedelta since the start
    of the recording) and ``sample`` (the sample as stored, in a uint16
    column). ``df.groupby("channel")`` works across the fleet,
    ``df.set_index("time")`` orders it by the clock. Files without a
    recording give no rows; a file that fails raises its kestron4.Error,
    naming the file, when its partition is computed.
    """
    if isinstance(paths, (str, bytes, os.PathLike)):
        paths = [paths]
    files = _paths(paths)
    meta = empty_frame(files)
    if not files:
        return dd.from_pandas(meta, npartitions=1)
    return dd.from_map(recording_frame, files, files=files, meta=meta, label="kestron4-recording",
                       enforce_metadata=False)


def to_parquet(paths: Iterable[PathLike], out_dir: PathLike, *, raster: Any = None,
               channels: Optional[Sequence[str]] = None, physical: bool = True,
               fill: str = "auto", compute: bool = True) -> Union[List[str], db.Bag]:
    """Writes the recordings of paths as one Parquet dataset under out_dir,
    partitioned by file: ``out_dir/file=<name>/part-0.parquet`` on a raster
    (``raster`` in ms or a timedelta: every file then has one table), else
    ``out_dir/file=<name>/period_ms=<P>/part_<P>ms.parquet`` per rate. Each
    file's columns and metadata are those of :meth:`Recording.to_parquet`;
    read the whole with ``pyarrow.dataset.dataset(out_dir,
    partitioning="hive")`` or DuckDB's ``read_parquet('out_dir/**/*.parquet',
    hive_partitioning = true, union_by_name = true)``. Two paths with one file
    name raise ValueError before anything is written. Returns the files
    written (or the lazy bag with ``compute=False``)."""
    from ._recording_export import fleet_file

    files = _paths(paths)
    names = [os.path.basename(f) for f in files]
    if len(set(names)) != len(names):
        raise ValueError("two paths share a file name, and so a partition of the dataset")
    target = os.fsdecode(out_dir)
    os.makedirs(target, exist_ok=True)
    opts: Dict[str, Any] = {"channels": list(channels) if channels else None, "from_ms": None, "to_ms": None,
            "raster_ms": _raster_ms(raster), "physical": physical, "fill": fill, "settings": {}}
    bag = _bag(files).map(fleet_file, target, opts).flatten() if files else db.from_sequence([])
    return bag.compute() if compute else bag


def _raster_ms(raster: Any) -> Optional[float]:
    from ._recording_export import _raster_ms as ms
    return ms(raster)


def convert(paths: Iterable[PathLike], out_dir: PathLike, *,
            compute: bool = True) -> Union[pd.DataFrame, dd.DataFrame]:
    """Converts each file of paths (older logger files, or containers) to the
    container out_dir/<name>.kst, creating out_dir.

    Returns one row per input, in order: ``path``, ``output`` (None when it
    failed), ``code`` (0, or the library's error code) and ``error`` (the
    library's text). Every output is written by the library's save (a scratch
    file beside it, flushed to disk and renamed into place), so a failed,
    interrupted or crashed conversion never leaves a partial file
    and a conversion run twice writes the same file once. Two inputs that
    would share an output raise ValueError before anything is written.
    """
    files = _paths(paths)
    target = os.fsdecode(out_dir)
    outputs = output_paths(files, target)
    os.makedirs(target, exist_ok=True)
    rows = _bag(list(zip(files, outputs))).starmap(convert_file)
    return _frame(rows, _CONVERT_META, compute)


def check(paths: Iterable[PathLike], *, compute: bool = True) -> Union[pd.DataFrame, dd.DataFrame]:
    """The problems of the containers in paths, one row each: ``file``,
    ``block`` (path from the root, "" when the file does not open) and
    ``problem``. Checks that every reference (item 112) has a number and
    resolves, and runs the library's integrity check on files where nothing
    else was found. A blob that disagrees with its length value 1066 makes the
    file fail to open, reported as such. No rows means every file is sound.
    """
    rows = _bag(_paths(paths)).map(check_file).flatten()
    return _frame(rows, _CHECK_META, compute)


def find(paths: Iterable[PathLike], item_tid: int, key_tid: int = 0, key: Any = None, *,
         compute: bool = True) -> Union[pd.DataFrame, dd.DataFrame]:
    """The blocks of item item_tid whose value key_tid equals key, in every
    file of paths: one row per block with ``file``, ``block`` (its path from
    the root, "/2:0/107:3") and ``error`` "". With key_tid 0 every block of
    the item matches. A file that does not open gives one row with block ""
    and the library's text as error.
    """
    if key_tid != 0 and key is None:
        raise ValueError("a key_tid needs a key")
    rows = _bag(_paths(paths)).map(find_file, item_tid, key_tid, key).flatten()
    return _frame(rows, _FIND_META, compute)

