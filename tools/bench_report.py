#!/usr/bin/env python3
"""Turns the JSON results of one run of tools/run-benchmarks.sh into
docs/PERFORMANCE.md: every comparison as a ratio of two figures measured in
the same run, with the absolute figures beside it.

    tools/bench_report.py RESULTS_DIR > docs/PERFORMANCE.md

RESULTS_DIR holds <bench>.json (Google Benchmark's JSON output) and run.txt
(key=value lines written by the script: command, commit, load averages).
"""
import json
import os
import sys


def load_results(directory):
    """{bench: {run_name: entry}}; the median of repetitions where there are
    repetitions, else the single run."""
    results = {}
    for file in sorted(os.listdir(directory)):
        if not file.endswith(".json"):
            continue
        with open(os.path.join(directory, file)) as f:
            data = json.load(f)
        runs = {}
        for entry in data.get("benchmarks", []):
            name = entry.get("run_name", entry["name"])
            if entry.get("run_type") == "aggregate":
                if entry.get("aggregate_name") == "median":
                    runs[name] = entry
            elif name not in runs and not entry.get("error_occurred"):
                runs[name] = entry
        results[file[:-5]] = {"runs": runs, "context": data.get("context", {})}
    return results


def read_run_info(directory):
    info = {}
    path = os.path.join(directory, "run.txt")
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                key, _, value = line.rstrip("\n").partition("=")
                info[key] = value
    return info


UNIT_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


class Figures:
    def __init__(self, results):
        self.results = results

    def run(self, bench, name):
        return self.results.get(bench, {}).get("runs", {}).get(name)

    def ms(self, bench, name, kind="real_time"):
        r = self.run(bench, name)
        if r is None:
            return None
        return r[kind] * UNIT_MS[r["time_unit"]]

    def counter(self, bench, name, key):
        r = self.run(bench, name)
        return None if r is None else r.get(key)


def fmt_time(ms):
    if ms is None:
        return "n/a"
    if ms >= 1000:
        return f"{ms / 1000:.2f} s"
    if ms >= 1:
        return f"{ms:.1f} ms"
    if ms >= 0.001:
        return f"{ms * 1000:.1f} µs"
    return f"{ms * 1e6:.0f} ns"


def fmt_ratio(r, percent=False):
    if r is None:
        return "n/a"
    if percent:
        return f"{100 * r:.1f}%"
    return f"{r:.2f}x"


# Set by main: None while the machine was quiet enough to judge targets, else
# why it was not. A target is never called met from a loaded machine.
NOT_JUDGED = None


def verdict(value, target, higher_is_better=True, timed=True):
    """met or missed; a timed target is not judged from a loaded machine
    (sizes and memory do not depend on the load)."""
    if value is None or target is None:
        return ""
    if timed and NOT_JUDGED is not None:
        return "not judged (load)"
    ok = value >= target if higher_is_better else value <= target
    return "met" if ok else "**missed**"


def first_load(text):
    """The 1-minute figure of a "1.23 0.45 0.67" load line, or None."""
    try:
        return float(text.split()[0])
    except (AttributeError, IndexError, ValueError):
        return None


def judge_load(info, fresh_context):
    """Why targets cannot be judged from this run, or None when they can: a
    1-minute load average above 1 before the run or before the fresh-process
    steps, or other processes using more than one core during them."""
    reasons = []
    before = first_load(info.get("load_before"))
    if before is None or before > 1:
        reasons.append(f"load average {before if before is not None else '?'} before the run")
    fresh_before = fresh_context.get("load_before")
    if fresh_before is not None and fresh_before > 1 and fresh_before != before:
        reasons.append(f"load average {fresh_before:.2f} before the fresh-process steps")
    other = fresh_context.get("other_cores")
    if other is not None and other > 1:
        reasons.append(f"other processes used {other:.2f} cores during the fresh-process steps")
    return "; ".join(reasons) if reasons else None


def div(a, b):
    return None if a is None or b is None or b == 0 else a / b


