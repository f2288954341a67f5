"""Reads the logger block of a converted data file: per module the sample
array (a view of the blob, no copy for memory and mapped sessions), what the
file says about its channel, the table that maps raw to physical values and
the wall clock of the recording's start."""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Tuple

import numpy as np
import pandas as pd

from ._block import Block
from ._session import Session
from ._versions import require
from .errors import Error

require("pandas", pd.__version__)

# Sample period in milliseconds per rate index.
RATE_PERIODS_MS = (1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 30000, 60000,
                   120000, 300000)

_LOGGER, _CHANNEL_REF, _SENSOR, _TABLE, _SAMPLES, _LAYOUT, _EVENTS = 2, 107, 101, 102, 135, 133, 137
_NAME, _SENSOR_BYTE, _RATE, _LENGTH, _TABLE_POINT = 1002, 1010, 1050, 1018, 108
_TO_SENSOR = 65
_SENSOR_REALS = (1011, 1012, 1005, 1006)
# Event clock: hundredths (x 10, so milliseconds), second, minute, hour, day, month, year.
_CLOCK = (1067, 1068, 1069, 1070, 1071, 1072, 1073)


@dataclass
class Channel:
    """What the file says about one recorded channel.

    ``sensor_real_1`` to ``sensor_real_4`` are the four reals of a sensor
    record (values 1011, 1012, 1005, 1006), as stored; the file does not say
    what they mean and none is applied (in the files seen they read like
    gain, offset, minimum and maximum: "Oil 10 bar" 0.01, 0, 0, 10).
    ``table_range`` is a table's minimum and maximum (1005, 1006) and
    ``table_points`` its (raw x 1025, physical y 1031) points: those are
    what ``physical=True`` applies.
    """

    column: str
    module: int
    source: str
    period_ms: int
    sample_bytes: int
    samples: int
    scaling: Optional[str] = None  # "sensor", "table" or None
    scaling_name: Optional[str] = None
    sensor_real_1: Optional[float] = None
    sensor_real_2: Optional[float] = None
    sensor_real_3: Optional[float] = None
    sensor_real_4: Optional[float] = None
    table_range: Optional[Tuple[float, float]] = None
    table_points: List[Tuple[int, float]] = field(default_factory=list)

    @property
    def sensor_values(self) -> Optional[Tuple[Optional[float], ...]]:
        """The four sensor reals as one tuple (None without a sensor)."""
        if self.scaling != "sensor":
            return None
        return (self.sensor_real_1, self.sensor_real_2, self.sensor_real_3, self.sensor_real_4)


@dataclass
class Track:
    """The samples of one channel: the whole stored array and the window of it in use."""

    channel: Channel
    samples: np.ndarray  # every stored sample, uint8 or little-endian uint16
    first: int = 0  # window: samples[first:stop]
    stop: int = -1
    table: Optional[Tuple[np.ndarray, np.ndarray]] = None  # increasing raw x, physical y

    def __post_init__(self) -> None:
        if self.stop < 0:
            self.stop = len(self.samples)

    @property
    def period_ms(self) -> int:
        return self.channel.period_ms

    def window(self) -> np.ndarray:
        return self.samples[self.first:self.stop]


@dataclass
class Contents:
    tracks: Dict[str, Track]
    length_ms: int
    events: pd.DataFrame
    start: Optional[pd.Timestamp]


def read(session: Session) -> Contents:
    """Everything a Recording needs from a session; ValueError without a recording."""
    root = session.root
    if root.count(_LOGGER) == 0 or root.item(_LOGGER).count(_SAMPLES) == 0:
        raise ValueError("holds no logger recording (no recorded samples, item 135 of item 2)")
    logger = root.item(_LOGGER)
    layouts = logger.items(_LAYOUT)
    refs = logger.items(_CHANNEL_REF)
    tracks: Dict[str, Track] = {}
    for module, block in enumerate(logger.items(_SAMPLES)):
        layout = layouts[module] if module < len(layouts) else None
        rate = layout.get(_RATE) if layout is not None else None
        if layout is None or not isinstance(rate, int) or rate >= len(RATE_PERIODS_MS):
            raise ValueError(f"module {module} has no valid rate index ({rate!r})")
        width = 1 if layout.get(_SENSOR_BYTE, 0) else 2
        raw = block.blob() if block.blob_size else np.zeros(0, dtype=np.uint8)
        samples = raw[: len(raw) // width * width].view(np.uint8 if width == 1 else "<u2")
        source = str(block.get(_NAME, f"module {module}"))
        ref = refs[module] if module < len(refs) else None
        name = str(ref.get(_NAME, source)) if ref is not None else source
        column = name if name not in tracks else f"{name} ({module})"
        channel = Channel(column, module, source, RATE_PERIODS_MS[rate], width, len(samples))
        track = Track(channel, samples)
        if ref is not None:
            track.table = _describe_scaling(ref, channel)
        tracks[column] = track
    rows = [dict(e.items()) for e in logger.items(_EVENTS)]
    return Contents(tracks, int(logger.get(_LENGTH, 0)), pd.DataFrame(rows), _start(rows))


def _describe_scaling(ref: Block, channel: Channel) -> Optional[Tuple[np.ndarray, np.ndarray]]:
    try:
        target = ref.reference(_TO_SENSOR)
    except Error:
        return None
    channel.scaling_name = target.get(_NAME)
    nan = float("nan")
    if target.tid == _SENSOR:
        channel.scaling = "sensor"
        (channel.sensor_real_1, channel.sensor_real_2, channel.sensor_real_3,
         channel.sensor_real_4) = (float(target.get(t, nan)) for t in _SENSOR_REALS)
    elif target.tid == _TABLE:
        channel.scaling = "table"
        channel.table_range = (float(target.get(1005, nan)), float(target.get(1006, nan)))
        channel.table_points = [(int(p.get(1025, 0)), float(p.get(1031, nan)))
                                for p in target.items(_TABLE_POINT)]
        return table_function(channel.table_points)
    return None


def table_function(points: List[Tuple[int, float]]) -> Optional[Tuple[np.ndarray, np.ndarray]]:
    """The points as increasing x and their y, for np.interp: sorted by x, the
    first of equal x kept, points without a y dropped; None without points."""
    usable = sorted((x, y) for x, y in points if np.isfinite(y))
    xs: List[int] = []
    ys: List[float] = []
    for x, y in usable:
        if not xs or x != xs[-1]:
            xs.append(x)
            ys.append(y)
    if not xs:
        return None
    return np.array(xs, dtype=np.float64), np.array(ys, dtype=np.float64)


def _start(events: List[Dict[int, Any]]) -> Optional[pd.Timestamp]:
    """The wall clock at time 0: the first event whose clock is a real date,
    minus its time into the recording (1018). Read from the events' values,
    not their frame: walking a frame's rows costs more than the rest of
    opening a recording."""
    for values in events:
        try:  # an event may lack some of its values
            ms, second, minute, hour, day, month, year = (int(values[t]) for t in _CLOCK)
            clock = pd.Timestamp(year=year, month=month, day=day, hour=hour, minute=minute,
                                 second=second) + pd.Timedelta(milliseconds=ms)
            return clock - pd.Timedelta(milliseconds=int(values[_LENGTH]))
        except (KeyError, ValueError, OverflowError, TypeError):
            continue
    return None
