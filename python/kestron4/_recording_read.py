"""The recording of a session as the compiled recording layer reads it (one
model shared with kstrn view and the exports): per module what the file says
about its channel, and its samples as an array over the blob (no copy for
memory and mapped sessions)."""

from __future__ import annotations

from dataclasses import dataclass, field
from functools import partial
from typing import Any, Callable, Dict, List, Optional, Tuple

import numpy as np
import pandas as pd

from ._session import Session
from ._versions import require

require("pandas", pd.__version__)

# Sample period in milliseconds per rate index.
RATE_PERIODS_MS = (1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 30000, 60000,
                   120000, 300000)

_LOGGER, _SAMPLES, _EVENTS = 2, 135, 137

Scale = Callable[[np.ndarray], np.ndarray]


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
    # Raw samples to physical values (float64) through the channel's table;
    # None when no table applies.
    table: Optional[Scale] = None
    index: int = 0  # the channel's index in the compiled layer

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
    core: Any = None  # the compiled layer's Recording: aligned chunks, exports


def read(session: Session) -> Contents:
    """Everything a Recording needs from a session; ValueError without a recording."""
    core = session._s.recording()  # ValueError without a recording
    logger = session.root.item(_LOGGER)
    blocks = logger.items(_SAMPLES)
    tracks: Dict[str, Track] = {}
    for info in core.channels():
        module = info["module"]
        if info["period_ms"] == 0:
            raise ValueError(f"module {module} has no valid rate index ({info['rate_index']!r})")
        block = blocks[module]
        width = info["sample_bytes"]
        raw = block.blob() if block.blob_size else np.zeros(0, dtype=np.uint8)
        samples = raw[: info["samples"] * width].view(np.uint8 if width == 1 else "<u2")
        reals: List[Optional[float]] = [*(info["sensor_reals"] or ()), None, None, None, None]
        channel = Channel(info["column"], module, info["source"], info["period_ms"], width,
                          len(samples), info["scaling"], info["scaling_name"],
                          sensor_real_1=reals[0], sensor_real_2=reals[1], sensor_real_3=reals[2],
                          sensor_real_4=reals[3], table_range=info["table_range"],
                          table_points=info["table_points"])
        table = partial(core.scale, info["index"]) if info["physical"] else None
        tracks[channel.column] = Track(channel, samples, table=table, index=info["index"])
    events = pd.DataFrame([dict(e.items()) for e in logger.items(_EVENTS)])
    start_ns = core.start_ns()
    start = None if start_ns is None else pd.Timestamp(start_ns)
    return Contents(tracks, int(core.length_ms), events, start, core)