class Table:
    HEADER = ("| comparison | kestron4 | reference | ratio (wall) | ratio (CPU) | target | |\n"
              "|---|---|---|---|---|---|---|")

    def __init__(self):
        self.rows = []

    def add(self, what, ours, ref, ratio, cpu_ratio, target="", status="", percent=False):
        self.rows.append(
            f"| {what} | {ours} | {ref} | {fmt_ratio(ratio, percent)} | "
            f"{fmt_ratio(cpu_ratio, percent)} | {target} | {status} |")

    def render(self):
        return "\n".join([self.HEADER] + self.rows)


def speedup_row(table, f, bench, what, ours, ref, target):
    """Reference time / our time: how many times faster we are."""
    wall = div(f.ms(bench, ref), f.ms(bench, ours))
    cpu = div(f.ms(bench, ref, "cpu_time"), f.ms(bench, ours, "cpu_time"))
    table.add(what, fmt_time(f.ms(bench, ours)), fmt_time(f.ms(bench, ref)), wall, cpu,
              f">= {target}x" if target else "", verdict(wall, target) if target else "")
    return wall


def limit_row(table, f, bench, what, ours, limit, target):
    """Limit time / our time: the share of the machine's limit we reach."""
    wall = div(f.ms(bench, limit), f.ms(bench, ours))
    cpu = div(f.ms(bench, limit, "cpu_time"), f.ms(bench, ours, "cpu_time"))
    table.add(what, fmt_time(f.ms(bench, ours)), fmt_time(f.ms(bench, limit)), wall, cpu,
              f">= {int(target * 100)}%" if target else "", verdict(wall, target) if target else "",
              percent=True)
    return wall


def section_tree(f):
    t = Table()
    b = "tree_bench"
    speedup_row(t, f, b, "(1, 4) build 1,000,000 values in 100,000 blocks, vs SQLite inserts in one "
                "transaction", "BM_Build_kestron4/real_time", "BM_Build_sqlite/real_time", 5)
    speedup_row(t, f, b, "(4) save to a path (fsync, rename) vs SQLite COMMIT (fsync)",
                "BM_Save_kestron4/real_time", "BM_Save_sqlite/real_time", 2)
    speedup_row(t, f, b, "(4) open and read every value vs SQLite open and full scan",
                "BM_OpenWalk_kestron4/real_time", "BM_OpenWalk_sqlite/real_time", 5)
    ours = f.counter(b, "BM_Save_kestron4/real_time", "file_MB")
    ref = f.counter(b, "BM_Save_sqlite/real_time", "file_MB")
    size = div(ours, ref)
    t.add("(4) file size (ours / SQLite's)", f"{ours:.1f} MB" if ours else "n/a",
          f"{ref:.1f} MB" if ref else "n/a", size, None, "<= 0.40x", verdict(size, 0.4, False, timed=False))
    lines = [t.render(), ""]
    values = f.counter(b, "BM_Build_kestron4/real_time", "values/s")
    per_value = f.counter(b, "BM_Build_kestron4/real_time", "allocs/value")
    per_record = f.counter(b, "BM_Build_kestron4/real_time", "allocs/record")
    vs = f.counter(b, "BM_Build_kestron4/real_time", "allocs_vs_expected")
    sqlite_per_value = f.counter(b, "BM_Build_sqlite/real_time", "allocs/value")
    if values is not None:
        lines.append(
            f"Build rate: {values / 1e6:.2f} million values/s (wall). Heap allocations while "
            f"building: {per_record:.4f} per record (item blocks, items and values), "
            f"{per_value:.4f} per value; **{vs:.3f}x** the pools' promise of one per 128 records "
            f"plus one per value above 8 bytes (2 of the 10 values of each record). SQLite made "
            f"{sqlite_per_value:.2f} allocations per value for the same rows.")
    return "\n".join(lines)


