"""Recordings of older logger data files as pandas objects.

``kestron4.recording(source)`` takes a path (opened mapped, then closed
again) or an open session and gives a :class:`Recording`::

    rec = kestron4.recording("run.dat")       # or .kst, or a Session
    rpm = rec["Engine RPM"]                   # one channel as a Series
    rec.slice("10s", "11s")["Engine RPM"]     # one second of it
    rec.frames[20]                            # channels sampled every 20 ms
    rec.physical.combined().resample("1s").mean()
    rec.plot("run.png")
    rec.to_parquet("run.parquet", raster="10ms")   # or to_csv, to_mdf, to_mat

Design notes:

- Lazy: making a Recording reads the tree (names, rates, tables, events),
  not the samples. A channel, a rate's frame or a slice reads only its own
  samples (the file is mapped; nothing else is touched). Every result is a
  copy, writable, independent of the file. The file stays mapped while the
  Recording lives (a program that truncates it meanwhile makes reading the
  lost pages fault). Streamed sessions copy each blob when the Recording is
  made.
- One frame per rate, not one frame on a shared index: channels of
  different rates share few sample times, and aligning them pads with
  missing values. :meth:`Recording.combined` gives the shared index on
  request (the union of all sample times; raw samples as pandas' nullable
  ``UInt8``/``UInt16``, physical ones as float64 with NaN).
- Raw by default: samples as stored (``uint8`` or little-endian ``uint16``).
  ``physical=True`` (or :attr:`Recording.physical`) maps the channels that
  refer to a table (item 102) through its points (items 108: raw x 1025,
  physical y 1031, which the conversion already multiplied by the table's
  scale) by linear interpolation, as float64: points sorted by x, the first
  of equal x kept; samples below the first or above the last point take
  that point's y (no extrapolation). Nothing else is applied: a table's
  minimum and maximum (1005, 1006) are in ``channels.table_range``; a
  channel with a sensor (item 101) stays raw, its four reals (1011, 1012,
  1005, 1006) are in ``channels.sensor_real_1`` to ``sensor_real_4`` as
  stored, since the file does not say what they mean; the file holds no
  units.
- Time: the index is named "time". Where the recording has an event whose
  clock is a date (items 137: values 1073 year, 1072 month, 1071 day, 1070
  hour, 1069 minute, 1068 second, 1067 milliseconds), the first such event
  minus its time into the recording (1018) is the start, and the index is
  a ``DatetimeIndex`` of the logger's clock (no time zone; the file has
  none); :attr:`Recording.start` holds it. Otherwise the index is a
  ``TimedeltaIndex`` since the start of the recording and ``start`` is
  None. Sample i of a channel lies at i times its period.
- One model: what the file means (channels, rates, widths, the table
  scaling, the start) is read by the compiled recording layer that kstrn
  view and the exports use too (docs/RECORDING.md); this module adds the
  pandas objects. Exports stream: per rate from the sample arrays, on a
  raster from the layer's aligner, a chunk of rows at a time.
- Slices are half-open, ``[t0, t1)``, so consecutive slices do not
  overlap; times are seconds (int, float), timedeltas or their text
  ("90s"), or timestamps when the recording has a start.
"""

from __future__ import annotations

import os
import sys
import types
from typing import Any, Dict, Iterator, List, Mapping, Optional, Sequence, Tuple, Union

import numpy as np
import pandas as pd

from . import _core
from . import _recording_frames as frames_of
from ._recording_read import RATE_PERIODS_MS, Channel, Contents, Track, read
from ._session import Session, open as _open

__all__ = ["RATE_PERIODS_MS", "Channel", "Recording", "export_formats", "recording"]


def export_formats() -> List[str]:
    """The formats :meth:`Recording.export` writes in C++ (Parquet is written
    by :meth:`Recording.to_parquet`)."""
    return list(_core.export_formats())

TimeLike = Union[int, float, str, pd.Timedelta, pd.Timestamp, Any]


