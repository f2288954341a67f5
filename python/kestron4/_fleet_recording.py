"""The samples of one recording as one long table, for many files at once.

:func:`kestron4.recording` gives one wide DataFrame per rate; a fleet of
files with different channels and rates stacks better as rows of (file,
channel, time, sample), which ``groupby("channel")`` splits again.
"""

from __future__ import annotations

from typing import List

import numpy as np
import pandas as pd

from ._session import open as _open
from .recording import recording


def empty_frame() -> pd.DataFrame:
    """The columns and dtypes of every recording frame, with no rows."""
    return pd.DataFrame({
        "file": pd.Series([], dtype=object),
        "channel": pd.Series([], dtype=object),
        "time": pd.Series([], dtype="timedelta64[ns]"),
        "sample": pd.Series([], dtype=np.uint16),
    })


def recording_frame(path: str) -> pd.DataFrame:
    """Every sample of the recording in path, one row each: the file, the
    channel (the column name :func:`kestron4.recording` gives it), the time
    since the start of the recording and the raw sample as uint16.

    Channels in the order of the recording's rates, fastest first, then of
    their columns. A file without a recording (a setup file, a container of
    something else) gives no rows; the library's failures raise kestron4.Error.
    """
    channels: List[str] = []
    counts: List[int] = []
    times: List[np.ndarray] = []
    samples: List[np.ndarray] = []
    with _open(path, "mmap") as session:
        root = session.root
        if root.count(2) == 0 or root.item(2).count(135) == 0:  # no logger block, no samples
            return empty_frame()
        frames = recording(session).frames
        for period in sorted(frames):
            frame = frames[period]
            index = frame.index.to_numpy(dtype="timedelta64[ns]")
            for column in frame.columns:
                values = frame[column]
                present = values.notna().to_numpy()  # channels cut short are padded
                channels.append(column)
                counts.append(int(present.sum()))
                times.append(index[present])
                samples.append(values.to_numpy()[present].astype(np.uint16))
    if not samples:
        return empty_frame()
    total = sum(counts)
    return pd.DataFrame({
        "file": np.full(total, path, dtype=object),
        "channel": np.repeat(np.array(channels, dtype=object), counts),
        "time": np.concatenate(times),
        "sample": np.concatenate(samples),
    })
