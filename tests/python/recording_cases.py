"""Recordings for the export tests: the bundled sample, the benchmark's
generated recordings at a small scale, and trees built from a short desc
(periods, widths, lengths, tables, events) for property tests."""

from __future__ import annotations

import importlib.util
from pathlib import Path

import numpy as np
import pandas as pd

import kestron4
from kestron4.recording import RATE_PERIODS_MS


def bench_recordings(source_dir: Path, folder: Path, files: int = 2, minutes: float = 0.05):
    """The benchmark's generated recordings (containers), at a small scale."""
    desc = importlib.util.spec_from_file_location("recording_bench", source_dir / "bench" / "recording_bench.py")
    bench = importlib.util.module_from_spec(desc)
    desc.loader.exec_module(bench)
    return [Path(kst) for kst, _ in bench.write_files(folder, files, minutes)]


def build(channels, events=(), seed=0):
    """A recording from (rate index, sample bytes, sample count, table points
    or None) per channel; events as (year, month, day, ms into it)."""
    rng = np.random.default_rng(seed)
    session = kestron4.new()
    logger = session.root.add(2)[0]
    logger[1018] = 1000
    for i, (rate, width, count, points) in enumerate(channels):
        samples, layout, ref = logger.add(135)[0], logger.add(133)[0], logger.add(107)[0]
        dtype = np.uint8 if width == 1 else np.dtype("<u2")
        samples.set_blob(rng.integers(0, 256 ** width, count).astype(dtype).view(np.uint8))
        samples[1002] = f"input {i}"
        layout[1010], layout[1050] = (1 if width == 1 else 0), rate
        ref[1002] = f"channel {i} every {RATE_PERIODS_MS[rate]} ms"
        if points is not None:
            table = logger.add(102)[0]
            table[1002], table[1005], table[1006] = f"table {i}", -1.0, 1.0
            for x, y in points:
                point = table.add(108)[0]
                point[1025], point[1031] = x, y
            ref.refer(65, table, 1002)
    for year, month, day, ms in events:
        event = logger.add(137)[0]
        for tid, value in zip(range(1067, 1074), (120, 30, 15, 14, day, month, year)):
            event[tid] = value
        event[1018], event[1074] = ms, 3
    return session


def seconds(index, start) -> np.ndarray:
    """A recording's time index as seconds since its start."""
    delta = index - start if start is not None else index
    return np.asarray(pd.TimedeltaIndex(delta).total_seconds(), dtype=np.float64)


def applied_points(points):
    """A table's points as applied: finite y, sorted by raw x, the first of equal x kept."""
    xs, ys = [], []
    for x, y in sorted(((float(x), float(y)) for x, y in points if np.isfinite(y)), key=lambda p: p[0]):
        if not xs or x != xs[-1]:
            xs.append(x)
            ys.append(y)
    return xs, ys
