"""Recordings of older logger data files as pandas DataFrames.

A logger data file opened with :func:`kestron4.open` is converted into a
session whose logger block (root item 2) holds, per recording module, the
raw samples (item 135: blob 1063, name 1002), the sample layout (item 133:
sensor byte 1010, rate index 1050) and the channel's reference entry (item
107: channel name 1002, reference 65 to its sensor (item 101) or table
(item 102)). :func:`recording` turns that into one DataFrame per sample
rate.

One frame per rate, not one frame on a shared time index: channels of
different rates share few sample times, and aligning them would pad with
missing values and turn raw integer samples into floats. Each frame keeps the
samples as stored (``uint8`` or little-endian ``uint16``) on a
``TimedeltaIndex`` named "time"; :meth:`Recording.combined` gives the shared
index on request (with pandas' nullable integer types). The scaling values
of each channel's sensor or table are in :attr:`Recording.channels`; they are
reported as stored, not applied.
"""

from __future__ import annotations

import io
import os
from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Tuple

import numpy as np
import pandas as pd

from . import _core
from ._block import Block
from ._session import Session
from .errors import Error

# Sample period in milliseconds per rate index.
RATE_PERIODS_MS = (1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 30000, 60000,
                   120000, 300000)

_LOGGER, _CHANNEL_REF, _SENSOR, _TABLE, _SAMPLES, _LAYOUT, _EVENTS = 2, 107, 101, 102, 135, 133, 137
_NAME, _SENSOR_BYTE, _RATE, _LENGTH, _TABLE_POINT = 1002, 1010, 1050, 1018, 108
_TO_SENSOR = 65
_SENSOR_VALUES = (1011, 1012, 1005, 1006)


@dataclass
class Channel:
    """What is known about one recorded channel."""

    column: str
    module: int
    source: str
    period_ms: int
    sample_bytes: int
    samples: int
    scaling: Optional[str] = None  # "sensor", "table" or None
    scaling_name: Optional[str] = None
    sensor_values: Optional[Tuple[float, ...]] = None  # values 1011, 1012, 1005, 1006
    table_range: Optional[Tuple[float, float]] = None  # values 1005, 1006
    table_points: List[Tuple[int, float]] = field(default_factory=list)  # (1025, 1031)


class Recording:
    """The recorded channels of a converted logger data file."""

    def __init__(self, frames: Dict[int, pd.DataFrame], channels: List[Channel], length_ms: int,
                 events: pd.DataFrame) -> None:
        #: One DataFrame per sample period in milliseconds.
        self.frames = frames
        #: One row per channel, indexed by column name.
        self.channels = pd.DataFrame([vars(c) for c in channels]).set_index("column") \
            if channels else pd.DataFrame()
        #: Recording length in milliseconds (value 1018).
        self.length_ms = length_ms
        #: The recorded events, one row each, columns by value TID.
        self.events = events

    @property
    def periods(self) -> List[int]:
        """The sample periods (ms) present, fastest first."""
        return sorted(self.frames)

    def combined(self) -> pd.DataFrame:
        """All channels on one shared time index; missing samples are <NA>."""
        if not self.frames:
            return pd.DataFrame()
        nullable = [frame.astype({c: _nullable(frame[c].dtype) for c in frame})
                    for frame in (self.frames[p] for p in self.periods)]
        return pd.concat(nullable, axis=1).sort_index()

    def plot(self, path: Optional[str] = None, *, dpi: int = 100) -> Any:
        """Draws every channel (raw samples over time in seconds), one panel per rate.

        Returns the matplotlib Figure; with path it is also written there
        (PNG by the file's extension).
        """
        import matplotlib.pyplot as plt

        periods = self.periods
        fig, axes = plt.subplots(max(len(periods), 1), 1, figsize=(9, 2.6 * max(len(periods), 1)),
                                 squeeze=False, constrained_layout=True)
        for ax, period in zip(axes[:, 0], periods):
            frame = self.frames[period]
            seconds = frame.index.total_seconds()
            for column in frame:
                ax.plot(seconds, frame[column].to_numpy(dtype=float), label=column,
                        drawstyle="steps-post")
            ax.set_title(f"every {period} ms")
            ax.set_ylabel("raw sample")
            ax.legend(loc="upper left", fontsize="small")
            ax.grid(True, alpha=0.3)
        axes[-1, 0].set_xlabel("time (s)")
        if isinstance(path, (str, bytes, os.PathLike)):
            # Written as the library writes its files: never torn by a crash.
            image = io.BytesIO()
            kind = os.path.splitext(os.fsdecode(path))[1][1:].lower() or None
            fig.savefig(image, format=kind, dpi=dpi)
            _core.write_file(os.fsencode(path), image.getvalue())
        elif path is not None:
            fig.savefig(path, dpi=dpi)
        return fig

    def __repr__(self) -> str:
        parts = ", ".join(f"{p} ms: {list(self.frames[p].columns)}" for p in self.periods)
        return f"<kestron4.Recording {self.length_ms} ms; {parts}>"


