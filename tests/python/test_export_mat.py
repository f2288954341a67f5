"""MAT exports read back by scipy.io: every channel's name, time vector,
raw samples and physical values equal what kestron4.recording gives."""

import numpy as np
import pandas as pd
import pytest

import kestron4
from recording_cases import bench_recordings, build, seconds

sio = pytest.importorskip("scipy.io")


def check(rec, path):
    variables = sio.loadmat(path, simplify_cells=True)
    channels = {v["name"]: v for k, v in variables.items() if not k.startswith("__") and k != "recording"}
    assert sorted(channels) == sorted(rec)
    info = variables["recording"]
    assert (info["start"] == "") if rec.start is None else (pd.Timestamp(info["start"]) == rec.start)
    np.testing.assert_allclose(np.atleast_1d(info["event_time"]),
                               [t / 1000 for t in rec.events.get(1018, [])])
    for name, variable in channels.items():
        channel = rec.channel(name)
        raw = rec.raw[name]
        assert variable["source"] == channel.source
        assert variable["period_s"] == channel.period_ms / 1000
        got_raw = np.atleast_1d(variable["raw"])
        if len(raw) > 1:  # loadmat gives a single sample as a Python number
            assert got_raw.dtype == raw.dtype, name
        np.testing.assert_array_equal(got_raw, raw.to_numpy())
        np.testing.assert_allclose(np.atleast_1d(variable["time"]), seconds(raw.index, rec.start),
                                   rtol=0, atol=1e-9)
        if rec._contents.tracks[name].table is not None:  # a table applies
            np.testing.assert_array_equal(np.atleast_1d(variable["value"]), rec.physical[name].to_numpy())
            assert variable["table_name"] == channel.scaling_name
        else:
            assert "value" not in variable


def test_the_sample_reads_back_the_same(sample_path, tmp_path):
    rec = kestron4.recording(sample_path)
    rec.to_mat(tmp_path / "sample.mat")
    check(rec, tmp_path / "sample.mat")
    variables = sio.loadmat(tmp_path / "sample.mat", simplify_cells=True)
    assert "Oil_Press" in variables and float(variables["Oil_Press"]["properties"]["sensor_real_4"]) == 10.0


def test_generated_recordings_read_back_the_same(source_dir, tmp_path):
    for path in bench_recordings(source_dir, tmp_path):
        rec = kestron4.recording(path)
        rec.to_mat(tmp_path / "out.mat")
        check(rec, tmp_path / "out.mat")


@pytest.mark.parametrize("channels", [
    [(0, 2, 1, None), (0, 1, 0, None), (3, 2, 17, [(0, 5.0), (9, -5.0)])],  # one, none, a table
    [(16, 1, 3, [(7, 1.5)])],  # one point: every sample maps to it
])
def test_short_and_empty_channels(tmp_path, channels):
    with build(channels, [(2020, 1, 2, 0)]) as session:
        rec = kestron4.recording(session)
        rec.to_mat(tmp_path / "few.mat")
        check(rec, tmp_path / "few.mat")


@pytest.mark.parametrize("pybind11, numpy_version, refused", [
    ((2, 10), "1.24.2", False), ((2, 10), "2.4.6", True), ((2, 11), "2.0.0", True),
    ((2, 12), "2.4.6", False), ((3, 0), "2.1.0", False),
])
def test_a_module_that_misreads_numpy_2_is_refused_at_import(pybind11, numpy_version, refused):
    from kestron4._abi import check_numpy_abi

    if refused:
        with pytest.raises(ImportError, match="pybind11"):
            check_numpy_abi(pybind11, numpy_version)
    else:
        check_numpy_abi(pybind11, numpy_version)
