"""Recording exports read back by the readers of their formats: pandas for
CSV, pyarrow and DuckDB for Parquet (skipped where they are not installed),
against the Recording's own frames; bad requests refused with nothing left
behind."""

import os
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import kestron4
from kestron4.recording import RATE_PERIODS_MS

START = pd.Timestamp("2024-05-17 09:30:00")
# Every bit of a float back from its shortest text: pandas 3 reads so by default
# and deprecates asking for it.
ROUND_TRIP = {"float_precision": "round_trip"} if int(pd.__version__.split(".")[0]) < 3 else {}


def make_recording(path, channels, clock=True):
    """channels: (name, period ms, samples, table points or None)."""
    with kestron4.new() as session:
        logger = session.root.add(2)[0]
        if clock:
            event = logger.add(137)[0]
            for tid, value in zip(range(1067, 1074), (0, START.second, START.minute, START.hour,
                                                      START.day, START.month, START.year)):
                event[tid] = value
            event[1018] = 0
        for i, (name, period, samples, points) in enumerate(channels):
            block, layout, ref = logger.add(135)[0], logger.add(133)[0], logger.add(107)[0]
            width = samples.dtype.itemsize
            block.set_blob(samples.astype("<u2" if width == 2 else np.uint8).view(np.uint8))
            block[1002] = f"source {i}"
            layout[1010], layout[1050] = (1 if width == 1 else 0), RATE_PERIODS_MS.index(period)
            ref[1002] = name
            if points:
                table = logger.add(102)[0]
                table[1002] = f"table {i}"
                for x, y in points:
                    point = table.add(108)[0]
                    point[1025], point[1031] = x, y
                ref.refer(65, table, 1002)
        session.save(path)
    return kestron4.recording(path)


@pytest.fixture
def generated(tmp_path):
    rng = np.random.default_rng(3)
    return make_recording(tmp_path / "gen.kst", [
        ("Fast, \"quoted\"", 1, rng.integers(0, 65535, 5003).astype(np.uint16), None),
        ("Temp", 10, rng.integers(0, 60000, 500).astype(np.uint16), [(0, 130.0), (30000, 20.5), (60000, -7.25)]),
        ("Gear", 20, rng.integers(0, 6, 249).astype(np.uint8), None),
    ])


def expected_on_raster(rec, name, times_ms, linear):
    """A channel's values on a raster, computed from its Series alone."""
    series = rec[name]
    period = rec.channel(name).period_ms * 1_000_000
    values = series.to_numpy(dtype=np.float64)
    ns = np.round(np.asarray(times_ms) * 1e6).astype(np.int64)
    index = ns // period
    out = np.full(len(ns), np.nan)
    inside = index < len(values)
    out[inside] = values[index[inside]]
    if linear:
        frac = (ns % period) / period
        nxt = inside & (index + 1 < len(values)) & (frac > 0)
        out[nxt] = values[index[nxt]] + (values[index[nxt] + 1] - values[index[nxt]]) * frac[nxt]
    return out


@pytest.mark.parametrize("physical", [False, True])
def test_csv_per_rate_reads_back_as_the_frames_exactly(generated, tmp_path, physical):
    rec = generated.physical if physical else generated
    files = rec.to_csv(tmp_path / "out.csv")
    assert [os.path.basename(f) for f in files] == ["out_1ms.csv", "out_10ms.csv", "out_20ms.csv"]
    for period, path in zip(rec.periods, files):
        back = pd.read_csv(path, **ROUND_TRIP)
        frame = rec.frames[period]
        assert list(back.columns) == ["time_s", "timestamp"] + list(frame.columns)
        # numpy reads ISO 8601 of any precision; pandas 2 and later want one format per column.
        stamps = np.array(back["timestamp"], dtype="datetime64[ns]")
        assert pd.DatetimeIndex(stamps).tolist() == list(frame.index)
        # One correctly rounded division of whole nanoseconds, whatever unit the index has.
        elapsed_ns = (frame.index - START).to_numpy().astype("timedelta64[ns]").astype(np.int64)
        np.testing.assert_array_equal(back["time_s"], elapsed_ns / 1e9)
        for column in frame.columns:  # shortest round-trip text: every bit comes back
            np.testing.assert_array_equal(back[column].to_numpy(np.float64),
                                          frame[column].to_numpy(np.float64))


@pytest.mark.parametrize("raster, fill, physical", [(3, "auto", True), (7.5, "hold", True),
                                                    (2, "linear", False), (100, "auto", False)])
def test_csv_on_a_raster_holds_or_interpolates_each_channel(generated, tmp_path, raster, fill, physical):
    rec = generated.slice(0.5, 4.0)
    [path] = rec.to_csv(tmp_path / "r.csv", raster=raster, fill=fill, physical=physical)
    back = pd.read_csv(path, **ROUND_TRIP)
    times = 500 + raster * np.arange(int(np.ceil((4000 - 500) / raster)))
    np.testing.assert_allclose(back["time_s"] * 1000, times, rtol=0, atol=1e-9)
    view = generated.physical if physical else generated
    for name in generated:
        has_table = generated.channel(name).scaling == "table"
        linear = fill == "linear" or (fill == "auto" and physical and has_table)
        np.testing.assert_array_equal(back[name].to_numpy(np.float64),
                                      expected_on_raster(view, name, times, linear))