def recording(session: Session) -> Recording:
    """The recording of a session converted from a logger data file.

    Raises ValueError when the session holds no recording (not converted
    from a logger data file).
    """
    root = session.root
    if root.count(_LOGGER) == 0 or root.item(_LOGGER).count(_SAMPLES) == 0:
        raise ValueError("the session holds no logger recording")
    logger = root.item(_LOGGER)
    samples = logger.items(_SAMPLES)
    layouts = logger.items(_LAYOUT)
    refs = logger.items(_CHANNEL_REF)
    channels: List[Channel] = []
    series: Dict[int, List[pd.Series]] = {}
    used: Dict[str, int] = {}
    for module, block in enumerate(samples):
        layout = layouts[module] if module < len(layouts) else None
        rate = layout.get(_RATE) if layout is not None else None
        if not isinstance(rate, int) or rate >= len(RATE_PERIODS_MS):
            raise ValueError(f"module {module} has no valid rate index ({rate!r})")
        period = RATE_PERIODS_MS[rate]
        width = 1 if layout.get(_SENSOR_BYTE, 0) else 2
        raw = block.blob() if block.blob_size else np.zeros(0, dtype=np.uint8)
        values = raw[: len(raw) // width * width].view(np.uint8 if width == 1 else "<u2")
        source = str(block.get(_NAME, f"module {module}"))
        ref = refs[module] if module < len(refs) else None
        name = str(ref.get(_NAME, source)) if ref is not None else source
        column = name if name not in used else f"{name} ({module})"
        used[column] = module
        channel = Channel(column, module, source, period, width, len(values))
        if ref is not None:
            _describe_scaling(ref, channel)
        channels.append(channel)
        index = pd.to_timedelta(np.arange(len(values), dtype=np.int64) * period, unit="ms")
        series.setdefault(period, []).append(
            pd.Series(values, index=pd.TimedeltaIndex(index, name="time"), name=column))
    frames = {period: _frame(group) for period, group in sorted(series.items())}
    for period, frame in frames.items():
        frame.attrs["period_ms"] = period
        frame.attrs["channels"] = {c.column: vars(c) for c in channels if c.period_ms == period}
    events = pd.DataFrame([dict(e.values()) for e in logger.items(_EVENTS)])
    return Recording(frames, channels, int(logger.get(_LENGTH, 0)), events)


def _frame(group: List[pd.Series]) -> pd.DataFrame:
    if len({len(s) for s in group}) > 1:  # cut short at the file's end: pad with <NA>
        group = [s.astype(_nullable(s.dtype)) for s in group]
    return pd.concat(group, axis=1)


def _nullable(dtype: Any) -> Any:
    """The pandas integer type that can hold <NA> for a raw sample type."""
    return {"uint8": "UInt8", "uint16": "UInt16"}.get(str(dtype), dtype)


def _describe_scaling(ref: Block, channel: Channel) -> None:
    try:
        target = ref.reference(_TO_SENSOR)
    except Error:
        return
    channel.scaling_name = target.get(_NAME)
    if target.tid == _SENSOR:
        channel.scaling = "sensor"
        channel.sensor_values = tuple(float(target.get(t, float("nan"))) for t in _SENSOR_VALUES)
    elif target.tid == _TABLE:
        channel.scaling = "table"
        channel.table_range = (float(target.get(1005, float("nan"))), float(target.get(1006, float("nan"))))
        channel.table_points = [(int(p.get(1025, 0)), float(p.get(1031, float("nan"))))
                                for p in target.items(_TABLE_POINT)]
