"""Exports of a Recording: CSV and the formats of the compiled recording
layer (written in C++), and Parquet (written here by pyarrow, from the
layer's chunks or the zero-copy sample arrays, a row group at a time).
Every output goes through the project's safe writer: a failure leaves the
old file, or none, and no partial file."""

from __future__ import annotations

import io
import json
import os
from typing import TYPE_CHECKING, Any, Dict, Iterator, List, Optional, Sequence, Tuple, Union

import numpy as np

from . import _core

if TYPE_CHECKING:  # pragma: no cover
    import pyarrow as pa

    from .recording import Recording

PathLike = Union[str, "os.PathLike[str]"]
ROW_GROUP_ROWS = 1 << 20  # per rate: slices of the sample arrays
RASTER_GROUP_ROWS = 1 << 16  # on a raster: the aligner's chunks, eight bytes a value


def options(rec: "Recording", channels: Optional[Sequence[str]], start: Any, end: Any,
            raster: Any, physical: Optional[bool], fill: str,
            settings: Optional[Dict[str, str]] = None, chunk_rows: Optional[int] = None
            ) -> Dict[str, Any]:
    """The export options of the compiled layer: the window is start/end, else
    the Recording's slice; raster in ms (a number) or a timedelta."""
    low, high = rec._window
    result: Dict[str, Any] = {
        "channels": list(channels) if channels is not None else None,
        "from_ms": rec._ms(start) if start is not None else (None if low is None else max(low, 0.0)),
        "to_ms": rec._ms(end) if end is not None else high,
        "raster_ms": _raster_ms(raster),
        "physical": rec.is_physical if physical is None else bool(physical),
        "fill": fill,
        "settings": dict(settings or {}),
    }
    if chunk_rows is not None:
        result["chunk_rows"] = int(chunk_rows)
    return result


def _raster_ms(raster: Any) -> Optional[float]:
    if raster is None:
        return None
    if isinstance(raster, (int, float, np.integer, np.floating)) and not isinstance(raster, bool):
        return float(raster)
    import pandas as pd
    return pd.Timedelta(raster).value / 1e6


def export(rec: "Recording", format: str, path: PathLike, opts: Dict[str, Any]) -> List[str]:
    """Writes through the compiled layer's format table; returns the files written."""
    out = os.fsdecode(path)
    rec._core().export(format, out, opts)
    if opts.get("raster_ms") is not None or format not in ("csv",):
        return [out]
    return [_core.rate_output_path(out, p) for p in _periods(rec, opts)]


def _periods(rec: "Recording", opts: Dict[str, Any]) -> List[int]:
    names = opts.get("channels")
    tracks = rec._contents.tracks
    chosen = [tracks[n] if n in tracks else next(t for t in tracks.values() if t.channel.column == n)
              for n in names] if names else list(tracks.values())
    return sorted({t.period_ms for t in chosen})


class _SafeStream(io.RawIOBase):
    """A write-only file object over the safe writer, for pyarrow."""

    def __init__(self, path: str) -> None:
        super().__init__()
        self._out = _core.SafeOutput(path)

    def writable(self) -> bool:
        return True

    def write(self, data: Any) -> int:
        return self._out.write(memoryview(data).cast("B"))

    def tell(self) -> int:
        return self._out.tell()

    def commit(self) -> None:
        self._out.commit()

    def abandon(self) -> None:
        self._out.abandon()


def _pyarrow() -> Any:
    try:
        import pyarrow
        import pyarrow.parquet  # noqa: F401
    except ImportError:
        raise ImportError("Parquet export needs pyarrow (pip install pyarrow)") from None
    return pyarrow


def to_parquet(rec: "Recording", path: PathLike, opts: Dict[str, Any],
               row_group_rows: Optional[int] = None) -> List[str]:
    """Writes the Parquet file(s) of opts; returns their paths."""
    pa = _pyarrow()
    out = os.fsdecode(path)
    if row_group_rows is None:
        row_group_rows = ROW_GROUP_ROWS if opts.get("raster_ms") is None else RASTER_GROUP_ROWS
    opts = dict(opts, chunk_rows=row_group_rows)
    if opts.get("raster_ms") is not None and rec._source is not None:
        # The aligner reads a chunk at a time from a streamed session, so the
        # pages of a mapping do not pile up with the recording's length.
        from ._session import open as _open
        with _open(rec._source, "stream") as session:
            return _to_parquet(pa, rec, session._s.recording(), out, opts, row_group_rows)
    return _to_parquet(pa, rec, rec._core(), out, opts, row_group_rows)


