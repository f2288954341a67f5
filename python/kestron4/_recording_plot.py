"""Drawing a recording: one panel per quantity, every channel reduced to the
minimum and maximum of each of at most ~2000 time buckets, so that millions
of samples draw fast and keep their spikes instead of becoming a solid band."""

from __future__ import annotations

import io
import os
from typing import Any, Dict, List, Optional, Tuple

import numpy as np

from . import _core
from ._recording_frames import values
from ._recording_read import Track

BUCKETS = 2000


def envelope(seconds: np.ndarray, data: np.ndarray, buckets: int = BUCKETS) -> Tuple[np.ndarray, np.ndarray]:
    """(x, y) tracing the minimum and maximum of each bucket of samples in turn;
    the samples themselves when there are few."""
    n = len(data)
    if n <= 2 * buckets:
        return seconds, data.astype(np.float64)
    size = -(-n // buckets)
    whole = n // size * size
    parts = data[:whole].reshape(-1, size)
    lows, highs = parts.min(axis=1), parts.max(axis=1)
    x = seconds[:whole:size]
    if whole < n:
        lows = np.append(lows, data[whole:].min())
        highs = np.append(highs, data[whole:].max())
        x = np.append(x, seconds[whole])
    return np.repeat(x, 2), np.column_stack((lows, highs)).ravel().astype(np.float64)


def panels(tracks: List[Track], physical: bool) -> Dict[str, List[Track]]:
    """Channels grouped by quantity: those scaled by the same table share a
    panel when physical values are drawn; every other channel has its own."""
    groups: Dict[str, List[Track]] = {}
    for track in tracks:
        channel = track.channel
        key = channel.column
        if physical and track.table is not None and channel.scaling_name:
            key = channel.scaling_name
        groups.setdefault(key, []).append(track)
    return groups


def draw(tracks: List[Track], physical: bool, title: str, start: Any, path: Optional[str],
         dpi: int) -> Any:
    import matplotlib.pyplot as plt

    groups = panels(tracks, physical)
    count = max(len(groups), 1)
    height = 1.0 + 1.5 * count
    fig, axes = plt.subplots(count, 1, figsize=(11, height), sharex=True, squeeze=False)
    # Fixed margins, the legends in the right one: measuring every label to
    # lay the panels out would cost more than drawing them.
    fig.subplots_adjust(left=0.07, right=0.76, top=1 - 0.45 / height, bottom=0.5 / height,
                        hspace=0.12)
    for ax, members in zip(axes[:, 0], groups.values()):
        for track in members:
            data = values(track, physical)
            seconds = np.arange(track.first, track.stop, dtype=np.float64) * (track.period_ms / 1000)
            x, y = envelope(seconds, data)
            scaled = physical and track.table is not None
            ax.plot(x, y, linewidth=0.8,
                    label=f"{track.channel.column} ({track.period_ms} ms{'' if scaled else ', raw'})")
        scaled = physical and all(t.table is not None for t in members)
        tables = {t.channel.scaling_name for t in members}
        ax.set_ylabel(tables.pop() if scaled and len(tables) == 1 else "raw sample")
        ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize="small", frameon=False)
        ax.grid(True, alpha=0.3)
    axes[-1, 0].set_xlabel("time (s)" if start is None else f"time (s) from {start}")
    fig.suptitle(title)
    if isinstance(path, (str, bytes, os.PathLike)):
        # Written as the library writes its files: never torn by a crash.
        image = io.BytesIO()
        kind = os.path.splitext(os.fsdecode(path))[1][1:].lower() or None
        fig.savefig(image, format=kind, dpi=dpi)
        _core.write_file(os.fsencode(path), image.getvalue())
    elif path is not None:
        fig.savefig(path, dpi=dpi)
    return fig
