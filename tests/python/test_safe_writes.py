"""The package's writers leave all writing to the library, whose one way of
writing a file the crash replay test checks: no file is opened for writing,
renamed or removed from Python while a session is saved, a fleet conversion
runs or a plot is written."""

import os
import sys

import pytest

import kestron4
from kestron4._fleet_convert import convert_file

_WRITING = {"os.rename", "os.replace", "os.remove", "os.unlink", "os.mkdir", "os.rmdir"}
_events = None


def _hook(event, args):
    if _events is None:
        return
    if event in _WRITING:
        _events.append((event, args[0]))
    elif event == "open" and isinstance(args[0], (str, bytes, os.PathLike)):
        mode, flags = args[1], args[2]
        if (mode and any(c in str(mode) for c in "wax+")) or (flags & (os.O_WRONLY | os.O_RDWR)):
            _events.append((event, args[0]))


sys.addaudithook(_hook)


@pytest.fixture
def python_writes():
    global _events
    _events = []
    yield _events
    _events = None


def test_saves_conversions_and_plots_write_only_through_the_library(sample_path, tmp_path,
                                                                      python_writes):
    out = tmp_path / "out.kst"
    with kestron4.open(sample_path) as session:
        session.save(out)
        session.save(out)  # over the old file
    row = convert_file(str(sample_path), str(tmp_path / "converted.kst"))
    assert row["code"] == 0
    with kestron4.open(sample_path) as session:
        kestron4.recording(session).plot(tmp_path / "plot.png")
    # matplotlib may write its own caches elsewhere
    assert [e for e in python_writes if str(tmp_path) in os.fsdecode(e[1])] == []
    assert sorted(os.listdir(tmp_path)) == ["converted.kst", "out.kst", "plot.png"]
    assert (tmp_path / "plot.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
