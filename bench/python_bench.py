#!/usr/bin/python3
"""The Python package against its targets, in one run:

1. Open and walk the 1,000,000-value tree of tree_bench.cc (every value
   read) from Python, beside the C walk of BM_OpenWalk_kestron4 run by the
   tree_bench program of the same build; the target is within 10x.
2. A 100 MB blob of a mapped session as a numpy array: the time of
   Block.blob(), the resident memory it adds and whether the array's bytes
   lie in the file's mapping (no copy); the target is under 1 ms.

    /usr/bin/python3 bench/python_bench.py BUILD_DIR

BUILD_DIR is a CMake build with -DKESTRON4_BUILD_BENCH=ON (for
bench/tree_bench) and the Python package (BUILD_DIR/python).
KESTRON4_BENCH_SCALE shrinks the tree as it does for tree_bench.
"""

import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

build = Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
sys.path.insert(0, str(build / "python"))
import numpy as np  # noqa: E402

import kestron4  # noqa: E402

scale = float(os.environ.get("KESTRON4_BENCH_SCALE", "1") or 1)
scale = scale if 0 < scale <= 1 else 1.0
GROUPS = max(1, int(100 * scale))
RECORDS = 1000


def build_tree(path):
    """The tree of tree_bench.cc: groups of item 100, records of item 101, 10 values each."""
    with kestron4.new() as s:
        n = 0
        for group in s.root.add(100, GROUPS):
            for record in group.add(101, RECORDS):
                record.set_text(2001, f"rec-{n:07d}", "ansi")
                record.set_text(2002, f"measured at station {n % 100000:05d}, channel {n % 1000:03d} ok", "ansi")
                for i in range(4):
                    record[10000 + i] = (n * 4 + i) & 0xFFFFFFFF
                record[12000] = n * 0.5
                record[12001] = n / 3.0
                record[8000] = n & 0xFFFF
                record[6000] = n & 1
                n += 1
        s.save(path)


def walk(block):
    """Reads every value below block, depth first; returns how many."""
    count = 0
    stack = [block]
    while stack:
        b = stack.pop()
        count += len(b.items())  # every (TID, value), read in one call
        for tid in b.item_tids:
            stack.extend(b.items(tid))
    return count


def python_walk_ms(path):
    best = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        with kestron4.open(path) as s:
            values = walk(s.root)
        best = min(best, time.perf_counter() - start)
    assert values == GROUPS * RECORDS * 10, values
    return best * 1000, values


def c_walk_ms():
    program = build / "bench" / "tree_bench"
    if not program.exists():
        return None
    out = subprocess.run([str(program), "--benchmark_filter=BM_OpenWalk_kestron4",
                          "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    bench = json.loads(out)["benchmarks"][0]
    return bench["real_time"] * {"ms": 1, "us": 1e-3, "ns": 1e-6, "s": 1e3}[bench["time_unit"]]


def resident_bytes():
    return int(Path("/proc/self/statm").read_text().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def in_mapping_of(address, path):
    for line in Path("/proc/self/maps").read_text().splitlines():
        fields = line.split()
        low, high = (int(x, 16) for x in fields[0].split("-"))
        if low <= address < high and len(fields) >= 6 and fields[5] == str(path):
            return True
    return False


def blob_figures(directory):
    path = Path(directory) / "blob.kst"
    with kestron4.new() as s:
        s.root.set_blob(np.full(100 * 1000 * 1000, 7, dtype=np.uint8))
        s.save(path)
    with kestron4.open(path, "mmap") as s:
        block = s.root
        block.blob_size  # the session's own first read, not timed
        before = resident_bytes()
        start = time.perf_counter()
        array = block.blob()
        elapsed = time.perf_counter() - start
        grown = resident_bytes() - before
        mapped = in_mapping_of(array.ctypes.data, path.resolve())
        assert array.size == 100 * 1000 * 1000 and array[-1] == 7
        del array
    return elapsed * 1000, grown, mapped


with tempfile.TemporaryDirectory() as scratch:
    tree = Path(scratch) / "tree.kst"
    build_tree(tree)
    c_ms = c_walk_ms()
    py_ms, values = python_walk_ms(tree)
    print(f"open + walk of {values} values: Python {py_ms:.1f} ms", end="")
    if c_ms is not None:
        print(f", C {c_ms:.1f} ms, ratio {py_ms / c_ms:.2f} (target <= 10)")
    else:
        print(" (tree_bench not built: no C figure)")
    ms, grown, mapped = blob_figures(scratch)
    print(f"100 MB blob of a mapped session as numpy array: {ms:.3f} ms (target < 1), "
          f"resident memory +{grown / 1e6:.2f} MB, bytes in the file's mapping: {mapped}")
