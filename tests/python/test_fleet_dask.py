"""kestron4.dask on the synchronous scheduler and on a LocalCluster of two
worker processes: the same rows as the one-file functions, bad files reported
in place, and no output lost or doubled when a worker dies mid-batch."""

import os
import signal
import time
from pathlib import Path

import numpy as np
import pytest

dask = pytest.importorskip("dask")
distributed = pytest.importorskip("distributed")

import kestron4  # noqa: E402
import kestron4.dask as kd  # noqa: E402

SOURCE = Path(os.environ.get("KESTRON4_SOURCE_DIR", Path(__file__).resolve().parents[2]))
SAMPLE = SOURCE / "samples" / "logger_data_v2.dat"
SAMPLES_FROM = 21 * 256  # where the sample file's recorded samples start


@pytest.fixture(scope="module")
def cluster():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=":0") as c, distributed.Client(c) as client:
        yield client


@pytest.fixture(params=["synchronous", "cluster"])
def scheduler(request):
    if request.param == "cluster":
        yield request.getfixturevalue("cluster")
    else:
        with dask.config.set(scheduler="synchronous"):
            yield None


def write_recordings(directory, count):
    """Copies of the sample, each with its own samples."""
    data = SAMPLE.read_bytes()
    paths = []
    for i in range(count):
        noise = np.random.default_rng(i).integers(0, 256, len(data) - SAMPLES_FROM, dtype=np.uint8)
        path = directory / f"vehicle{i:03d}.dat"
        path.write_bytes(data[:SAMPLES_FROM] + noise.tobytes())
        paths.append(str(path))
    return paths


@pytest.fixture
def fleet(tmp_path):
    """Three good recordings with three bad files among them: cut short, not a
    logger file, missing."""
    good = write_recordings(tmp_path, 3)
    (tmp_path / "cut.dat").write_bytes(SAMPLE.read_bytes()[:3000])
    (tmp_path / "noise.dat").write_bytes(bytes(range(100)))
    bad = [str(tmp_path / name) for name in ("cut.dat", "noise.dat", "gone.dat")]
    return good, [good[0], bad[0], good[1], bad[1], bad[2], good[2]]


def library_code(path):
    try:
        kestron4.open(path).close()
    except kestron4.Error as error:
        return error.code
    return 0


def test_convert_writes_what_the_library_saves_and_reports_each_failure(scheduler, fleet, tmp_path):
    good, mixed = fleet
    out = tmp_path / "out"
    result = kd.convert(mixed, out)
    assert list(result.path) == mixed
    assert list(result.code) == [library_code(p) for p in mixed]
    assert set(result.code[result.output.isna()]) == {1, 2, 9}
    for path, output in zip(result.path, result.output):
        if output is not None:
            with kestron4.open(path) as session:
                assert Path(output).read_bytes() == session.to_bytes()
    assert sorted(os.listdir(out)) == [f"vehicle00{i}.kst" for i in range(3)]


def test_read_recordings_holds_each_files_recording_in_order(scheduler, fleet, tmp_path):
    good, _ = fleet
    with kestron4.new() as empty:  # no recording: no rows
        empty.save(tmp_path / "empty.kst")
    files = good + [str(tmp_path / "empty.kst"), good[0]]
    frame = kd.read_recordings(files)
    assert frame.npartitions == len(files)
    rows = frame.compute()
    assert list(dict.fromkeys(rows.file)) == good
    for path in good:
        with kestron4.open(path) as session:
            wide = kestron4.recording(session).frames
        mine = rows[rows.file == path]
        for period, table in wide.items():
            for channel in table:
                long = mine[mine.channel == channel]
                assert len(long) == files.count(path) * len(table)
                assert list(long.time[:len(table)]) == list(table.index)
                assert list(long["sample"][:len(table)]) == list(table[channel])
    counts = frame.groupby("channel")["sample"].count().compute().to_dict()
    assert counts == {"Oil Press": 404, "Wheel Spd": 164, "Water Temp": 12}
    assert list(rows.file.cat.categories) == list(dict.fromkeys(files)) and rows["sample"].dtype == np.uint16
    assert (rows.time - rows.elapsed == kestron4.recording(good[0]).start).all()
    one = kd.read_recordings(good[1])  # one path, ordered by the logger's clock
    assert one.set_index("time").compute().index.is_monotonic_increasing and one.npartitions == 1
    gone = str(SAMPLE.parent / "gone.dat")
    with pytest.raises(kestron4.MissingFileError, match=gone):
        kd.read_recordings(good + [gone]).compute()


