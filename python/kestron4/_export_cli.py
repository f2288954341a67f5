"""``kstrn export --to parquet`` runs this module (``python -m
kestron4._export_cli``): the request as kstrn parsed it, written by the
package's Parquet exporter. Exit status 0, or 2 with the reason on stderr."""

from __future__ import annotations

import argparse
import sys
from typing import Dict, List, Optional


def _time(text: Optional[str]) -> Optional[float]:
    """kstrn's times: seconds, or a number with ms, s or min; in seconds."""
    if text is None:
        return None
    for unit, scale in (("ms", 0.001), ("min", 60.0), ("s", 1.0)):
        if text.endswith(unit):
            return float(text[: -len(unit)]) * scale
    return float(text)


def main(argv: List[str]) -> int:
    parser = argparse.ArgumentParser(prog="kstrn export")
    parser.add_argument("file")
    parser.add_argument("--to", dest="format", required=True)
    parser.add_argument("-o", "--output", required=True)
    parser.add_argument("--channel", action="append")
    parser.add_argument("--from", dest="start")
    parser.add_argument("--until")
    parser.add_argument("--raster", type=float)
    parser.add_argument("--raw", action="store_true")
    parser.add_argument("--fill", default="auto")
    parser.add_argument("--set", action="append", default=[])
    args = parser.parse_args(argv)
    settings: Dict[str, str] = dict(s.split("=", 1) for s in args.set)
    try:
        from .recording import recording

        rec = recording(args.file)
        if args.format != "parquet":
            raise ValueError(f"no format {args.format!r} here")
        if settings:
            raise ValueError(f"parquet takes no setting {next(iter(settings))!r}")
        rec.to_parquet(args.output, channels=args.channel, start=_time(args.start),
                       end=_time(args.until), raster=args.raster, physical=not args.raw,
                       fill=args.fill)
    except ImportError as error:
        print(f"kstrn: {error}", file=sys.stderr)
        return 2
    except (ValueError, OSError) as error:
        print(f"kstrn: {args.file}: {error}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
