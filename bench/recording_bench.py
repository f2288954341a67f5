#!/usr/bin/python3
"""kestron4.recording beside h5py on the same samples, in fresh processes.

Writes FILES recordings (8 channels every 1, 1, 2, 5, 10, 20, 50 and 100 ms,
MINUTES long, two-byte samples; one channel through a table, a clock event)
as containers, and the same samples as HDF5 with h5py (one dataset per
channel). Then every step runs RUNS times, each in its own process, and
the median of its time inside the process (imports excluded) is reported with
the median peak resident memory of those processes:

- load: every file as one DataFrame per rate (the same frames from both)
- channel: one channel of one file as a Series (the fastest channel)
- slice: one second of that channel, from minute 10
- combined / plot: kestron4 only, one file on one index / drawn to a PNG

Each process then does its step once more: the warm time. Peak memory is
that of the first time (file pages read through the mapping count too).

    PYTHONPATH=build/python /usr/bin/python3 bench/recording_bench.py [--files 8]
        [--minutes 36] [--runs 5] [--dir DIR] [--check]

--check also asserts every target (load at most h5py's time, channel within
1.5x, slice under 10 ms, combined and plot under 1 s). Needs Debian's
python3-h5py (tools/install-deps.sh).
"""

from __future__ import annotations

import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

PERIODS = (1, 1, 2, 5, 10, 20, 50, 100)
START = "2024-05-17 09:30:00"
SLICE_FROM_S = int(os.environ.get("BENCH_SLICE_FROM_S", "600"))  # set by main for short runs


def channel_names():
    """One per period; the third goes through a table (physical values)."""
    return ["Engine RPM", "Throttle", "Coolant Temp", "Wheel Speed", "Oil Pressure", "Lambda",
            "Gear", "Battery"]


def write_files(directory: Path, files: int, minutes: float):
    import h5py
    import numpy as np
    import pandas as pd

    import kestron4
    from kestron4.recording import RATE_PERIODS_MS

    start = pd.Timestamp(START)
    length = int(minutes * 60000)
    paths = []
    for f in range(files):
        rng = np.random.default_rng(f)
        kst, h5 = directory / f"run{f}.kst", directory / f"run{f}.h5"
        paths.append((str(kst), str(h5)))
        with kestron4.new() as session, h5py.File(h5, "w") as out:
            out.attrs["start_ns"] = start.value
            logger = session.root.add(2)[0]
            logger[1018] = length
            table = logger.add(102)[0]
            table[1002], table[1005], table[1006] = "Temp NTC", -20.0, 130.0
            for x, y in ((0, 130.0), (20000, 90.0), (40000, 50.0), (65535, 0.0)):
                point = table.add(108)[0]
                point[1025], point[1031] = x, y
            event = logger.add(137)[0]
            for tid, value in zip(range(1067, 1074), (0, start.second, start.minute, start.hour,
                                                      start.day, start.month, start.year)):
                event[tid] = value
            event[1018] = 0
            for i, (period, name) in enumerate(zip(PERIODS, channel_names())):
                count = length // period + 1
                walk = np.cumsum(rng.integers(-40, 41, count)) + 32768
                samples = np.clip(walk, 0, 65535).astype("<u2")
                block, layout, ref = logger.add(135)[0], logger.add(133)[0], logger.add(107)[0]
                block.set_blob(samples.view(np.uint8))
                block[1002] = f"Analogue {i + 1}"
                layout[1010], layout[1050] = 0, RATE_PERIODS_MS.index(period)
                ref[1002] = name
                if i == 2:
                    ref.refer(65, table, 1002)
                ds = out.create_dataset(name, data=samples)
                ds.attrs["period_ms"] = period
            session.save(kst)
    return paths


# -- the steps, each run in a fresh process -------------------------------------
def _h5_series(f, name, first=0, stop=None, start=None):
    import numpy as np
    import pandas as pd

    ds = f[name]
    period = int(ds.attrs["period_ms"])
    stop = ds.shape[0] if stop is None else min(stop, ds.shape[0])
    data = ds[first:stop]
    ns = np.arange(first, stop, dtype=np.int64) * (period * 1_000_000) + start
    return pd.Series(data, index=pd.DatetimeIndex(ns.view("M8[ns]"), name="time"), name=name), period