class Recording(Mapping[str, pd.Series]):
    """The recorded channels of a converted logger data file; a mapping of
    channel name to its samples as a Series. See :mod:`kestron4.recording`
    for what is read when, what ``physical`` applies and the time index."""

    def __init__(self, contents: Contents, *, physical: bool = False, name: str = "") -> None:
        self._contents = contents
        self._physical = physical
        #: The file name (or "" for a session not opened from a path).
        self.name = name
        #: Recording length in milliseconds (value 1018).
        self.length_ms = contents.length_ms
        #: The recorded events, one row each, columns by value TID.
        self.events = contents.events
        #: The logger's clock at time 0, or None when the file has none.
        self.start: Optional[pd.Timestamp] = contents.start
        self._frames = _Frames(self)
        # The window of slice() in ms since the start (None: open), for exports.
        self._window: Tuple[Optional[float], Optional[float]] = (None, None)
        # The path it was read from (None for a session given by the caller):
        # exports on a raster read it streamed, in bounded memory.
        self._source: Optional[Union[str, bytes]] = None

    # -- the channels --------------------------------------------------------
    @property
    def channels(self) -> pd.DataFrame:
        """One row per channel, indexed by its name: what the file says about it
        (module, source channel, period, sample width, scaling). Reads no samples."""
        rows = [dict(vars(t.channel), sensor_values=t.channel.sensor_values)
                for t in self._contents.tracks.values()]
        return pd.DataFrame(rows).set_index("column") if rows else pd.DataFrame()

    def channel(self, name: str) -> Channel:
        return self._track(name).channel

    def __getitem__(self, name: str) -> pd.Series:
        """The channel as a Series over this recording's time window."""
        return frames_of.series(self._track(name), self._physical, self.start)

    def __iter__(self) -> Iterator[str]:
        return iter(self._contents.tracks)

    def __len__(self) -> int:
        return len(self._contents.tracks)

    def _track(self, name: str) -> Track:
        try:
            return self._contents.tracks[name]
        except (KeyError, TypeError):
            raise KeyError(f"no channel {name!r}; channels: {list(self._contents.tracks)}") from None

    # -- views -------------------------------------------------------------
    @property
    def is_physical(self) -> bool:
        return self._physical

    @property
    def physical(self) -> "Recording":
        """The same recording giving physical values where a table applies."""
        return self._view(self._contents, True)

    @property
    def raw(self) -> "Recording":
        """The same recording giving the samples as stored."""
        return self._view(self._contents, False)

    def _view(self, contents: Contents, physical: bool,
              window: Optional[Tuple[Optional[float], Optional[float]]] = None) -> "Recording":
        view = Recording(contents, physical=physical, name=self.name)
        view._window = self._window if window is None else window
        view._source = self._source
        return view

    def _core(self) -> Any:
        if self._contents.core is None:
            raise ValueError("this recording has no compiled layer behind it")
        return self._contents.core

    def slice(self, t0: Optional[TimeLike] = None, t1: Optional[TimeLike] = None) -> "Recording":
        """The samples at times t0 <= t < t1 (None: from the start, to the end)."""
        low = -np.inf if t0 is None else self._ms(t0)
        high = np.inf if t1 is None else self._ms(t1)
        tracks = {}
        for name, track in self._contents.tracks.items():
            period = track.period_ms
            first = track.first if low == -np.inf else max(track.first, int(np.ceil(low / period)))
            stop = track.stop if high == np.inf else min(track.stop, int(np.ceil(high / period)))
            tracks[name] = Track(track.channel, track.samples, first, max(first, stop), track.table,
                                 track.index)
        part = Contents(tracks, self.length_ms, self.events, self.start, self._contents.core)
        old_low, old_high = self._window
        window = (old_low if t0 is None else max(low, old_low if old_low is not None else -np.inf),
                  old_high if t1 is None else min(high, old_high if old_high is not None else np.inf))
        return self._view(part, self._physical, window)

    def _ms(self, t: TimeLike) -> float:
        if isinstance(t, (int, float, np.integer, np.floating)) and not isinstance(t, bool):
            return float(t) * 1000
        moment: Any = t
        if isinstance(t, str):
            try:
                return float(pd.Timedelta(t).value) / 1e6
            except ValueError:
                moment = pd.Timestamp(t)
        if isinstance(moment, (pd.Timestamp, np.datetime64)) or hasattr(moment, "tzinfo"):
            if self.start is None:
                raise ValueError(f"{self.name or 'the recording'} has no clock; give times since its start")
            return float((pd.Timestamp(moment) - self.start).value) / 1e6
        return float(pd.Timedelta(moment).value) / 1e6

    # -- frames --------------------------------------------------------------
    @property
    def periods(self) -> List[int]:
        """The sample periods (ms) present, fastest first."""
        return sorted({t.period_ms for t in self._contents.tracks.values()})

    @property
    def frames(self) -> Mapping[int, pd.DataFrame]:
        """One DataFrame per sample period in ms, each made when first asked for."""
        return self._frames

    def frame(self, period_ms: int) -> pd.DataFrame:
        """The channels sampled every period_ms, side by side (a channel cut short
        at the file's end is padded with <NA>)."""
        tracks = [t for t in self._contents.tracks.values() if t.period_ms == period_ms]
        if not tracks:
            raise KeyError(f"no channel every {period_ms} ms; periods: {self.periods}")
        result = frames_of.frame(tracks, self._physical, self.start)
        result.attrs["period_ms"] = period_ms
        return result

    def combined(self) -> pd.DataFrame:
        """All channels on one time index, the union of their sample times;
        missing samples are <NA> (raw) or NaN (physical)."""
        return frames_of.combined(list(self._contents.tracks.values()), self._physical, self.start)

    # -- exports --------------------------------------------------------------
    def to_csv(self, path: Union[str, "os.PathLike[str]"], *, channels: Optional[Sequence[str]] = None,
               start: Optional[TimeLike] = None, end: Optional[TimeLike] = None,
               raster: Any = None, physical: Optional[bool] = None, fill: str = "auto") -> List[str]:
        """Writes CSV (RFC 4180; docs/RECORDING.md): one file on a raster
        (``raster`` in ms, or a timedelta), else one per rate named path with
        ``_<period>ms`` before its extension. ``channels`` by name (default
        all), the window [start, end) (default this recording's slice),
        physical values where a table applies (default: as this view gives
        them). ``fill`` on a raster: "auto" (linear for physical values,
        else hold), "hold" or "linear". Returns the files written; raises
        ValueError for a bad request and OSError for an unwritable output,
        leaving nothing behind."""
        from . import _recording_export as ex
        return ex.export(self, "csv", path, ex.options(self, channels, start, end, raster, physical, fill))

    def to_parquet(self, path: Union[str, "os.PathLike[str]"], *,
                   channels: Optional[Sequence[str]] = None, start: Optional[TimeLike] = None,
                   end: Optional[TimeLike] = None, raster: Any = None, physical: bool = True,
                   fill: str = "auto", row_group_rows: Optional[int] = None) -> List[str]:
        """Writes Parquet with pyarrow, a row group at a time: one file on a
        raster, else one per rate as :meth:`to_csv` names them. Columns:
        ``elapsed`` (duration), ``time`` (timestamp of the logger's clock, when
        known), per channel its physical values (float64, where a table
        applies and ``physical``) and its raw samples (uint8/uint16; named
        "<channel> [raw]" beside a physical column); what the file says
        about each channel is in the fields' metadata (docs/RECORDING.md).
        Rows per row group: ``row_group_rows`` (default 1 Mi per rate, 64 Ki
        on a raster). Raises ImportError without pyarrow."""
        from . import _recording_export as ex
        opts = ex.options(self, channels, start, end, raster, physical, fill)
        return ex.to_parquet(self, path, opts, row_group_rows)

    def to_mdf(self, path: Union[str, "os.PathLike[str]"], *, channels: Optional[Sequence[str]] = None,
               start: Optional[TimeLike] = None, end: Optional[TimeLike] = None, raw: bool = False,
               compress: bool = False, transpose: bool = True, float_time: bool = False) -> List[str]:
        """Writes ASAM MDF 4.1 (docs/RECORDING.md): one data group per sample
        period with its time channel, the samples as stored, each table as
        MDF's tabular conversion with interpolation (readers compute the
        same physical values as ``physical=True``; ``raw`` leaves the tables
        out), the clock as the start time, events as MDF events, the rest in
        XML comments. ``channels`` and the window as :meth:`to_csv`;
        ``compress`` deflates the data blocks (``transpose`` puts each byte
        column of the records together first); ``float_time`` stores times
        as float64 seconds instead of integer ticks of the period."""
        settings = {"compression": "deflate" if compress else "none",
                    "transpose": "yes" if transpose else "no", "time": "float" if float_time else "ticks"}
        return self.export("mdf", path, channels=channels, start=start, end=end, physical=not raw,
                           settings=settings)

    def to_mat(self, path: Union[str, "os.PathLike[str]"], *, channels: Optional[Sequence[str]] = None,
               start: Optional[TimeLike] = None, end: Optional[TimeLike] = None,
               raw: bool = False) -> List[str]:
        """Writes a MAT-file, level 5, for MATLAB, Octave and scipy.io
        (docs/RECORDING.md): one struct per channel with its time vector,
        raw samples and, where a table applies (unless ``raw``), physical
        values. A channel over 2 GiB is refused (ValueError)."""
        return self.export("mat", path, channels=channels, start=start, end=end, physical=not raw)

    def export(self, format: str, path: Union[str, "os.PathLike[str]"], *,
               channels: Optional[Sequence[str]] = None, start: Optional[TimeLike] = None,
               end: Optional[TimeLike] = None, raster: Any = None, physical: Optional[bool] = None,
               fill: str = "auto", settings: Optional[Dict[str, str]] = None) -> List[str]:
        """Writes any format of the compiled layer's table
        (``kestron4.recording.export_formats()``); options as :meth:`to_csv`,
        ``settings`` the format's own."""
        from . import _recording_export as ex
        if format not in _core.export_formats():
            raise ValueError(f"no export format {format!r}; formats: {_core.export_formats()}")
        opts = ex.options(self, channels, start, end, raster, physical, fill, settings)
        return ex.export(self, format, path, opts)

    def plot(self, path: Optional[Union[str, "os.PathLike[str]"]] = None, *, dpi: int = 100,
             title: Optional[str] = None) -> Any:
        """Draws every channel over time in seconds: physical values where a
        table applies (raw otherwise, marked so in the legend), one panel per
        quantity (channels of one table share one), each channel as the
        minimum and maximum of at most 2000 time buckets; the file name as the
        title (or title), the legends beside the panels.

        Returns the matplotlib Figure; with path it is also written there
        (PNG by the file's extension)."""
        from ._recording_plot import draw

        title = title or self.name or "recording"
        return draw(list(self._contents.tracks.values()), True, title, self.start,
                    None if path is None else os.fspath(path), dpi)

    def __repr__(self) -> str:
        kind = "physical" if self._physical else "raw"
        parts = "; ".join(
            f"{p} ms: {[n for n, t in self._contents.tracks.items() if t.period_ms == p]}"
            for p in self.periods)
        name = f" {self.name}" if self.name else ""
        return f"<kestron4.Recording{name} {self.length_ms} ms {kind}; {parts}>"


