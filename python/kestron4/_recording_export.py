"""A Recording described for the compiled MDF 4 and MAT writers: groups per
sample period, every channel's samples as the array the Recording already
holds (a view of the file, passed without a copy), its table as the points
the package interpolates between, and what has no field of its own in the
target format as name/value text."""

from __future__ import annotations

import math
import os
from typing import Any, Dict, List, Tuple

from . import _core

_EVENT_CLOCK = (1073, 1072, 1071, 1070, 1069, 1068, 1067)  # year .. milliseconds
_EVENT_CODE, _EVENT_TIME = 1074, 1018


def _text(value: Any) -> str:
    return repr(value) if isinstance(value, float) else str(value)


def _channel(track) -> Dict[str, Any]:
    channel = track.channel
    properties: List[Tuple[str, str]] = [("module", str(channel.module))]
    if channel.scaling:
        properties.append(("scaling", f"{channel.scaling} {channel.scaling_name or ''}".strip()))
    if channel.scaling == "sensor":
        for i, value in enumerate(channel.sensor_values or (), 1):
            properties.append((f"sensor_real_{i}", _text(value)))
    if channel.table_range is not None:
        properties.append(("table_minimum", _text(channel.table_range[0])))
        properties.append(("table_maximum", _text(channel.table_range[1])))
    table = [] if track.table is None else [(float(x), float(y)) for x, y in zip(*track.table)]
    return {
        "name": channel.column,
        "source": channel.source,
        "unit": "",
        "samples": track.window(),
        "table_name": (channel.scaling_name or "") if table else "",
        "table": table,
        "properties": properties,
    }


def _events(events) -> List[Tuple[float, str, List[Tuple[str, str]]]]:
    result = []
    for i, row in enumerate(events.to_dict("records") if not events.empty else []):
        properties = []
        clock = [row.get(t) for t in _EVENT_CLOCK]
        if all(v is not None and not (isinstance(v, float) and math.isnan(v)) for v in clock):
            year, month, day, hour, minute, second, ms = (int(v) for v in clock)
            properties.append(("clock", f"{year:04d}-{month:02d}-{day:02d} "
                                        f"{hour:02d}:{minute:02d}:{second:02d}.{ms:03d}"))
        code = row.get(_EVENT_CODE)
        if code is not None and not (isinstance(code, float) and math.isnan(code)):
            properties.append(("code", str(int(code))))
        time_ms = row.get(_EVENT_TIME)
        time_s = 0.0 if time_ms is None or time_ms != time_ms else float(time_ms) / 1000
        result.append((time_s, f"event {i + 1}", properties))
    return result


def describe(recording) -> Dict[str, Any]:
    contents = recording._contents
    groups: Dict[Tuple[int, int], Dict[str, Any]] = {}
    for track in contents.tracks.values():
        key = (track.period_ms, track.first)
        group = groups.setdefault(key, {"period_ns": track.period_ms * 1_000_000,
                                        "first_tick": track.first, "channels": []})
        group["channels"].append(_channel(track))
    start = recording.start
    properties = [("length_ms", str(recording.length_ms))]
    if recording.name:
        properties.append(("file", recording.name))
    return {
        "start_ns": None if start is None else int(start.value),
        "properties": properties,
        "events": _events(contents.events),
        "groups": [groups[k] for k in sorted(groups)],
    }


def write(recording, path: "os.PathLike[str] | str", fmt: str, **options: bool) -> None:
    _core.write_recording(os.fsdecode(os.fspath(path)), fmt, describe(recording), options)
