"""The samples of one converted logger recording as one long table.

A recording's logger block (item 2) holds one block of item 135 per module,
with the module's samples as its blob and its channel name (1002), and a
matching block of item 133 with the sample width (1010: 0 means two bytes,
anything else one byte) and the rate index (1050). Two-byte samples are
little-endian, as the loggers write them.
"""

from __future__ import annotations

from typing import List

import numpy as np
import pandas as pd

from ._session import open as _open

# Sample period in milliseconds by rate index.
RATE_PERIODS_MS = (1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 30000, 60000,
                   120000, 300000)

COLUMNS = ("file", "channel", "time", "sample")


def empty_frame() -> pd.DataFrame:
    """The columns and dtypes of every recording frame, with no rows."""
    return pd.DataFrame({
        "file": pd.Series([], dtype=object),
        "channel": pd.Series([], dtype=object),
        "time": pd.Series([], dtype="timedelta64[ns]"),
        "sample": pd.Series([], dtype=np.uint16),
    })


def _module_samples(samples_block, info_block, index: int) -> np.ndarray:
    rate = info_block.get(1050)
    if not isinstance(rate, int) or rate >= len(RATE_PERIODS_MS):
        raise ValueError(f"module {index} has no valid rate index (1050): {rate!r}")
    if samples_block.blob_size is None:
        return np.zeros(0, dtype=np.uint16)
    raw = samples_block.blob()
    if info_block.get(1010, 0) == 0:
        raw = raw[: raw.size - raw.size % 2].view("<u2")
    return raw.astype(np.uint16)


def recording_frame(path: str) -> pd.DataFrame:
    """Every sample of the recording in path, one row each: the file, the
    channel name, the time since the start of the recording (sample number
    times the module's period) and the raw sample (1 or 2 bytes wide).

    A file without a recording gives no rows; a module whose rate index is
    unknown raises ValueError; the library's failures raise kestron4.Error.
    """
    channels: List[str] = []
    counts: List[int] = []
    times: List[np.ndarray] = []
    samples: List[np.ndarray] = []
    with _open(path, "mmap") as session:
        for logger in session.root.items(2):
            infos = logger.items(133)
            for i, block in enumerate(logger.items(135)):
                if i >= len(infos):
                    raise ValueError(f"module {i} has samples (135) but no description (133)")
                values = _module_samples(block, infos[i], i)
                period_ns = RATE_PERIODS_MS[infos[i][1050]] * 1_000_000
                channels.append(str(block.get(1002, "")))
                counts.append(values.size)
                times.append(np.arange(values.size, dtype=np.int64) * period_ns)
                samples.append(values)
    if not samples:
        return empty_frame()
    total = sum(counts)
    return pd.DataFrame({
        "file": np.full(total, path, dtype=object),
        "channel": np.repeat(np.array(channels, dtype=object), counts),
        "time": np.concatenate(times).view("timedelta64[ns]"),
        "sample": np.concatenate(samples),
    })
