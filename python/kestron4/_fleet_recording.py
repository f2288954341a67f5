"""The samples of one recording as one long table, for many files at once.

:func:`kestron4.recording` gives one wide DataFrame per rate; a fleet of
files with different channels and rates stacks better as rows of (file,
channel, time, elapsed, sample), which ``groupby("channel")`` splits again.
"""

from __future__ import annotations

from typing import List, Sequence

import numpy as np
import pandas as pd

from ._recording_read import read
from ._session import open as _open

_NS_PER_MS = 1_000_000


def empty_frame(files: Sequence[str] = ()) -> pd.DataFrame:
    """The columns and dtypes of every recording frame, with no rows; ``file``
    is a category over the paths of the whole read."""
    return pd.DataFrame({
        "file": pd.Categorical([], categories=list(dict.fromkeys(files))),
        "channel": pd.Series([], dtype=object),
        "time": pd.Series([], dtype="datetime64[ns]"),
        "elapsed": pd.Series([], dtype="timedelta64[ns]"),
        "sample": pd.Series([], dtype=np.uint16),
    })


def recording_frame(path: str, files: Sequence[str] = ()) -> pd.DataFrame:
    """Every sample of the recording in path, one row each: the file, the
    channel (the name :func:`kestron4.recording` gives it), the logger's clock
    (NaT when the file has none), the time since the start of the recording
    and the sample as stored, in a uint16 column.

    Channels in the order of the file's modules. A file without a recording
    (a setup file, a container of something else) gives no rows; the
    library's failures raise kestron4.Error naming the file.
    """
    files = list(files) or [path]
    with _open(path, "mmap") as session:
        root = session.root
        if root.count(2) == 0 or root.item(2).count(135) == 0:  # no logger block, no samples
            return empty_frame(files)
        contents = read(session)
    tracks = list(contents.tracks.values())
    counts = [t.stop - t.first for t in tracks]
    total = sum(counts)
    if total == 0:
        return empty_frame(files)
    elapsed = np.concatenate([np.arange(t.first, t.stop, dtype=np.int64) * (t.period_ms * _NS_PER_MS)
                              for t in tracks])
    if contents.start is None:
        clock = np.full(total, np.datetime64("NaT"), dtype="M8[ns]")
    else:
        clock = (elapsed + contents.start.value).view("M8[ns]")
    samples: List[np.ndarray] = [t.window() for t in tracks]
    codes = np.full(total, files.index(path) if path in files else 0, dtype=np.int32)
    return pd.DataFrame({
        "file": pd.Categorical.from_codes(codes, categories=pd.Index(list(dict.fromkeys(files)))),
        "channel": np.repeat(np.array([t.channel.column for t in tracks], dtype=object), counts),
        "time": clock,
        "elapsed": elapsed.view("m8[ns]"),
        "sample": np.concatenate(samples).astype(np.uint16, copy=False),
    })
