import types
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

import kestron4
from kestron4 import names
from kestron4._core import apply_table


def test_sample_recording_frames_and_metadata(sample_path, tmp_path):
    with kestron4.open(sample_path) as session:
        rec = kestron4.recording(session)
        session.save(tmp_path / "converted.kst")
    assert rec.periods == [20, 50, 1000] and rec.length_ms == 2000
    # The first event: 1998-06-05 14:15:30.500 on the logger's clock, 500 ms in.
    assert rec.start == pd.Timestamp("1998-06-05 14:15:30")
    oil = rec.frames[20]["Oil Press"]
    # 2000 ms at 20 ms: 101 two-byte samples, little-endian.
    assert oil.dtype == np.uint16 and len(oil) == 101 and list(oil[:3]) == [0, 75, 150]
    assert oil.index[-1] - rec.start == pd.Timedelta("2s") and rec["Oil Press"].equals(oil)
    assert rec.frames[1000]["Water Temp"].dtype == np.uint8
    meta = rec.channels.loc["Water Temp"]
    assert (meta.scaling, meta.scaling_name, meta.source) == ("table", "Water NTC", "Temperature 1")
    assert meta.table_points[:2] == [(0, 130.0), (60, 90.0)]
    assert rec.channels.loc["Oil Press"].sensor_real_4 == 10.0
    assert rec.channel("Oil Press").sensor_values[0] == pytest.approx(0.01)
    # Water NTC: raw 0 85 0 -> (60, 90)..(120, 50): 90 - 25 * 40 / 60.
    assert rec.physical["Water Temp"].tolist() == pytest.approx([130.0, 90 - 25 * 40 / 60, 130.0])
    assert rec.physical.raw["Water Temp"].tolist() == [0, 85, 0]
    with kestron4.open(tmp_path / "converted.kst", "mmap") as again:
        assert kestron4.recording(again).frames[50].equals(rec.frames[50])
    assert kestron4.recording(tmp_path / "converted.kst").name == "converted.kst"
    fig = rec.plot(tmp_path / "plot.png")
    assert (tmp_path / "plot.png").read_bytes()[:4] == b"\x89PNG" and fig._suptitle.get_text() == "recording"
    assert [ax.get_ylabel() for ax in fig.axes] == ["raw sample", "Water NTC", "raw sample"]


def test_combined_is_the_union_of_sample_times_and_slices_are_half_open(sample_path):
    rec = kestron4.recording(sample_path)
    together = rec.combined()
    # The older way: every rate's frame, nullable, concatenated and sorted.
    expected = pd.concat([rec.frames[p].astype({c: "U" + str(rec.frames[p][c].dtype)[1:].capitalize()
                                               for c in rec.frames[p]}) for p in rec.periods],
                         axis=1, sort=True).sort_index()
    pd.testing.assert_frame_equal(together[expected.columns], expected, check_freq=False)
    part = rec.slice(0.5, "1s")
    assert [len(part[c]) for c in ("Oil Press", "Wheel Spd", "Water Temp")] == [25, 10, 0]
    assert part["Oil Press"].equals(rec["Oil Press"].iloc[25:50])
    assert len(rec.slice(pd.Timestamp("1998-06-05 14:15:31"))["Water Temp"]) == 2
    assert rec.physical.combined()["Water Temp"].isna().sum() == len(together) - 3
    assert together.resample("1s").count()["Oil Press"].tolist() == [50, 50, 1]
    with pytest.raises(KeyError, match="Oil Press"):
        rec["Oil"]


@pytest.mark.parametrize("points, raw, expected", [
    ([(0, 130.0), (60, 90.0), (255, 0.0)], [0, 30, 60, 255], [130, 110, 90, 0]),
    ([(200, 2.0), (100, 1.0), (100, 9.0)], [50, 150, 250], [1, 1.5, 2]),  # sorted, first kept, clamped
    ([(7, 3.0)], [0, 200], [3, 3]),
])
def test_table_points_map_raw_samples_by_linear_interpolation(points, raw, expected):
    assert apply_table(points, raw) == pytest.approx(expected)


def test_the_recording_module_is_not_shadowed_and_names_stand_for_tids(sample_path):
    assert isinstance(kestron4.recording, types.ModuleType) and "Design notes" in kestron4.recording.__doc__
    assert isinstance(kestron4.recording(sample_path), kestron4.recording.Recording)
    with kestron4.open(sample_path) as session:
        logger = session.root.item("logger")
        block = logger.item("recorded_data", 1)
        assert str(block.path) == "/2:0/135:1" and repr(block) == "<kestron4.Block /2:0/135:1>"
        assert block["name"] == block[1002] and block.keys()[0] == 1066 and "name" in block
        assert dict(block.items())[1002] == block.values()[2] and block.path == ((2, 0), (135, 1))
        for bad, error in ((70000, ValueError), (-1, ValueError), ("no_such_name", KeyError)):
            with pytest.raises(error):
                block[bad]
            with pytest.raises(error):
                logger.item(bad)
        assert block.get(70000, "none") == "none" and 70000 not in block
        for call in (lambda: block.read_blob(-1, 1), lambda: logger.add(105, -1),
                     lambda: logger.reference(70000), lambda: logger.find(107, 2**16, "x")):
            with pytest.raises(ValueError):
                call()


