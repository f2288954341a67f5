#!/usr/bin/python3
"""MDF 4 (and MAT) export of kestron4 beside one plain write of the same
bytes and beside asammdf writing the same samples, in fresh processes.

Uses the recordings of recording_bench.py (8 channels every 1 to 100 ms,
FILES files of MINUTES). Every step runs RUNS times, each in its own
process; the median of its time inside the process (imports and, for
asammdf, making the DataFrames excluded) is reported with the median peak
resident memory, then the step once more in the same process (warm):

- mdf: kestron4.recording(path).to_mdf(out) for every file
- mdf deflate: the same with compress=True
- write: the bytes of those MDF files, already in memory, written with one
  write each through the same atomic file writer (scratch file, fsync,
  rename) -- the floor for writing that much
- asammdf: MDF(version="4.10"), append() of each rate's DataFrame (raw
  samples, time in seconds), save()
- mat: to_mat(out) for every file

    PYTHONPATH=build/python python bench/recording_export_bench.py [--files 8]
        [--minutes 36] [--runs 3] [--dir DIR] [--check]

asammdf comes from PyPI (a venv; see docs/RECORDING.md). --check asserts the
targets: mdf at least half the speed of the plain write, at least 10x
asammdf's speed.
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


def _outputs(folder: str, paths, suffix: str):
    return [os.path.join(folder, f"{Path(k).stem}{suffix}") for k in paths]


def prepare(kind: str, paths, folder: str):
    """What a step is handed, made before its clock starts."""
    if kind == "write":
        return [Path(p).read_bytes() for p in _outputs(folder, paths, ".mf4")]
    if kind == "asammdf":
        import kestron4

        frames = []
        for path in paths:
            rec = kestron4.recording(path)
            per_file = []
            for period in rec.periods:
                frame = rec.raw.frames[period].copy()
                frame.index = (frame.index - rec.start).total_seconds()
                per_file.append(frame)
            frames.append(per_file)
        return frames
    return None


def work(kind: str, paths, folder: str, prepared):
    import kestron4

    if kind in ("mdf", "mdf deflate"):
        for path, out in zip(paths, _outputs(folder, paths, ".mf4" if kind == "mdf" else ".z.mf4")):
            kestron4.recording(path).to_mdf(out, compress=kind != "mdf")
        return
    if kind == "mat":
        for path, out in zip(paths, _outputs(folder, paths, ".mat")):
            kestron4.recording(path).to_mat(out)
        return
    if kind == "write":
        from kestron4 import _core

        for data, out in zip(prepared, _outputs(folder, paths, ".copy")):
            _core.write_file(out, data)
        return
    if kind == "asammdf":
        from asammdf import MDF

        for frames, out in zip(prepared, _outputs(folder, paths, ".asammdf.mf4")):
            mdf = MDF(version="4.10")
            for frame in frames:
                mdf.append(frame)
            mdf.save(out, overwrite=True)
            mdf.close()
        return
    raise SystemExit(f"unknown step {kind}")


def step(kind: str, paths, folder: str):
    import kestron4  # noqa: F401
    if kind == "asammdf":
        import asammdf  # noqa: F401
    prepared = prepare(kind, paths, folder)
    began = time.perf_counter()
    work(kind, paths, folder, prepared)
    seconds = time.perf_counter() - began
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    began = time.perf_counter()
    work(kind, paths, folder, prepared)
    warm = time.perf_counter() - began
    print(json.dumps({"seconds": seconds, "warm": warm, "peak_mib": peak}))


def fresh(kind, paths, folder, runs):
    out = []
    for _ in range(runs):
        done = subprocess.run([sys.executable, __file__, "--step", kind, json.dumps(paths), folder],
                              capture_output=True, text=True, env=os.environ)
        if done.returncode != 0:
            raise SystemExit(f"step {kind} failed:\n{done.stderr}")
        out.append(json.loads(done.stdout.strip().splitlines()[-1]))
    return {k: statistics.median(r[k] for r in out) for k in ("seconds", "warm", "peak_mib")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--files", type=int, default=8)
    parser.add_argument("--minutes", type=float, default=36)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--dir")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    from recording_bench import PERIODS, write_files

    with tempfile.TemporaryDirectory(dir=args.dir) as scratch:
        inputs = Path(scratch) / "in"
        inputs.mkdir()
        paths = [k for k, _ in write_files(inputs, args.files, args.minutes)]
        samples = sum(int(args.minutes * 60000) // p + 1 for p in PERIODS) * args.files
        print(f"{args.files} files, {args.minutes:g} min, {samples / 1e6:.1f} M samples; median of "
              f"{args.runs} fresh processes each; load average {os.getloadavg()[0]:.1f}")
        figures = {}
        rows = []
        for kind in ("mdf", "write", "asammdf", "mdf deflate", "mat"):
            r = fresh(kind, paths, scratch, args.runs)
            figures[kind] = r
            suffix = {"mdf": ".mf4", "write": ".copy", "asammdf": ".asammdf.mf4", "mdf deflate": ".z.mf4",
                      "mat": ".mat"}[kind]
            mib = sum(os.path.getsize(p) for p in _outputs(scratch, paths, suffix)) / 2**20
            rows.append((kind, r, mib))
        print("| step | fresh | peak RSS | warm | output | MiB/s fresh |\n|---|---|---|---|---|---|")
        for kind, r, mib in rows:
            print(f"| {kind} | {r['seconds'] * 1000:.0f} ms | {r['peak_mib']:.0f} MiB | "
                  f"{r['warm'] * 1000:.0f} ms | {mib:.0f} MiB | {mib / r['seconds']:.0f} |")
        mdf, write, theirs = figures["mdf"]["seconds"], figures["write"]["seconds"], figures["asammdf"]["seconds"]
        print(f"mdf export at {write / mdf:.0%} of the plain write's speed; {theirs / mdf:.1f}x asammdf's speed")
        if args.check:
            assert write / mdf >= 0.5, (mdf, write)
            assert theirs / mdf >= 10, (mdf, theirs)
            print("every target met")


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--step":
        step(sys.argv[2], json.loads(sys.argv[3]), sys.argv[4])
    else:
        main()
