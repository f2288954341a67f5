"""Names of TIDs, read from TID dictionaries (``tids.tsv``).

A dictionary is a text file of lines with four TAB-separated fields::

    # comment
    2001	record_key	text	Key of a record
    10000-10003	counter	u32	Counters

the TID (``N``) or an inclusive range (``N-M``), a name, a display kind
(``u8 i8 u16 i16 u32 i32 u64 i64 f32 f64 text utf8 utf16 hex blob`` or ``-``)
and a description. Lines starting with ``#`` and blank lines are ignored.
Where several entries cover a TID the narrowest wins (a single TID over any
range holding it); among equally narrow ones the later line, and so the later
file, wins. Further TABs belong to the description, read as blanks.

:func:`default` loads the dictionary installed with kestron4 (package data,
``share/kestron4/tids.tsv`` under the install prefix; a build tree stages it
as package data), then the files named in the environment variable
``KESTRON4_TIDS`` (separated by ``os.pathsep``) over it.
"""

from __future__ import annotations

import os
import re
import struct
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Dict, Iterable, List, Optional, Tuple, Union

DISPLAYS = ("item", "u8", "i8", "u16", "i16", "u32", "i32", "u64", "i64", "f32", "f64",
            "text", "utf8", "utf16", "hex", "blob")
_NAME = re.compile(r"[A-Za-z_][A-Za-z0-9_.]*")
_NUMBERS = {"u8": "<B", "i8": "<b", "u16": "<H", "i16": "<h", "u32": "<I", "i32": "<i",
            "u64": "<Q", "i64": "<q", "f32": "<f", "f64": "<d"}


@dataclass(frozen=True)
class TidName:
    """One entry: the TIDs it covers, its name, display kind (None for '-') and description."""

    first: int
    last: int
    name: str
    display: Optional[str]
    description: str


class TidNames:
    """A TID dictionary: :meth:`lookup` finds the entry of a TID."""

    def __init__(self, entries: Iterable[TidName] = ()) -> None:
        self._single: Dict[int, TidName] = {}
        self._ranges: List[TidName] = []
        self._by_name: Dict[str, TidName] = {}
        for entry in entries:
            self.add(entry)

    def add(self, entry: TidName) -> None:
        """Adds an entry over the ones already there."""
        single = entry.first == entry.last
        if single:
            self._single[entry.first] = entry
        else:
            self._ranges.append(entry)
        known = self._by_name.get(entry.name)
        if known is None or single or known.first != known.last:
            self._by_name[entry.name] = entry

    @classmethod
    def load(cls, *paths: Union[str, "os.PathLike[str]"]) -> "TidNames":
        """Reads the files in order, later ones over earlier ones."""
        names = cls()
        for path in paths:
            names.read(path)
        return names

    def read(self, path: Union[str, "os.PathLike[str]"]) -> None:
        """Adds every entry of one file; ValueError names the first bad line."""
        with open(path, encoding="utf-8-sig") as lines:
            for number, line in enumerate(lines, 1):
                try:
                    entry = parse_line(line)
                except ValueError as error:
                    raise ValueError(f"{path}:{number}: {error}") from None
                if entry is not None:
                    self.add(entry)

    def lookup(self, tid: int) -> Optional[TidName]:
        """The entry for tid, or None: the narrowest covering it, the later among equals."""
        entry = self._single.get(tid)
        if entry is not None:
            return entry
        best = None
        for candidate in reversed(self._ranges):
            if candidate.first <= tid <= candidate.last and (
                    best is None or candidate.last - candidate.first < best.last - best.first):
                best = candidate
        return best

    def name(self, tid: int) -> str:
        """The name of tid, or the TID as text when it has none."""
        entry = self.lookup(tid)
        return entry.name if entry is not None else str(tid)

    def tid(self, name: str) -> Optional[int]:
        """The TID a name stands for: its latest single entry, else the first
        TID of its latest range; None when no entry has the name."""
        entry = self._by_name.get(name)
        return None if entry is None else entry.first

    def __len__(self) -> int:
        return len(self._single) + len(self._ranges)


def parse_line(line: str) -> Optional[TidName]:
    """One dictionary line as an entry; None for comments and blank lines."""
    text = line.rstrip("\r\n")
    if not text.strip() or text.lstrip().startswith("#"):
        return None
    fields = text.split("\t", 3)
    if len(fields) != 4:
        raise ValueError(f"expected 4 TAB-separated fields, found {len(fields)}")
    tids, name, display, description = fields
    name = name.strip()
    if not _NAME.fullmatch(name):
        raise ValueError(f"{name!r} is not a name")
    first, _, last = tids.strip().partition("-")
    try:
        low, high = int(first), int(last or first)
    except ValueError:
        raise ValueError(f"bad TID or range {tids!r}") from None
    if not 0 <= low <= high <= 0xFFFF:
        raise ValueError(f"TID range {tids!r} outside 0..65535 or reversed")
    display = display.strip()
    if display != "-" and display not in DISPLAYS:
        raise ValueError(f"unknown display {display!r}")
    description = description.replace("\t", " ").strip()
    return TidName(low, high, name, None if display == "-" else display, description)


def decode(display: Optional[str], payload: bytes) -> Union[int, float, str, bytes]:
    """A payload shown as display says; bytes when it does not fit the display."""
    if display in _NUMBERS:
        layout = _NUMBERS[display]
        if len(payload) == struct.calcsize(layout):
            number: Union[int, float] = struct.unpack(layout, payload)[0]
            return number
        return bytes(payload)
    if display == "hex":
        return payload.hex()
    if display in ("text", "utf8", "utf16"):
        if display == "utf16":
            text = payload.decode("utf-16-le", "replace")
        else:
            text = payload.split(b"\0", 1)[0].decode("utf-8" if display == "utf8" else "cp1252", "replace")
        return text.split("\0", 1)[0]
    return bytes(payload)


def search_paths() -> List[Path]:
    """Where :func:`default` looks for the installed dictionary, in order."""
    here = Path(__file__).resolve().parent
    paths = [here / "data" / "tids.tsv"]
    # <prefix>/lib/python3.X/site-packages/kestron4 -> <prefix>/share/kestron4
    paths += [parent / "share" / "kestron4" / "tids.tsv" for parent in here.parents[:5]]
    paths += [Path(sys.prefix) / "share" / "kestron4" / "tids.tsv",
              Path("/usr/local/share/kestron4/tids.tsv"),
              Path("/usr/share/kestron4/tids.tsv")]
    return paths


_DEFAULT: Optional[Tuple[Tuple[str, ...], TidNames]] = None


def default() -> TidNames:
    """The installed dictionary with ``KESTRON4_TIDS`` files over it (empty when none exists)."""
    global _DEFAULT
    extra = tuple(p for p in os.environ.get("KESTRON4_TIDS", "").split(os.pathsep) if p)
    if _DEFAULT is None or _DEFAULT[0] != extra:
        found = next((p for p in search_paths() if p.is_file()), None)
        files = ([found] if found is not None else []) + list(extra)
        _DEFAULT = (extra, TidNames.load(*files))
    return _DEFAULT[1]