class _Frames(Mapping[int, pd.DataFrame]):
    """period -> DataFrame, each made once when first asked for."""

    def __init__(self, owner: Recording) -> None:
        self._owner = owner
        self._made: Dict[int, pd.DataFrame] = {}

    def __getitem__(self, period: int) -> pd.DataFrame:
        if period not in self._made:
            self._made[period] = self._owner.frame(period)
        return self._made[period]

    def __iter__(self) -> Iterator[int]:
        return iter(self._owner.periods)

    def __len__(self) -> int:
        return len(self._owner.periods)


def recording(source: Union[Session, str, "os.PathLike[str]"], *, physical: bool = False) -> Recording:
    """The recording of a converted logger data file: a path (a container or
    the older file itself) or an open session.

    Raises ValueError when it holds no recording; a path that does not open
    raises the kestron4.Error of :func:`kestron4.open`, naming the file.
    """
    if isinstance(source, Session):
        return Recording(read(source), physical=physical)
    path = os.fspath(source)
    name = os.path.basename(os.fsdecode(path))
    with _open(path, "mmap") as session:
        try:
            contents = read(session)
        except ValueError as error:
            raise ValueError(f"{os.fsdecode(path)}: {error}") from None
    result = Recording(contents, physical=physical, name=name)
    result._source = path
    return result


class _CallableModule(types.ModuleType):
    """``kestron4.recording`` is this module and calls :func:`recording`, so that
    ``import kestron4.recording`` and ``kestron4.recording(path)`` both work."""

    def __call__(self, source: Any, *, physical: bool = False) -> Recording:
        return recording(source, physical=physical)


sys.modules[__name__].__class__ = _CallableModule