def _to_parquet(pa: Any, rec: "Recording", core: Any, out: str, opts: Dict[str, Any],
                row_group_rows: int) -> List[str]:
    physical_opts = dict(opts)
    groups = core.groups(physical_opts)  # checks the request before anything is written
    on_raster = opts.get("raster_ms") is not None
    raw_groups = core.groups(dict(opts, physical=False, fill="hold")) \
        if opts["physical"] and on_raster else None
    infos = core.channels()
    written: List[str] = []
    streams: List[_SafeStream] = []
    try:
        for g, (key, indices, chunks, from_ns, to_ns) in enumerate(groups):
            target = out if key == 0 else _core.rate_output_path(out, key)
            raw_chunks = raw_groups[g][2] if raw_groups is not None else None
            if key != 0:  # per rate the samples come from the arrays: rows only
                chunks = _rate_rows(rec, key, indices, from_ns, to_ns, row_group_rows)
            stream = _SafeStream(target)
            streams.append(stream)
            _write_group(pa, rec, stream, key, [infos[i] for i in indices], chunks, raw_chunks,
                         bool(opts["physical"]), opts.get("fill", "auto"))
            written.append(target)
        for stream in streams:
            stream.commit()
    except BaseException:
        for stream in streams:
            stream.abandon()
        raise
    return written


def _write_group(pa: Any, rec: "Recording", stream: _SafeStream, key: int,
                 infos: List[Dict[str, Any]], chunks: Any, raw_chunks: Any, physical: bool,
                 fill: str) -> None:
    import pyarrow.parquet as pq

    schema = _schema(pa, rec, key, infos, physical, fill)
    times = [n for n in ("elapsed", "time") if n in schema.names]
    # The time columns step evenly: delta encoding stores them in a few bits
    # a row, where a dictionary would be tried and dropped at a cost.
    writer = pq.ParquetWriter(stream, schema,
                              use_dictionary=[n for n in schema.names if n not in times],
                              column_encoding={n: "DELTA_BINARY_PACKED" for n in times})
    for arrays in (_raster_batches if key == 0 else _rate_batches)(
            pa, rec, key, infos, chunks, raw_chunks, physical):
        writer.write_table(pa.Table.from_arrays(arrays, schema=schema))
    writer.close()


def _time_arrays(pa: Any, rec: "Recording", ns: np.ndarray) -> List[Any]:
    arrays = [pa.array(ns, type=pa.duration("ns"))]
    if rec.start is not None:
        arrays.append(pa.array(ns + rec.start.value, type=pa.timestamp("ns")))
    return arrays


def _raster_batches(pa: Any, rec: "Recording", key: int, infos: List[Dict[str, Any]], chunks: Any,
                    raw_chunks: Any, physical: bool) -> Iterator[List[Any]]:
    """On a raster: the C++ aligner's chunks, physical and raw in step."""
    raws = iter(raw_chunks) if raw_chunks is not None else None
    for times, values in chunks:
        arrays = _time_arrays(pa, rec, times)
        raw_values = next(raws)[1] if raws is not None else values
        for c, info in enumerate(infos):
            if physical and info["physical"]:
                arrays.append(pa.array(values[c], type=pa.float64(), from_pandas=True))
            arrays.append(_raw_array(pa, raw_values[c], info["sample_bytes"]))
        yield arrays


def _rate_batches(pa: Any, rec: "Recording", key: int, infos: List[Dict[str, Any]], chunks: Any,
                  raw_chunks: Any, physical: bool) -> Iterator[List[Any]]:
    """Per rate: the rows the C++ reader gives, their samples taken from the
    zero-copy arrays (no conversion through doubles), scaled by the layer."""
    tracks = {t.index: t for t in rec._contents.tracks.values()}
    step = key * 1_000_000
    for times, _ in chunks:
        first = int(times[0]) // step
        rows = len(times)
        arrays = _time_arrays(pa, rec, times)
        for info in infos:
            track = tracks[info["index"]]
            part = track.samples[first:min(first + rows, len(track.samples))]
            if physical and info["physical"]:
                scaled = track.table(part) if track.table is not None else part.astype(np.float64)
                arrays.append(_padded(pa, pa.array(scaled, type=pa.float64()), rows, len(part)))
            raw_type = pa.uint8() if info["sample_bytes"] == 1 else pa.uint16()
            arrays.append(_padded(pa, pa.array(part, type=raw_type), rows, len(part)))
        yield arrays