def section_container(f):
    t = Table()
    b = "container_bench"
    limit_row(t, f, b, "(2) load from a path vs one read() into a reused buffer",
              "BM_LoadPath/real_time", "BM_ReadFileOnce/real_time", 0.5)
    limit_row(t, f, b, "(2) load from a path vs one read() into freshly allocated memory",
              "BM_LoadPath/real_time", "BM_ReadFileOnceFresh/real_time", 0.5)
    limit_row(t, f, b, "(2) load from a buffer vs one read() into a reused buffer",
              "BM_LoadBuffer/real_time", "BM_ReadFileOnce/real_time", None)
    limit_row(t, f, b, "(2) save in place to a descriptor vs one write() in place",
              "BM_SaveHandle/real_time", "BM_WriteFileOnce/real_time", 0.5)
    limit_row(t, f, b, "(2) save to a path (new file, fsync, rename) vs one write() to a new "
              "file, fsync, rename", "BM_SavePath/real_time", "BM_WriteFileOnceSynced/real_time",
              0.5)
    limit_row(t, f, b, "(2) save into a buffer vs one write() in place",
              "BM_SaveBuffer/real_time", "BM_WriteFileOnce/real_time", None)
    mb = f.counter(b, "BM_LoadPath/real_time", "MB/s")
    load_ms = f.ms(b, "BM_LoadPath/real_time")
    size = None if mb is None or load_ms is None else mb * load_ms / 1000
    note = f"The container is {size:.0f} MB. " if size else ""
    return t.render() + "\n\n" + note + (
        "Ratios are the limit's time over ours: 100% would be as fast as the bare system call.")


def section_policies(f):
    b = "open_policies_bench"
    if b not in f.results:
        return ("Not measured: the policies bench was not built (the memory-mapped and streamed "
                "policies are not in this tree).")
    t = Table()
    runs = f.results[b]["runs"]

    def name(prefix, policy):
        for n in runs:
            if n.startswith(prefix) and f"policy:{policy}" in n:
                return n
        return None

    kinds = (("BM_FirstValueCold/", "time to first value, each open in a new process", True),
             ("BM_FirstValue/", "time to first value, warm heap (after one open in the process)",
              True),
             ("BM_Open/", "open alone, warm heap", False))
    for prefix, label, targeted in kinds:
        memory = name(prefix, 0)
        if memory is None:
            continue
        for policy, policy_name in ((1, "mapped"), (2, "streamed")):
            other = name(prefix, policy)
            if other is None:
                continue
            wall = div(f.ms(b, other), f.ms(b, memory))
            if prefix.startswith("BM_FirstValueCold"):
                cpu = div(f.counter(b, other, "child_cpu_ms"), f.counter(b, memory, "child_cpu_ms"))
            else:
                cpu = div(f.ms(b, other, "cpu_time"), f.ms(b, memory, "cpu_time"))
            t.add(f"(3) {label}: {policy_name} vs in memory", fmt_time(f.ms(b, other)),
                  fmt_time(f.ms(b, memory)), wall, cpu, "< 2%" if targeted else "",
                  verdict(wall, 0.02, False) if targeted else "", percent=True)
    floor = "BM_ReadPerRecordFloor/real_time"
    memory = name("BM_Open/", 0)
    if floor in runs and memory is not None:
        t.add("(3) floor: one 1 KB read() per record, the least a records-only open can do, vs "
              "the in-memory open (warm heap)", fmt_time(f.ms(b, floor)),
              fmt_time(f.ms(b, memory)), div(f.ms(b, floor), f.ms(b, memory)),
              div(f.ms(b, floor, "cpu_time"), f.ms(b, memory, "cpu_time")), percent=True)
        for policy, policy_name in ((1, "mapped"), (2, "streamed")):
            other = name("BM_Open/", policy)
            if other is not None:
                t.add(f"(3) {policy_name} open vs that floor", fmt_time(f.ms(b, other)),
                      fmt_time(f.ms(b, floor)), div(f.ms(b, other), f.ms(b, floor)),
                      div(f.ms(b, other, "cpu_time"), f.ms(b, floor, "cpu_time")))
    first = next(iter(runs.values()), None)
    blobs = first.get("blobs") if first else None
    size = first.get("file_MB") if first else None
    note = ""
    if blobs is not None and size is not None:
        note = f"\n\nThe container holds {blobs:.0f} blobs, {size:.0f} MB in all."
        if blobs < 10000:
            note += " **Scaled down from 10,000 blobs (1 GB) for lack of disk space.**"
    return t.render() + (
        "\n\nRatios are our time over the reference's: below 100% (or 1x) is faster." + note)


