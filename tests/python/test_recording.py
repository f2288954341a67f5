import numpy as np
import pytest

import kestron4
from kestron4 import names


def test_sample_recording_frames_and_metadata(sample_path, tmp_path):
    with kestron4.open(sample_path) as session:
        rec = kestron4.recording(session)
        session.save(tmp_path / "converted.kst")
    assert rec.periods == [20, 50, 1000] and rec.length_ms == 2000
    oil = rec.frames[20]["Oil Press"]
    # 2000 ms at 20 ms: 101 two-byte samples, little-endian.
    assert oil.dtype == np.uint16 and len(oil) == 101 and list(oil[:3]) == [0, 75, 150]
    assert oil.index[-1].total_seconds() == 2.0
    assert rec.frames[1000]["Water Temp"].dtype == np.uint8
    meta = rec.channels.loc["Water Temp"]
    assert (meta.scaling, meta.scaling_name, meta.source) == ("table", "Water NTC", "Temperature 1")
    assert meta.table_points[:2] == [(0, 130.0), (60, 90.0)]
    assert rec.channels.loc["Oil Press"].sensor_values[3] == 10.0
    assert rec.combined()["Wheel Spd"].isna().sum() > 0
    with kestron4.open(tmp_path / "converted.kst", "mmap") as again:
        assert kestron4.recording(again).frames[50].equals(rec.frames[50])
    rec.plot(tmp_path / "plot.png")
    assert (tmp_path / "plot.png").read_bytes()[:4] == b"\x89PNG"


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
