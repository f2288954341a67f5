"""MDF 4 exports read back by asammdf: every channel's samples, timestamps,
conversion and physical values, the start time, sources and events equal
what kestron4.recording gives for the same file."""

import os

import numpy as np
import pandas as pd
import pytest

import kestron4
from recording_cases import applied_points, bench_recordings, build, seconds

asammdf = pytest.importorskip("asammdf")
hypothesis = pytest.importorskip("hypothesis")
st = hypothesis.strategies


def check(rec, path):
    mdf = asammdf.MDF(path)
    try:
        if rec.start is not None:
            assert mdf.header.start_time == rec.start.to_pydatetime()
        periods = sorted({rec.channel(n).period_ms for n in rec})
        assert len(mdf.groups) == len(periods)
        for name in rec:
            channel = rec.channel(name)
            raw_series = rec.raw[name].dropna()  # a channel cut short is padded in its frame
            raw = mdf.get(name, raw=True)
            physical = mdf.get(name)
            assert raw.samples.dtype == raw_series.dtype, name
            np.testing.assert_array_equal(raw.samples, raw_series.to_numpy(), err_msg=name)
            np.testing.assert_allclose(raw.timestamps, seconds(raw_series.index, rec.start), rtol=0, atol=1e-9)
            expected = rec.physical[name].dropna().to_numpy()
            np.testing.assert_array_equal(physical.samples, expected, err_msg=name)
            assert raw.source.name == channel.source
            if channel.scaling == "table" and channel.table_points:
                conversion = raw.conversion
                assert conversion.conversion_type == 4  # value to value with interpolation
                xs, ys = applied_points(channel.table_points)
                count = conversion.val_param_nr // 2
                assert [conversion[f"raw_{i}"] for i in range(count)] == list(xs)
                assert [conversion[f"phys_{i}"] for i in range(count)] == list(ys)
                assert channel.scaling_name in (conversion.name or "")
            if channel.scaling == "sensor":
                assert "sensor_real_1" in physical.comment
        assert len(mdf.events) == len(rec.events)
        for event, (_, row) in zip(mdf.events, rec.events.iterrows()):
            assert event.value == pytest.approx(row[1018] / 1000)
    finally:
        mdf.close()


@pytest.mark.parametrize("options", [{}, {"compress": True}, {"compress": True, "transpose": False},
                                     {"float_time": True}])
def test_the_sample_reads_back_the_same(sample_path, tmp_path, options):
    rec = kestron4.recording(sample_path)
    out = tmp_path / "sample.mf4"
    rec.to_mdf(out, **options)
    check(rec, out)


def test_generated_recordings_read_back_the_same(source_dir, tmp_path):
    for path in bench_recordings(source_dir, tmp_path):
        rec = kestron4.recording(path)
        rec.to_mdf(tmp_path / "out.mf4", compress=True)
        check(rec, tmp_path / "out.mf4")


def test_a_slice_keeps_its_place_in_time(sample_path, tmp_path):
    part = kestron4.recording(sample_path).slice("0.5s", "1.5s")
    part.to_mdf(tmp_path / "part.mf4")
    check(part, tmp_path / "part.mf4")
    times = asammdf.MDF(tmp_path / "part.mf4").get("Oil Press").timestamps
    assert times[0] == pytest.approx(0.5) and times[-1] == pytest.approx(1.48)


channel = st.tuples(st.sampled_from([0, 3, 5, 9]), st.sampled_from([1, 2]), st.integers(0, 300),
                    st.one_of(st.none(), st.lists(st.tuples(st.integers(0, 300), st.floats(-1e3, 1e3)),
                                                  min_size=1, max_size=5)))


@hypothesis.settings(max_examples=15, deadline=None)
@hypothesis.given(channels=st.lists(channel, min_size=1, max_size=5), compress=st.booleans(),
                  dated=st.booleans())
def test_any_recording_reads_back_the_same(tmp_path_factory, channels, compress, dated):
    events = [(2021, 3, 4, 250), (2021, 3, 4, 700)] if dated else []
    with build(channels, events) as session:
        rec = kestron4.recording(session)
        out = tmp_path_factory.mktemp("any") / "any.mf4"
        if not any(count for _, _, count, _ in channels):  # no samples: nothing to export
            with pytest.raises(ValueError, match="samples lie in"):
                rec.to_mdf(out, compress=compress)
            return
        rec.to_mdf(out, compress=compress)
        check(rec, out)


def test_bad_requests_are_refused_and_leave_the_old_file(sample_path, tmp_path):
    rec = kestron4.recording(sample_path)
    with pytest.raises(OSError):
        rec.to_mdf(tmp_path / "no such folder" / "x.mf4")
    out = tmp_path / "kept.mf4"
    out.write_bytes(b"old")
    with pytest.raises(ValueError, match="no such"):
        rec.to_mdf(out, channels=["no such"])
    with pytest.raises(ValueError):
        rec.slice("10s", "20s").to_mdf(out)  # after the samples
    assert out.read_bytes() == b"old" and os.listdir(tmp_path) == ["kept.mf4"]


def test_chosen_channels_and_raw_samples_only(sample_path, tmp_path):
    rec = kestron4.recording(sample_path)
    rec.to_mdf(tmp_path / "two.mf4", channels=["Water Temp", "Oil Press"], raw=True)
    mdf = asammdf.MDF(tmp_path / "two.mf4")
    names = sorted(c.name for g in mdf.groups for c in g.channels if c.name != "time")
    assert names == ["Oil Press", "Water Temp"]
    assert mdf.get("Water Temp").conversion is None
    np.testing.assert_array_equal(mdf.get("Water Temp").samples, rec.raw["Water Temp"].to_numpy())
    mdf.close()