def section_lookup(f):
    t = Table()
    b = "lookup_bench"
    for at, where in ((2, "last"), (1, "middle")):
        ours = f"BM_FindType/at:{at}"
        ref = f"BM_FlatScan/at:{at}"
        wall = div(f.ms(b, ours), f.ms(b, ref))
        cpu = div(f.ms(b, ours, "cpu_time"), f.ms(b, ref, "cpu_time"))
        blocks = f.counter(b, ours, "blocks_scanned")
        t.add(f"(5) KSTRN_FindType with a text key, match {where} of 10,000 siblings "
              f"({blocks:,.0f} blocks compared) vs strcmp over a flat array of the keys"
              if blocks else f"(5) KSTRN_FindType, match {where}",
              fmt_time(f.ms(b, ours)), fmt_time(f.ms(b, ref)), wall, cpu)
    r = "references_bench"
    for n in (10000, 100000):
        ours = f"BM_CheckIntegrityQuickIndexed/{n}"
        ref = f"BM_CheckIntegrityQuickIndexed/{n // 10}"
        t.add(f"(5) KSTRN_CheckIntegrity, {n:,} references vs {n // 10:,} (10x the references)",
              fmt_time(f.ms(r, ours)), fmt_time(f.ms(r, ref)), div(f.ms(r, ours), f.ms(r, ref)),
              div(f.ms(r, ours, "cpu_time"), f.ms(r, ref, "cpu_time")))
    for n in (1000, 10000):
        ours = f"BM_CheckIntegrityQuickIndexed/{n}"
        ref = f"BM_CheckIntegrityQuickPlain/{n}"
        t.add(f"(5) KSTRN_CheckIntegrity with its index of targets vs a scan per reference, "
              f"{n:,} references", fmt_time(f.ms(r, ours)), fmt_time(f.ms(r, ref)),
              div(f.ms(r, ref), f.ms(r, ours)), div(f.ms(r, ref, "cpu_time"),
                                                    f.ms(r, ours, "cpu_time")))
    return t.render() + (
        "\n\nFindType ratios are our time over the flat scan's; the integrity growth is the time "
        "at 10x the references over the time before it (10x is linear); the last rows are the "
        "scan's time over the index's.")


def section_compression(f):
    b = "compress_bench"
    if b not in f.results:
        return "Not measured."
    t = Table()
    for data in ("text", "binary"):
        for direction in ("compress", "decompress"):
            ours = f"{direction}/{data}/32KiB/lzrw1kh"
            for codec in ("lz4-1", "zlib-1"):
                ref = f"{direction}/{data}/32KiB/{codec}"
                if f.run(b, ref) is None:
                    continue
                wall = div(f.ms(b, ref), f.ms(b, ours))
                cpu = div(f.ms(b, ref, "cpu_time"), f.ms(b, ours, "cpu_time"))
                mine = f.counter(b, ours, "MB/s")
                theirs = f.counter(b, ref, "MB/s")
                ratio_ours = f.counter(b, ours, "ratio")
                ratio_ref = f.counter(b, ref, "ratio")
                t.add(f"(6) {direction} 10 MB {data} in 32 KiB buffers vs {codec} "
                      f"(size ratio {ratio_ours:.3f} vs {ratio_ref:.3f})",
                      f"{mine:.0f} MB/s", f"{theirs:.0f} MB/s", wall, cpu)
    return t.render() + (
        "\n\nRatios are the other coder's time over ours (above 1: ours is faster); size ratio is "
        "compressed / original (smaller is better). Whole-buffer figures are in the raw results.")