def damage(path, edit):
    with kestron4.open(path) as session:
        edit(session.root.item(2))
        session.save(path)


def test_check_finds_broken_blobs_and_references(scheduler, fleet, tmp_path):
    good, _ = fleet
    converted = list(kd.convert(good, tmp_path / "out").output)
    data = Path(converted[1]).read_bytes()
    length_82 = b"\x2a\x04" + (82).to_bytes(4, "little")  # value 1066 of module 2
    Path(converted[1]).write_bytes(data.replace(length_82, b"\x2a\x04" + (999).to_bytes(4, "little")))
    damage(converted[2], lambda logger: logger.item(101, 0).__setitem__(1002, "renamed"))
    noise = fleet[1][3]
    problems = kd.check(converted + [noise])
    rows = [tuple(r) for r in problems[["file", "block"]].itertuples(index=False)]
    assert rows == [(converted[1], ""), (converted[2], "/2:0/107:0"), (noise, "")]
    assert list(problems.problem.str.contains("does not resolve")) == [False, True, False]
    with kestron4.open(converted[2]) as session, pytest.raises(kestron4.NotFoundError):
        session.check_integrity()


@pytest.mark.parametrize("item_tid, key_tid, key, hits", [
    (107, 1002, "Logger Status", ["/2:0/107:3"]),
    (135, 1002, "Speed 1", ["/2:0/135:2"]),
    (133, 1050, 9, ["/2:0/133:1"]),
    (135, 0, None, ["/2:0/135:0", "/2:0/135:1", "/2:0/135:2"]),
    (107, 1002, "nowhere", []),
])
def test_find_gives_every_matching_block_of_every_file(scheduler, fleet, item_tid, key_tid, key, hits):
    good, mixed = fleet
    found = kd.find(mixed, item_tid, key_tid, key)
    ok = found[found.error == ""]
    assert list(ok.file) == [p for p in good for _ in hits]
    assert list(ok.block) == hits * len(good)
    assert sorted(found.file[found.error != ""]) == sorted(set(mixed) - set(good))
    with kestron4.open(good[0]) as session:
        first = session.find(item_tid, key_tid, key)
        assert (first is None) == (not hits)
        assert first is None or str(first.path) == hits[0]


def test_two_inputs_for_one_output_are_refused_before_any_work(tmp_path):
    with pytest.raises(ValueError, match="both be written"):
        kd.convert([str(SAMPLE), str(tmp_path / "logger_data_v2.kst")], tmp_path / "out")
    assert not (tmp_path / "out").exists()


def test_a_worker_killed_mid_batch_loses_and_doubles_nothing(cluster, tmp_path):
    paths = write_recordings(tmp_path, 120)
    out = tmp_path / "out"
    future = cluster.compute(kd.convert(paths, out, compute=False))
    deadline = time.monotonic() + 60
    while len(list(out.glob("*.kst"))) < 5 and time.monotonic() < deadline:
        time.sleep(0.002)
    done_before_kill = len(list(out.glob("*.kst")))
    victim = sorted(cluster.scheduler_info()["workers"])[0]
    os.kill(cluster.run(os.getpid, workers=[victim])[victim], signal.SIGKILL)
    result = future.result(timeout=300)
    assert 5 <= done_before_kill < len(paths)
    assert list(result.path) == paths and set(result.code) == {0}
    # Only the hidden staging directory may hold what the killed worker was saving.
    visible = sorted(name for name in os.listdir(out) if not name.startswith("."))
    assert visible == [Path(p).stem + ".kst" for p in paths]
    for path, output in zip(paths, result.output):
        with kestron4.open(path) as source:
            assert Path(output).read_bytes() == source.to_bytes()
