"""Fleet benchmark: converts generated older logger data files in one process
and on a LocalCluster of worker processes, in the same run, then reads every
converted recording on a fresh cluster and reports each worker's peak memory.

    PYTHONPATH=build/python /usr/bin/python3 bench/fleet/fleet_bench.py [--files 1000]

The machine's load average is printed before and after: other work on the
same cores depresses the speed-up.
"""

from __future__ import annotations

import argparse
import os
import resource
import shutil
import statistics
import sys
import tempfile
import time

import dask
from distributed import Client, LocalCluster

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import legacy_files  # noqa: E402

import kestron4.dask as kd  # noqa: E402


def _loadavg() -> str:
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def _peak_rss_mib() -> float:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def _convert_timed(paths, out_dir):
    start = time.perf_counter()
    cpu = time.process_time()
    result = kd.convert(paths, out_dir)
    elapsed = time.perf_counter() - start
    _convert_timed.cpu = time.process_time() - cpu
    failed = int((result.code != 0).sum())
    if failed:
        raise SystemExit(f"{failed} conversions failed: {result[result.code != 0].head()}")
    return elapsed, list(result.output)


def _cluster(workers: int) -> LocalCluster:
    return LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                        dashboard_address=":0")


def _connect(cluster: LocalCluster) -> Client:
    client = Client(cluster)
    client.run(lambda: __import__("kestron4.dask"))  # imports are not part of the work
    return client


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--files", type=int, default=1000)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--seconds", type=int, default=60, help="recording length of each file")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--dir", help="working directory (default: a new temporary one)")
    args = parser.parse_args()

    work = args.dir or tempfile.mkdtemp(prefix="kestron4-fleet-")
    legacy_dir = os.path.join(work, "legacy")
    os.makedirs(legacy_dir, exist_ok=True)
    paths = []
    for i in range(args.files):
        path = os.path.join(legacy_dir, f"vehicle{i:05d}.dat")
        with open(path, "wb") as f:
            f.write(legacy_files.data_file(i, seconds=args.seconds))
        paths.append(path)
    size = sum(os.path.getsize(p) for p in paths)
    print(f"{args.files} data files, {size / 2**20:.1f} MiB, load average {_loadavg()}")

    # Saving ends in fsync, so the time depends on what else the machine
    # writes: the rounds alternate one process and the cluster, each after a
    # sync, and the median of the ratios is the speed-up.
    # A cluster of one worker shows how much of the gain is parallel work.
    ratios, scaling = [], []
    with _cluster(1) as single, _connect(single) as single_client, \
            _cluster(args.workers) as cluster, _connect(cluster) as client:
        with dask.config.set(scheduler="synchronous"):
            _convert_timed(paths[:10], os.path.join(work, "warm"))
        for run in range(args.rounds):
            os.sync()
            with dask.config.set(scheduler="synchronous"):
                one, _ = _convert_timed(paths, os.path.join(work, f"one{run}"))
            cpu = _convert_timed.cpu
            os.sync()
            with single_client.as_current():
                lone, _ = _convert_timed(paths, os.path.join(work, f"single{run}"))
            os.sync()
            with client.as_current():
                many, outputs = _convert_timed(paths, os.path.join(work, f"cluster{run}"))
            ratios.append(one / many)
            scaling.append(lone / many)
            print(f"round {run + 1}: one process {one:6.2f} s (CPU {cpu:.2f} s), 1 worker "
                  f"{lone:6.2f} s, {args.workers} workers {many:6.2f} s (load {_loadavg()})")
    print(f"speed-up against one process: {statistics.median(ratios):.2f}x, against one "
          f"worker: {statistics.median(scaling):.2f}x (medians of {len(ratios)} rounds)")

    with _cluster(args.workers) as cluster, _connect(cluster) as client:
        before = client.run(_peak_rss_mib)
        start = time.perf_counter()
        frame = kd.read_recordings(outputs)
        stats = frame.groupby("channel")["sample"].agg(["count", "mean"]).compute()
        elapsed = time.perf_counter() - start
        after = client.run(_peak_rss_mib)
    rows = int(stats["count"].sum())
    fleet_mib = rows * sum(frame.dtypes.map(lambda d: d.itemsize)) / 2**20
    print(f"read_recordings: {rows} samples of {len(stats)} channels in {elapsed:.2f} s; "
          f"the whole fleet as one frame would be about {fleet_mib:.0f} MiB")
    for worker in sorted(after):
        print(f"  worker peak RSS {after[worker]:7.1f} MiB (after start-up {before[worker]:.1f} MiB)")
    print(f"load average at the end {_loadavg()}")
    if not args.dir:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