SQLITE_LAYOUTS = (("rowid", "rowid table, scanned in rowid order"),
                  ("keyed", "WITHOUT ROWID table keyed by (block, tid), scanned in key order"),
                  ("keyed64", "the keyed table with 64 KB pages"),
                  ("mapped", "the keyed table read through mmap"))


def fastest(f, bench, names):
    """The name among names with the least wall time, or None."""
    timed = [(f.ms(bench, n), n) for n in names if f.ms(bench, n) is not None]
    return min(timed)[1] if timed else None


def slowdown_row(table, f, bench, what, ours, ref, target):
    """Our time / the reference's: how many times the least it could be."""
    wall = div(f.ms(bench, ours), f.ms(bench, ref))
    cpu = div(f.ms(bench, ours, "cpu_time"), f.ms(bench, ref, "cpu_time"))
    table.add(what, fmt_time(f.ms(bench, ours)), fmt_time(f.ms(bench, ref)), wall, cpu,
              f"<= {target}x", verdict(wall, target, False))
    return wall


def section_fresh(f):
    b = "fresh_process_bench"
    if not f.results.get(b):
        return "Not run (the bench needs SQLite)."
    opens = [f"sqlite-open-{layout}/small" for layout, _ in SQLITE_LAYOUTS]
    builds = [f"sqlite-build-{layout}/small" for layout, _ in SQLITE_LAYOUTS]
    open_ref = fastest(f, b, opens) or "sqlite-open/small"
    build_ref = fastest(f, b, builds) or "sqlite-build/small"
    describe = dict(SQLITE_LAYOUTS)
    open_layout = open_ref.split("-")[-1].split("/")[0]
    build_layout = build_ref.split("-")[-1].split("/")[0]
    t = Table()
    for policy, name in (("memory", "in memory"), ("mapped", "memory-mapped"),
                         ("streamed", "streamed")):
        speedup_row(t, f, b, f"open and read every value, {name}, vs SQLite's fastest open and "
                    f"scan ({open_layout})", f"open-{policy}/small", open_ref, 3)
    for policy, name in (("memory", "in memory"), ("mapped", "memory-mapped"),
                         ("streamed", "streamed")):
        slowdown_row(t, f, b, f"open and read every value, {name}, vs one read() of the file into "
                     "fresh memory and a walk of its block records", f"open-{policy}/small",
                     "read-parse/small", 3)
    speedup_row(t, f, b, f"build the tree vs SQLite's fastest inserts in one transaction "
                f"({build_layout})", "build/small", build_ref, 5)
    limit_row(t, f, b, "in-memory load of 1,000 100 KB blobs vs one read() of the file into "
              "fresh memory", "blob-load", "blob-read", 0.7)
    for policy in ("memory", "mapped", "streamed"):
        small, large = f"open-{policy}/small", f"open-{policy}/large"
        ratio = div(f.ms(b, large), f.ms(b, small))
        cpu = div(f.ms(b, large, "cpu_time"), f.ms(b, small, "cpu_time"))
        t.add(f"growth: open and read the 10x container, {policy}, vs the small one",
              fmt_time(f.ms(b, large)), fmt_time(f.ms(b, small)), ratio, cpu, "10x linear")
    parts = [t.render()]

    # SQLite's layouts side by side: the strongest is the baseline above.
    q = ["| SQLite layout | open and scan (wall) | (CPU) | build (wall) | database |",
         "|---|---|---|---|---|"]
    for layout, text in SQLITE_LAYOUTS:
        o = f.run(b, f"sqlite-open-{layout}/small")
        if o is None:
            continue
        build = f.ms(b, f"sqlite-build-{layout}/small")
        mark = " **(baseline)**" if f"sqlite-open-{layout}/small" == open_ref else ""
        q.append(f"| {layout}: {text}{mark} | {fmt_time(f.ms(b, f'sqlite-open-{layout}/small'))} | "
                 f"{fmt_time(f.ms(b, f'sqlite-open-{layout}/small', 'cpu_time'))} | "
                 f"{fmt_time(build) if build is not None else '(its database)'} | "
                 f"{o['file_bytes'] / 1e6:.1f} MB |")
    if len(q) > 2:
        parts.append("\n".join(q))

    # Before and after, when the run measured an earlier library too.
    if any(n.startswith("before:") for n in f.results[b]["runs"]):
        c = ["| step (small container) | before | after | after / before | vs SQLite before | "
             "vs SQLite after | vs read-and-walk before | vs read-and-walk after |",
             "|---|---|---|---|---|---|---|---|"]
        for step, what in (("open-memory/small", "open and read, in memory"),
                           ("open-mapped/small", "open and read, mapped"),
                           ("open-streamed/small", "open and read, streamed"),
                           ("build/small", "build")):
            old, new = f.ms(b, "before:" + step), f.ms(b, step)
            ref = f.ms(b, build_ref if step.startswith("build") else open_ref)
            floor = None if step.startswith("build") else f.ms(b, "read-parse/small")
            c.append(f"| {what} | {fmt_time(old)} | {fmt_time(new)} | {fmt_ratio(div(new, old))} | "
                     f"{fmt_ratio(div(ref, old))} | {fmt_ratio(div(ref, new))} | "
                     f"{fmt_ratio(div(old, floor)) if floor else '-'} | "
                     f"{fmt_ratio(div(new, floor)) if floor else '-'} |")
        parts.append("\n".join(c))

    m = ["| step | values | file | peak RSS growth | growth / file | target | | page faults per "
         "value |", "|---|---|---|---|---|---|---|---|"]
    names = builds + opens + ["build/small", "build/large", "read-parse/small",
                              "read-parse/large"]
    for policy in ("memory", "mapped", "streamed"):
        names += [f"open-{policy}/small", f"open-{policy}/large"]
    for name in names + ["blob-load", "blob-read"]:
        r = f.run(b, name)
        if r is None:
            continue
        file_mb = r["file_bytes"] / 1e6
        rss_mb = r["rss_kb"] * 1024 / 1e6
        share = rss_mb / file_mb if file_mb else None
        target, status = "", ""
        if name.startswith("open-") and share is not None:
            target, status = "<= 2x", verdict(2 / share, 1, timed=False)
        per_value = r["faults"] / r["values"] if r.get("values") else None
        m.append(f"| {name} | {r['values']:.0f} | {f'{file_mb:.1f} MB' if file_mb else '-'} | "
                 f"{rss_mb:.1f} MB | {f'{share:.2f}x' if share else '-'} | {target} | {status} | "
                 f"{f'{per_value:.4f}' if per_value is not None else '-'} |")
    parts.append("\n".join(m))
    context = f.results[b].get("context", {})
    load = ""
    if "other_cores" in context:
        load = (f" During these steps the 1-minute load average went from "
                f"{context['load_before']:.2f} to {context['load_after']:.2f}, and other "
                f"processes used {context['other_cores']:.2f} cores' worth of CPU (from "
                "/proc/stat, less the bench's own).")
    return "\n\n".join(parts) + (
        "\n\nEvery figure in this section comes from a process of its own that does one step "
        "and exits (bench/fresh_process_bench.cc): medians of five such processes, the steps "
        "run round robin. Nothing is warm but the page cache, so these are the figures a "
        "program that opens a file sees, kernel page faults on fresh memory included. The "
        "container holds 1,000 group blocks of 100 record blocks of 10 small values (1 to 8 "
        "bytes and a 5-byte text); the large one ten times as many. SQLite holds the same rows "
        "in a block table and a value table, in each of the layouts listed; the baseline is "
        "the one that opened and scanned fastest in this run (the keyed layouts store the "
        "values in the order a reader walks them, in one b-tree, without row ids: the "
        "strongest we found; a larger page size or a memory mapping are measured beside it). "
        "The read-and-walk reference reads the whole container with one read() into fresh "
        "memory and visits every block record and entry, skipping value bytes: the least an "
        "open that looks at every block can cost. Peak RSS growth is VmHWM at the end of the "
        "step less VmRSS before it; for SQLite the file column is its database." + load +
        " The sections below are warm-heap figures.")


