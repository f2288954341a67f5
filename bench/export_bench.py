#!/usr/bin/python3
"""Recording exports in fresh processes, side by side in one run.

1. Parquet: ``Recording.to_parquet`` (per rate, physical and raw columns)
   against pandas' own ``DataFrame.to_parquet`` of the same DataFrames (each
   rate's frame with the physical column of the table channel beside its raw
   one), on the FILES recordings of bench/recording_bench.py. Both read the
   recordings from their containers inside the measured time.
2. Aligned export in bounded memory: ``kstrn export --to csv --raster 10`` of
   one recording of MINUTES and of one 10 times longer; peak RSS of each
   kstrn process (it opens the container streamed) and its growth.
3. The same aligned export to Parquet through Python (``to_parquet(raster=10)``);
   its peak RSS counts the pages of the mapped container it touched.

Each step runs RUNS times, each in its own process; medians of the time inside
the process (imports excluded) and of the peak RSS, then the warm time of a
second run in the same process.

    PYTHONPATH=build/python python3 bench/export_bench.py [--files 8]
        [--minutes 36] [--runs 3] [--kstrn build/tools/kstrn/kstrn] [--dir DIR]

Needs pyarrow (PyPI) besides the Debian stack; h5py for the generator.
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

sys.path.insert(0, str(Path(__file__).resolve().parent))


def frames_for_pandas(rec):
    """The DataFrames pandas writes: per rate, raw columns plus the physical
    column of each table channel (the same columns as to_parquet writes)."""
    out = {}
    for period in rec.periods:
        frame = rec.frames[period]
        physical = rec.physical.frames[period]
        columns = {}
        for name in frame.columns:
            if rec.channel(name).scaling == "table":
                columns[name] = physical[name]
                columns[name + " [raw]"] = frame[name]
            else:
                columns[name] = frame[name]
        out[period] = frame.__class__(columns, index=frame.index)
    return out


def work(kind: str, paths, out_dir: str):
    import kestron4

    if kind == "ours":
        return [kestron4.recording(p).to_parquet(os.path.join(out_dir, f"ours{i}.parquet"))
                for i, p in enumerate(paths)]
    if kind == "pandas":
        for i, p in enumerate(paths):
            for period, frame in frames_for_pandas(kestron4.recording(p)).items():
                frame.to_parquet(os.path.join(out_dir, f"pandas{i}_{period}ms.parquet"))
        return None
    if kind == "raster":
        return kestron4.recording(paths[0]).to_parquet(os.path.join(out_dir, "raster.parquet"),
                                                       raster=10)
    raise SystemExit(f"unknown step {kind}")


def step(kind: str, paths, out_dir: str):
    import kestron4  # noqa: F401
    import pandas  # noqa: F401
    import pyarrow.parquet  # noqa: F401

    began = time.perf_counter()
    work(kind, paths, out_dir)
    seconds = time.perf_counter() - began
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    began = time.perf_counter()
    work(kind, paths, out_dir)
    print(json.dumps({"seconds": seconds, "warm": time.perf_counter() - began, "peak_mib": peak}))


def fresh(kind, paths, out_dir, runs):
    results = []
    for _ in range(runs):
        done = subprocess.run([sys.executable, __file__, "--step", kind, json.dumps(paths), out_dir],
                              capture_output=True, text=True)
        if done.returncode != 0:
            raise SystemExit(f"step {kind} failed:\n{done.stderr}")
        results.append(json.loads(done.stdout.strip().splitlines()[-1]))
    return {k: statistics.median(r[k] for r in results) for k in ("seconds", "warm", "peak_mib")}


def kstrn_export(kstrn: str, path: str, out: str, runs: int):
    """Median wall time and peak RSS of fresh kstrn export processes, as
    GNU time reports them (a child forked from this Python would count the
    parent's pages it held before exec)."""
    times, peaks = [], []
    for _ in range(runs):
        began = time.perf_counter()
        done = subprocess.run(["/usr/bin/time", "-f", "%M", kstrn, "export", path, "--to", "csv",
                               "-o", out, "--raster", "10"], capture_output=True, text=True)
        times.append(time.perf_counter() - began)
        if done.returncode != 0:
            raise SystemExit(f"kstrn export failed on {path}: {done.stderr}")
        peaks.append(int(done.stderr.strip().splitlines()[-1]) / 1024)
    return statistics.median(times), statistics.median(peaks)


def main():
    from recording_bench import write_files

    parser = argparse.ArgumentParser()
    parser.add_argument("--files", type=int, default=8)
    parser.add_argument("--minutes", type=float, default=36)
    parser.add_argument("--align-minutes", type=float, default=6)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--kstrn", default="build/tools/kstrn/kstrn")
    parser.add_argument("--dir")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(dir=args.dir) as scratch:
        root = Path(scratch)
        (root / "fleet").mkdir()
        paths = [k for k, _ in write_files(root / "fleet", args.files, args.minutes)]
        out = root / "out"
        out.mkdir()
        mib = sum(os.path.getsize(p) for p in paths) / 2**20
        print(f"{args.files} files, {args.minutes:g} min, {mib:.0f} MiB of containers; "
              f"median of {args.runs} fresh processes; load average {os.getloadavg()[0]:.1f}")
        print("| step | fresh | peak RSS | warm |\n|---|---|---|---|")
        figures = {}
        for kind, label in (("ours", "Recording.to_parquet, per rate"),
                            ("pandas", "pandas DataFrame.to_parquet of the same frames")):
            r = fresh(kind, paths, str(out), args.runs)
            figures[kind] = r
            print(f"| {label} | {r['seconds'] * 1000:.0f} ms | {r['peak_mib']:.0f} MiB | "
                  f"{r['warm'] * 1000:.0f} ms |")
        print(f"\nto_parquet / pandas: {figures['ours']['seconds'] / figures['pandas']['seconds']:.2f}x "
              f"fresh, {figures['ours']['warm'] / figures['pandas']['warm']:.2f}x warm")
        short_dir, long_dir = root / "short", root / "long"
        short_dir.mkdir()
        long_dir.mkdir()
        [short] = [k for k, _ in write_files(short_dir, 1, args.align_minutes)]
        [long] = [k for k, _ in write_files(long_dir, 1, 10 * args.align_minutes)]
        print(f"\nAligned on a 10 ms raster, {args.align_minutes:g} min and {10 * args.align_minutes:g} min:")
        print("| step | short: time, peak RSS | 10x longer: time, peak RSS | RSS growth |\n|---|---|---|---|")
        a = kstrn_export(args.kstrn, short, str(out / "short.csv"), args.runs)
        b = kstrn_export(args.kstrn, long, str(out / "long.csv"), args.runs)
        print(f"| kstrn export --to csv --raster 10 | {a[0] * 1000:.0f} ms, {a[1]:.1f} MiB | "
              f"{b[0] * 1000:.0f} ms, {b[1]:.1f} MiB | {100 * (b[1] / a[1] - 1):+.1f}% |")
        c = fresh("raster", [short], str(out), args.runs)
        d = fresh("raster", [long], str(out), args.runs)
        print(f"| Recording.to_parquet(raster=10) | {c['seconds'] * 1000:.0f} ms, {c['peak_mib']:.0f} MiB | "
              f"{d['seconds'] * 1000:.0f} ms, {d['peak_mib']:.0f} MiB | "
              f"{100 * (d['peak_mib'] / c['peak_mib'] - 1):+.1f}% |")


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--step":
        step(sys.argv[2], json.loads(sys.argv[3]), sys.argv[4])
    else:
        main()
