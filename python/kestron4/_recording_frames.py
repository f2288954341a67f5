"""pandas objects over the tracks of a recording: one channel, one rate, all
channels on one index. Every function reads only the window of each track."""

from __future__ import annotations

import math
from functools import reduce
from typing import Dict, List, Optional, Union

import numpy as np
import pandas as pd

from ._recording_read import Track

_NS_PER_MS = 1_000_000
_NULLABLE = {np.dtype(np.uint8): pd.UInt8Dtype(), np.dtype("<u2"): pd.UInt16Dtype()}


def time_index(ms: np.ndarray, start: Optional[pd.Timestamp]) -> pd.Index:
    """Times in ms since the start as the index "time": timestamps from start
    when known, else timedeltas. Built from int64 nanoseconds by a view."""
    ns = ms.astype(np.int64) * _NS_PER_MS
    if start is not None:
        ns += start.value
    return _wrap(ns, start)


def track_ms(track: Track) -> np.ndarray:
    return np.arange(track.first, track.stop, dtype=np.int64) * track.period_ms


def _wrap(ns: np.ndarray, start: Optional[pd.Timestamp]) -> pd.Index:
    if start is None:
        return pd.TimedeltaIndex(ns.view("m8[ns]"), name="time", copy=False)
    return pd.DatetimeIndex(ns.view("M8[ns]"), name="time", copy=False)


def track_index(track: Track, start: Optional[pd.Timestamp]) -> pd.Index:
    """The times of the track's window, made in one pass."""
    step = track.period_ms * _NS_PER_MS
    base = 0 if start is None else start.value
    return _wrap(np.arange(base + track.first * step, base + track.stop * step, step, dtype=np.int64)
                 [: track.stop - track.first], start)


def values(track: Track, physical: bool) -> np.ndarray:
    """A copy of the window: raw as stored, or physical (float64) when asked and a table applies."""
    raw = track.window()
    if physical and track.table is not None:
        scaled: np.ndarray = track.table(raw)
        return scaled
    return np.array(raw)


def series(track: Track, physical: bool, start: Optional[pd.Timestamp]) -> pd.Series:
    return pd.Series(values(track, physical), index=track_index(track, start),
                     name=track.channel.column, copy=False)


def _scaled(track: Track, physical: bool) -> bool:
    return physical and track.table is not None


def frame(tracks: List[Track], physical: bool, start: Optional[pd.Timestamp]) -> pd.DataFrame:
    """Channels of one period side by side; one cut short is padded with <NA> (NaN)."""
    longest = max(tracks, key=lambda t: t.stop - t.first)
    rows = longest.stop - longest.first
    index = track_index(longest, start)
    names = [t.channel.column for t in tracks]
    cut = any(t.stop - t.first < rows for t in tracks)
    kinds = {np.dtype(np.float64) if _scaled(t, physical) else t.samples.dtype for t in tracks}
    if not cut and len(kinds) == 1:
        # One 2-D block filled row by row straight from the file: each sample
        # is copied once, and pandas keeps the block without another copy.
        block = np.empty((len(tracks), rows), dtype=kinds.pop())
        for row, track in zip(block, tracks):
            row[:] = track.table(track.window()) if physical and track.table is not None \
                else track.window()
        return pd.DataFrame(block.T, index=index, columns=names, copy=False)
    # One channel cut short makes every integer column nullable, so the
    # columns of a rate keep one kind.
    columns = {name: _padded(values(t, physical), rows) if cut else values(t, physical)
               for name, t in zip(names, tracks)}
    return pd.DataFrame(columns, index=index)


def _padded(data: np.ndarray, rows: int) -> Union[np.ndarray, pd.arrays.IntegerArray]:
    if data.dtype.kind == "f":
        out = np.full(rows, np.nan)
        out[:len(data)] = data
        return out
    full = np.zeros(rows, dtype=data.dtype)
    full[:len(data)] = data
    mask = np.ones(rows, dtype=bool)
    mask[:len(data)] = False
    return pd.arrays.IntegerArray(full, mask)


def combined(tracks: List[Track], physical: bool, start: Optional[pd.Timestamp]) -> pd.DataFrame:
    """Every channel on the union of their sample times; where a channel has no
    sample, <NA> (raw, pandas' nullable integers) or NaN (physical).

    The times lie on the grid of the periods' greatest common divisor: a mask
    over that grid marks the times some channel sampled, and its running count
    gives each sample its row. When the grid would be much longer than the
    samples (a slow channel far longer than a fast one), the sorted union of
    the times is used instead, so memory follows the samples."""
    if not tracks:
        return pd.DataFrame()
    grid = reduce(math.gcd, (t.period_ms for t in tracks))
    spans = [(t.first * t.period_ms // grid, (t.stop - 1) * t.period_ms // grid, t.period_ms // grid)
             for t in tracks if t.stop > t.first]
    if not spans:
        return pd.DataFrame({t.channel.column: values(t, physical) for t in tracks},
                            index=time_index(np.zeros(0, dtype=np.int64), start))
    low = min(s[0] for s in spans)
    high = max(s[1] for s in spans)
    total = sum(t.stop - t.first for t in tracks)
    if high - low + 1 <= 8 * total + 4096:
        used = np.zeros(high - low + 1, dtype=bool)
        for first, last, step in spans:
            used[first - low:last - low + 1:step] = True
        row_of = np.cumsum(used, dtype=np.int64) - 1

        def rows_of(track: Track) -> np.ndarray:
            step = track.period_ms // grid
            return row_of[track.first * step - low:(track.stop - 1) * step - low + 1:step]

        ns = np.flatnonzero(used).astype(np.int64, copy=False)
        ns += low
        ns *= grid * _NS_PER_MS
    else:
        times = np.unique(np.concatenate([track_ms(t) for t in tracks]))

        def rows_of(track: Track) -> np.ndarray:
            return np.searchsorted(times, track_ms(track))

        ns = times * _NS_PER_MS
    if start is not None:
        ns += start.value
    rows = len(ns)
    columns: Dict[str, object] = {}
    for track in tracks:
        data = values(track, physical)
        at = rows_of(track) if len(data) else np.zeros(0, dtype=np.int64)
        if data.dtype.kind == "f":
            out = np.full(rows, np.nan)
            out[at] = data
            columns[track.channel.column] = out
        else:
            full = np.zeros(rows, dtype=data.dtype)
            full[at] = data
            mask = np.ones(rows, dtype=bool)
            mask[at] = False
            columns[track.channel.column] = pd.arrays.IntegerArray(full, mask)
    return pd.DataFrame(columns, index=_wrap(ns, start), copy=False)