def main():
    directory = sys.argv[1]
    f = Figures(load_results(directory))
    info = read_run_info(directory)
    context = next(iter(f.results.values()), {}).get("context", {})
    global NOT_JUDGED
    NOT_JUDGED = judge_load(info, f.results.get("fresh_process_bench", {}).get("context", {}))
    out = []
    out.append("# Performance\n")
    out.append(
        "Every comparison below is a ratio of two figures measured side by side, in the same "
        "run, on the same data; absolute times are given only beside their ratio. Times are "
        "medians of the repetitions (wall clock unless marked CPU). Generated by "
        "`tools/run-benchmarks.sh` from one run; do not edit by hand.\n")
    out.append("## Reproduce\n")
    out.append("```\n" + info.get("command", "tools/run-benchmarks.sh") + "\n```\n")
    out.append("## Machine and run\n")
    out.append(f"- Run: {info.get('date', context.get('date', '?'))}, commit "
               f"`{info.get('commit', '?')}`, Release build, {info.get('compiler', '?')}.")
    out.append(f"- CPU: {info.get('cpu', '?')}, {info.get('cores', context.get('num_cpus', '?'))} cores; "
               f"{info.get('memory', '?')} memory; kernel {info.get('kernel', '?')}; "
               f"SQLite {info.get('sqlite', '?')}.")
    out.append(
        f"- Load average (1, 5, 15 min) before the run: {info.get('load_before', '?')}; after: "
        f"{info.get('load_after', '?')}. Both the wall and the CPU ratio are given.")
    if NOT_JUDGED is not None:
        out.append(
            f"- **The machine was not quiet ({NOT_JUDGED}), so no timed target is judged "
            "in this run**: a timed target reads \"not judged (load)\" where it would otherwise read met "
            "or missed (sizes and memory are judged). Wall times are inflated against CPU times and single figures move by tens "
            "of percent between runs. Re-run on a quiet machine: "
            f"`{info.get('command', 'tools/run-benchmarks.sh')}`.")
    else:
        out.append("- The machine was quiet: a 1-minute load average of at most 1 before the "
                   "run, and other processes used at most one core during the fresh-process "
                   "steps.")
    if info.get("before"):
        out.append(f"- The before-and-after table runs the fresh-process steps of kestron4 "
                   f"with the library of commit `{info['before']}` too, in the same run.")
    out.append("- Each timed loop follows one untimed run of the same work, so figures are of a "
               "warm heap: on this virtual machine a first-touch page fault costs about as much "
               "as copying the page several times, and the first pass over new memory is "
               "dominated by the kernel.\n")
    out.append("## Fresh processes: opening, reading and building as a new program does\n")
    out.append(section_fresh(f) + "\n")
    out.append("## (1, 4) Building, saving, opening: the same tree against SQLite\n")
    out.append(section_tree(f) + "\n")
    out.append("## (2) Load and save against the machine's limit\n")
    out.append(section_container(f) + "\n")
    out.append("## (3) Opening a large container under the three storage policies\n")
    out.append(section_policies(f) + "\n")
    out.append("## (5) Lookup and integrity check\n")
    out.append(section_lookup(f) + "\n")
    out.append("## (6) Compression\n")
    out.append(section_compression(f) + "\n")
    notes = os.path.join(os.path.dirname(os.path.abspath(__file__)), "performance_notes.md")
    if os.path.exists(notes):
        with open(notes) as n:
            out.append(n.read())
    print("\n".join(out))


if __name__ == "__main__":
    main()