@pytest.mark.parametrize("name, data, error, text", [
    ("empty.dat", b"", kestron4.FileTypeError, "empty file"),
    ("text.dat", b"hello world, no logger", kestron4.FileTypeError, 'starts with "hello world,..."'),
    ("head.kst", b"KESTRON v1.0", kestron4.FileAccessError, "cut short at byte 12 of the 19-byte header"),
    ("four.dat", b"RB41", kestron4.FileTypeError, "too short to be a container or an older logger file"),
    ("cut.dat", None, kestron4.FileAccessError, "cut short at byte 3000"),
    ("folder", "dir", kestron4.FolderError, "is a directory"),
])
def test_failures_name_the_file_and_the_reason(tmp_path, sample_path, name, data, error, text):
    path = tmp_path / name
    if data == "dir":
        path.mkdir()
    else:
        path.write_bytes(sample_path.read_bytes()[:3000] if data is None else data)
    with pytest.raises(error) as raised:
        kestron4.recording(path)
    assert str(raised.value).startswith(f"{path}: ") and text in str(raised.value)


def test_channels_of_one_rate_cut_short_are_padded():
    # The tree a conversion builds: logger block 2 with samples (135),
    # layouts (133: sensor byte 1010, rate index 1050) and channel names (107).
    with kestron4.new() as session:
        logger = session.root.add(2)[0]
        for samples, layout, ref, (name, blob, wide) in zip(
                logger.add(135, 3), logger.add(133, 3), logger.add(107, 3),
                [("A", b"\x01\x02\x03\x04", True), ("B", b"\x05\x06", True), ("C", b"\x07\x08", False)]):
            samples.set_blob(blob)
            layout[1010], layout[1050] = (0 if wide else 1), 6  # every 100 ms
            ref[1002] = name
        frame = kestron4.recording(session).frames[100]
    assert list(frame.columns) == ["A", "B", "C"] and str(frame["A"].dtype) == "UInt16"
    assert frame["A"].tolist() == [0x0201, 0x0403] and frame["B"].isna().tolist() == [False, True]
    assert frame["C"].tolist() == [7, 8] and str(frame["C"].dtype) == "UInt8"
    with kestron4.new() as session, pytest.raises(ValueError):
        kestron4.recording(session)  # nothing recorded


def test_tid_dictionary(tmp_path, monkeypatch):
    base = tmp_path / "base.tsv"
    base.write_text("# comment\n\n1000-1999\tsmall\tu8\tSmall values\n1005\tminimum\tf64\tLowest\n"
                    "2000-2999\tlabel\ttext\t\n")
    over = tmp_path / "over.tsv"
    over.write_text("1000-1099\tnarrow\t-\tlater range\n1040-1049\tnarrower\t-\t\n"
                    "0-1999\twide\tu16\tlater, wider\n2000-2999\trelabel\t-\tsame range\twith a TAB\n")
    table = names.TidNames.load(base, over)
    got = [(t, table.name(t), getattr(table.lookup(t), "display", None))
           for t in (1005, 1045, 1050, 1500, 2500, 5000)]
    assert got == [(1005, "minimum", "f64"), (1045, "narrower", None), (1050, "narrow", None),
                   (1500, "small", "u8"), (2500, "relabel", None), (5000, "5000", None)]
    monkeypatch.setenv("KESTRON4_TIDS", str(over))
    assert names.default().name(1001) == "narrow"
    for bad in ("1\tx\tu8", "x\tname\tu8\t", "5-3\tname\tu8\t", "1\tname\tfloat\t", "1\tlen ms\tu8\t"):
        base.write_text(bad + "\n")
        with pytest.raises(ValueError, match="base.tsv:1"):
            names.TidNames.load(base)


def test_the_package_finds_its_own_dictionary(source_dir, monkeypatch):
    # Beside the staged or installed package, never by walking up into a
    # source tree (a build tree elsewhere has none above it).
    monkeypatch.delenv("KESTRON4_TIDS", raising=False)
    found = [p.resolve() for p in names.search_paths() if p.is_file()]
    assert found and found[0].parent.parent == Path(names.__file__).resolve().parent
    assert (source_dir / "data" / "tids.tsv").resolve() not in found
    assert names.default().name(0) == "none"


@pytest.mark.parametrize("rates", [(0, 3, 6), (0, 16)])  # 1, 10, 100 ms on one grid; 1 ms beside 5 min
def test_combined_matches_the_union_of_the_frames_also_far_apart(rates):
    with kestron4.new() as session:
        logger = session.root.add(2)[0]
        for i, rate in enumerate(rates):
            samples, layout, ref = logger.add(135)[0], logger.add(133)[0], logger.add(107)[0]
            samples.set_blob(np.arange(3 + 40 * i, dtype="<u2").view(np.uint8))
            layout[1010], layout[1050], ref[1002] = 0, rate, f"c{i}"
        rec = kestron4.recording(session)
    together = rec.combined()
    expected = pd.concat([rec[c].astype("UInt16") for c in rec], axis=1).sort_index()
    pd.testing.assert_frame_equal(together, expected, check_freq=False)


@pytest.mark.parametrize("events, start", [
    ([(1998, 13, 5, 500), (2001, 2, 3, 250)], "2001-02-03 10:20:29.750"),  # month 13: next event
    ([(2001, 2, 30, 0)], None),  # no such day: relative times
    ([], None),
])
def test_the_start_is_the_first_event_with_a_date(events, start):
    with kestron4.new() as session:
        logger = session.root.add(2)[0]
        samples, layout = logger.add(135)[0], logger.add(133)[0]
        samples.set_blob(b"\x01\x02")
        layout[1010], layout[1050] = 1, 9  # one byte every second
        for (year, month, day, at), event in zip(events, logger.add(137, len(events)) if events else []):
            for tid, value in zip(range(1067, 1074), (0, 30, 20, 10, day, month, year)):
                event[tid] = value
            event[1018] = at
        rec = kestron4.recording(session)
    assert rec.start == (None if start is None else pd.Timestamp(start))
    index = rec["module 0"].index
    assert isinstance(index, pd.TimedeltaIndex if start is None else pd.DatetimeIndex)
    assert index[1] - index[0] == pd.Timedelta("1s")