def test_bad_requests_are_refused_and_leave_nothing(generated, tmp_path):
    out = tmp_path / "out"
    out.mkdir()
    cases = [(dict(channels=["nope"]), ValueError, "no channel"),
             (dict(start=60), ValueError, "after the recording"),
             (dict(start=2, end=1), ValueError, "empty"),
             (dict(raster=0), ValueError, "raster")]
    for options, error, text in cases:
        with pytest.raises(error, match=text):
            generated.to_csv(out / "x.csv", **options)
    with pytest.raises(OSError, match="no folder"):
        generated.to_csv(tmp_path / "missing" / "x.csv")
    (out / "x_20ms.csv").mkdir()  # the last rate's output cannot be made
    (out / "x_1ms.csv").write_text("old")
    with pytest.raises(OSError):
        generated.to_csv(out / "x.csv")
    assert sorted(os.listdir(out)) == ["x_1ms.csv", "x_20ms.csv"]
    assert (out / "x_1ms.csv").read_text() == "old"
    with pytest.raises(ValueError, match="no export format"):
        generated.export("xls", out / "x.xls")


def test_parquet_per_rate_and_on_a_raster_read_back_by_pyarrow_and_duckdb(generated, tmp_path):
    pq = pytest.importorskip("pyarrow.parquet")
    rec = generated
    files = rec.to_parquet(tmp_path / "run.parquet", row_group_rows=1000)
    assert len(files) == 3
    for period, path in zip(rec.periods, files):
        table = pq.read_table(path)
        assert pq.ParquetFile(path).num_row_groups == -(-len(rec.frames[period]) // 1000)
        frame = table.to_pandas()
        assert (frame["time"] == rec.frames[period].index).all()
        assert (frame["elapsed"] == rec.frames[period].index - START).all()
        for name in rec.frames[period].columns:
            raw = name + " [raw]" if rec.channel(name).scaling == "table" else name
            np.testing.assert_array_equal(frame[raw], rec.frames[period][name])
            assert table.schema.field(raw).metadata[b"kestron4.values"] == b"raw"
            if raw != name:
                np.testing.assert_array_equal(frame[name], rec.physical.frames[period][name])
    temp = pq.read_schema(files[1]).field("Temp").metadata
    assert eval(temp[b"kestron4.table_points"]) == [[0, 130.0], [30000, 20.5], [60000, -7.25]]
    [raster] = rec.to_parquet(tmp_path / "raster.parquet", raster="5ms")
    duckdb = pytest.importorskip("duckdb")
    got = duckdb.sql(f"select \"Temp\", \"Gear\", time from read_parquet('{raster}') order by time").df()
    times = 5.0 * np.arange(1001)  # the 1 ms channel ends at 5003 ms
    assert len(got) == 1001
    np.testing.assert_array_equal(got["Temp"], expected_on_raster(rec.physical, "Temp", times, True))
    gear = expected_on_raster(rec, "Gear", times, False)
    assert got["Gear"].isna().tolist() == np.isnan(gear).tolist()
    np.testing.assert_array_equal(got["Gear"].dropna(), gear[~np.isnan(gear)])


def test_a_fleet_is_one_parquet_dataset_partitioned_by_file(tmp_path, sample_path):
    ds = pytest.importorskip("pyarrow.dataset")
    pytest.importorskip("dask")
    import kestron4.dask as kd

    other = tmp_path / "second.kst"
    make_recording(other, [("Oil Press", 20, np.arange(50, dtype=np.uint16), None)], clock=False)
    written = kd.to_parquet([sample_path, other], tmp_path / "fleet", raster=100)
    assert len(written) == 2
    table = ds.dataset(tmp_path / "fleet", partitioning="hive").to_table().to_pandas()
    counts = table.groupby("file", observed=True).size()
    assert counts["second.kst"] == 10 and counts["logger_data_v2.dat"] == 30
    assert table.loc[table["file"] == "second.kst", "Oil Press"].tolist()[:3] == [0, 5, 10]


def test_kstrn_export_writes_csv_and_runs_the_package_for_parquet(tmp_path, sample_path):
    kstrn = os.environ.get("KESTRON4_KSTRN") or next(
        (str(p) for p in (os.path.join(os.path.dirname(kestron4.__file__), "..", "..", "tools", "kstrn", "kstrn"),)
         if os.path.exists(p)), None)
    if kstrn is None:
        pytest.skip("kstrn is not built")
    run = lambda *args, **env: subprocess.run([kstrn, "export", str(sample_path), *args],  # noqa: E731
                                              capture_output=True, text=True,
                                              env=dict(os.environ, **env))
    done = run("--to", "csv", "-o", str(tmp_path / "a.csv"), "--raster", "500", "--channels", "Water Temp")
    assert done.returncode == 0, done.stderr
    assert pd.read_csv(tmp_path / "a.csv")["Water Temp"].tolist()[:3] == pytest.approx(
        [130.0, 101.666666, 73.333333])
    bad = run("--to", "csv", "-o", str(tmp_path / "b.csv"), "--from", "10s")
    assert bad.returncode == 2 and "after the recording" in bad.stderr
    parquet = run("--to", "parquet", "-o", str(tmp_path / "p.parquet"), "--raster", "100",
                  KESTRON4_PYTHON=sys.executable)
    try:
        import pyarrow.parquet as pq
    except ImportError:
        assert parquet.returncode == 2 and "pyarrow" in parquet.stderr
        return
    assert parquet.returncode == 0, parquet.stderr
    assert pq.read_table(tmp_path / "p.parquet").num_rows == 30