def work(kind: str, which: str, paths):
    """Does one step; returns what it made."""
    import pandas as pd

    name = channel_names()[0]
    if which == "h5py":
        import h5py
    else:
        import kestron4
    if kind == "load" and which == "kestron4":
        return [{p: r.frames[p] for p in r.periods} for r in (kestron4.recording(k) for k, _ in paths)]
    if kind == "load":
        result = []
        for _, h5 in paths:
            with h5py.File(h5, "r") as f:
                start = int(f.attrs["start_ns"])
                groups = {}
                for n in f:
                    series, period = _h5_series(f, n, start=start)
                    groups.setdefault(period, []).append(series)
                result.append({p: pd.concat(g, axis=1) for p, g in sorted(groups.items())})
        return result
    if kind == "channel" and which == "kestron4":
        return kestron4.recording(paths[0][0])[name]
    if kind == "channel":
        with h5py.File(paths[0][1], "r") as f:
            return _h5_series(f, name, start=int(f.attrs["start_ns"]))[0]
    if kind == "slice" and which == "kestron4":
        return kestron4.recording(paths[0][0]).slice(SLICE_FROM_S, SLICE_FROM_S + 1)[name]
    if kind == "slice":
        with h5py.File(paths[0][1], "r") as f:
            first = SLICE_FROM_S * 1000 // int(f[name].attrs["period_ms"])
            return _h5_series(f, name, first, first + 1000, start=int(f.attrs["start_ns"]))[0]
    if kind == "combined":
        return kestron4.recording(paths[0][0]).combined()
    if kind == "plot":
        import matplotlib.pyplot as plt
        with tempfile.TemporaryDirectory() as folder:  # drawn, encoded and written as PNG
            plt.close(kestron4.recording(paths[0][0]).plot(os.path.join(folder, "plot.png")))
        return None
    raise SystemExit(f"unknown step {kind} {which}")


def step(kind: str, which: str, paths):
    """Imports what the step needs (not measured), does it once in this fresh
    process, then once more warm; prints both times and the peak memory."""
    import numpy as np
    import pandas as pd

    import h5py  # noqa: F401
    import kestron4.recording  # noqa: F401  (not part of a plain import kestron4)
    if kind == "plot":
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot  # noqa: F401
    began = time.perf_counter()
    result = work(kind, which, paths)
    seconds = time.perf_counter() - began
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    if isinstance(result, pd.Series):
        assert len(result) > 0
        size = len(result)
    elif isinstance(result, list):
        size = sum(int(np.prod(frame.shape)) for frames in result for frame in frames.values())
    else:
        size = 0 if result is None else int(np.prod(result.shape))
    del result
    began = time.perf_counter()
    work(kind, which, paths)
    warm = time.perf_counter() - began
    print(json.dumps({"seconds": seconds, "warm": warm, "peak_mib": peak, "size": size}))


def fresh(kind, which, paths, runs):
    out = []
    for _ in range(runs):
        done = subprocess.run([sys.executable, __file__, "--step", kind, which, json.dumps(paths)],
                              capture_output=True, text=True, env=os.environ)
        if done.returncode != 0:
            raise SystemExit(f"step {kind} {which} failed:\n{done.stderr}")
        text = done.stdout
        out.append(json.loads(text.strip().splitlines()[-1]))
    return (statistics.median(r["seconds"] for r in out), statistics.median(r["peak_mib"] for r in out),
            out[0]["size"], statistics.median(r["warm"] for r in out))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--files", type=int, default=8)
    parser.add_argument("--minutes", type=float, default=36)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--dir")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--png", help="also write the plot of the first file here")
    args = parser.parse_args()
    os.environ["BENCH_SLICE_FROM_S"] = str(int(min(600, args.minutes * 30)))
    with tempfile.TemporaryDirectory(dir=args.dir) as scratch:
        paths = write_files(Path(scratch), args.files, args.minutes)
        if args.png:
            import kestron4
            kestron4.recording(paths[0][0]).plot(args.png)
        samples = sum(len(range(0, int(args.minutes * 60000) // p + 1)) for p in PERIODS) * args.files
        mib = sum(os.path.getsize(k) for k, _ in paths) / 2**20
        print(f"{args.files} files, {args.minutes:g} min, {samples / 1e6:.1f} M samples, "
              f"{mib:.0f} MiB of containers; median of {args.runs} fresh processes each; "
              f"load average {os.getloadavg()[0]:.1f}")
        print("| step | kestron4: fresh, peak RSS (warm) | h5py: fresh, peak RSS (warm) | kestron4 / h5py |\n"
              "|---|---|---|---|")
        figures = {}
        for kind in ("load", "channel", "slice", "combined", "plot"):
            ours = fresh(kind, "kestron4", paths, args.runs)
            theirs = fresh(kind, "h5py", paths, args.runs) if kind in ("load", "channel", "slice") else None
            if theirs is not None:
                assert ours[2] == theirs[2], (kind, ours[2], theirs[2])
            figures[kind] = (ours[0], theirs[0] if theirs else None)
            show = lambda r: f"{r[0] * 1000:.1f} ms, {r[1]:.0f} MiB (warm {r[3] * 1000:.1f} ms)"  # noqa: E731
            print(f"| {kind} | {show(ours)} | {show(theirs) if theirs else '-'} | "
                  f"{ours[0] / theirs[0]:.2f}x |" if theirs else f"| {kind} | {show(ours)} | - | - |")
        if args.check:
            assert figures["load"][0] <= figures["load"][1], figures["load"]
            assert figures["channel"][0] <= 1.5 * figures["channel"][1], figures["channel"]
            assert figures["slice"][0] < 0.010 and figures["combined"][0] < 1 and figures["plot"][0] < 1
            print("every target met")


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--step":
        step(sys.argv[2], sys.argv[3], [tuple(p) for p in json.loads(sys.argv[4])])
    else:
        main()