def _rate_rows(rec: "Recording", period_ms: int, indices: List[int], from_ns: int, to_ns: int,
               rows: int) -> Iterator[Tuple[np.ndarray, None]]:
    """The row times of one rate group, a row group at a time: the rows whose
    time lies in [from_ns, to_ns), up to the group's longest channel (the
    C++ reader's rows, without reading samples)."""
    step = period_ms * 1_000_000
    longest = max(t.channel.samples for t in rec._contents.tracks.values() if t.index in indices)
    first = min(-(-from_ns // step), longest)
    stop = max(first, min(-(-to_ns // step), longest))
    for start in range(first, stop, rows):
        yield np.arange(start, min(start + rows, stop), dtype=np.int64) * step, None


def _padded(pa: Any, array: Any, rows: int, have: int) -> Any:
    if have == rows:
        return array
    return pa.concat_arrays([array, pa.nulls(rows - have, type=array.type)])


def _raw_array(pa: Any, values: np.ndarray, width: int) -> Any:
    missing = np.isnan(values)
    kind = np.uint8 if width == 1 else np.uint16
    data = np.where(missing, 0, values).astype(kind)
    return pa.array(data, type=pa.uint8() if width == 1 else pa.uint16(),
                    mask=missing if missing.any() else None)


def _schema(pa: Any, rec: "Recording", key: int, infos: List[Dict[str, Any]], physical: bool,
            fill: str) -> Any:
    fields = [pa.field("elapsed", pa.duration("ns"), nullable=False,
                       metadata={"kestron4.meaning": "time since the start of the recording"})]
    if rec.start is not None:
        fields.append(pa.field("time", pa.timestamp("ns"), nullable=False,
                               metadata={"kestron4.meaning": "the logger's clock (no time zone)"}))
    for info in infos:
        meta = _channel_metadata(info)
        if physical and info["physical"]:
            fields.append(pa.field(info["column"], pa.float64(),
                                   metadata=dict(meta, **{"kestron4.values": "physical"})))
            raw_name = info["column"] + " [raw]"
        else:
            raw_name = info["column"]
        fields.append(pa.field(raw_name, pa.uint8() if info["sample_bytes"] == 1 else pa.uint16(),
                               metadata=dict(meta, **{"kestron4.values": "raw"})))
    recording = {
        "name": rec.name, "length_ms": rec.length_ms,
        "start": None if rec.start is None else rec.start.isoformat(),
        "period_ms": key or None, "raster_ms": None,
        "fill": fill if key == 0 else None,
        "units": None,
    }
    return pa.schema(fields, metadata={"kestron4.recording": json.dumps(recording)})


def _channel_metadata(info: Dict[str, Any]) -> Dict[str, str]:
    keep = ("name", "source", "module", "period_ms", "sample_bytes", "scaling", "scaling_name",
            "sensor_reals", "table_range", "table_points")
    return {f"kestron4.{k}": json.dumps(info[k]) for k in keep}


def fleet_file(path: str, out_dir: str, opts: Dict[str, Any]) -> List[str]:
    """One file of a fleet dataset: out_dir/file=<name>/[period_ms=<P>/]part-0.parquet."""
    from urllib.parse import quote

    from .recording import recording as _recording

    rec = _recording(path)
    part = os.path.join(out_dir, "file=" + quote(os.path.basename(path), safe=""))
    os.makedirs(part, exist_ok=True)
    if opts.get("raster_ms") is not None:
        return to_parquet(rec, os.path.join(part, "part-0.parquet"), opts)
    written = []
    for period in _periods(rec, opts):
        folder = os.path.join(part, f"period_ms={period}")
        os.makedirs(folder, exist_ok=True)
        chosen = [n for n in rec if rec.channel(n).period_ms == period and
                  (not opts.get("channels") or n in opts["channels"])]
        if chosen:
            written += to_parquet(rec, os.path.join(folder, "part.parquet"), dict(opts, channels=chosen))
    return written
