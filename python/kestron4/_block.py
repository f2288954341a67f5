"""Item blocks: the nodes of a session tree."""

from __future__ import annotations

from typing import Any, Dict, Iterator, List, Optional, Tuple, Union

import numpy as np

from ._versions import require

require("numpy", np.__version__)

from . import _core
from ._tids import block_path, number, tid_of

Value = Union[int, float, str, bytes]
Tid = Union[int, str]  # a number or a name of the TID dictionary
_number = number
_U64 = 2**64 - 1


class Block:
    """One item block of a session.

    A block holds an ordered set of values, each under its value TID
    (1000..13999), and an ordered set of items, each an item TID with a list of
    item blocks. Values read like a dict: ``block[2001]``, ``2001 in block``,
    ``for tid in block``, ``block.get(2001)``; item blocks are reached with
    :meth:`items`, :meth:`item` and :meth:`children`. Like a dict,
    ``keys()``, ``values()`` and ``items()`` give the TIDs, the values and
    (TID, value) pairs. Wherever a TID is asked for, a name of the TID
    dictionary does too (``block["name"]``, ``block.item("logger")``); a
    number outside 0..65535 raises ValueError, an unknown name KeyError.

    A block object stays valid for as long as its session is open and the
    block exists; after the block was deleted every use raises
    :class:`kestron4.DeletedBlockError`, after the session was closed
    :class:`kestron4.ClosedError`. Two objects for the same block compare
    equal.
    """

    __slots__ = ("_b", "__weakref__")

    def __init__(self, core: "_core.Block") -> None:
        self._b = core

    # -- where it is --------------------------------------------------------
    @property
    def tid(self) -> Optional[int]:
        """Item TID of the item this block belongs to; None for the root."""
        position = self._b.position()
        return None if position is None else position[0]

    @property
    def index(self) -> Optional[int]:
        """Position of this block in its item; None for the root."""
        position = self._b.position()
        return None if position is None else position[1]

    @property
    def parent(self) -> Optional["Block"]:
        """The block that holds this one; None for the root."""
        core = self._b.parent()
        return None if core is None else Block(core)

    @property
    def path(self) -> Tuple[Tuple[int, int], ...]:
        """(item TID, index) steps from the root down to this block; a tuple
        that prints as kstrn writes paths, "/2:0/135:1"."""
        return block_path(self._b.path())

    def __eq__(self, other: object) -> bool:
        return isinstance(other, Block) and self._b.same_as(other._b)

    __hash__ = None  # type: ignore[assignment]  # identity follows edits

    def __repr__(self) -> str:
        try:
            where = str(self.path)
        except Exception as error:  # a deleted block or closed session
            where = f"unusable: {error}"
        return f"<kestron4.Block {where}>"

    # -- values -------------------------------------------------------------
    def keys(self) -> List[int]:
        """The value TIDs, in order."""
        return self._b.value_tids()

    def __iter__(self) -> Iterator[int]:
        return iter(self._b.value_tids())

    def __len__(self) -> int:
        return len(self._b.value_tids())

    def __contains__(self, tid: object) -> bool:
        try:
            return self._b.has(tid_of(tid))
        except (TypeError, ValueError, KeyError):
            return False

    def __getitem__(self, tid: Union[int, str]) -> Value:
        """The value under tid, decoded by its layout.

        Text (marked UTF-8 or Windows-1252) comes back as ``str``, other
        string payloads and blobs as ``bytes``, 1- to 5-byte fixed values as
        unsigned ``int``, 8-byte values as ``float`` (value type 5) or signed
        ``int`` (type 6). Raises :class:`kestron4.ValueNotFoundError` (a
        ``KeyError``) when there is none.
        """
        return self._b.get(tid_of(tid))

    def get(self, tid: Union[int, str], default: Any = None) -> Any:
        """The value under tid, or default when there is none (also for a number
        outside 0..65535; an unknown name raises KeyError)."""
        try:
            number = tid_of(tid)
        except ValueError:
            return default
        return self._b.get(number) if self._b.has(number) else default

    def raw(self, tid: Union[int, str]) -> bytes:
        """The payload bytes of value tid, undecoded."""
        return self._b.raw(tid_of(tid))

    def read(self, tid: Tid, display: str) -> Value:
        """The value under tid shown as a TID-dictionary display kind
        ("i16", "f32", "hex", "utf16", ...; see :mod:`kestron4.names`)."""
        from . import names

        if display not in names.DISPLAYS:
            raise ValueError(f"display must be one of {names.DISPLAYS}, not {display!r}")
        return names.decode(display, self._b.raw(tid_of(tid)))

    def values(self) -> List[Value]:
        """Every decoded value, in order of their TIDs."""
        return [value for _, value in self._b.value_items()]

    def __setitem__(self, tid: Tid, value: Union[Value, bytearray, memoryview]) -> None:
        """Stores a value, replacing one with the same TID.

        Integers are checked against the TID's width (unsigned, except the
        signed 8-byte value type 6); floats go to 8-byte values of type 5;
        ``str`` goes to string TIDs as marked UTF-8; bytes-like objects are
        stored as the payload (exactly the width for fixed TIDs). Anything
        else raises TypeError, a value that does not fit ValueError.
        """
        self._b.set(tid_of(tid), value, "utf8")

    def set_text(self, tid: Tid, text: str, encoding: str = "utf8") -> None:
        """Stores text as marked UTF-8 ("utf8") or Windows-1252 ("ansi")."""
        if not isinstance(text, str):
            raise TypeError(f"text must be str, not {type(text).__name__}")
        self._b.set(tid_of(tid), text, encoding)

    def __delitem__(self, tid: Tid) -> None:
        self._b.delete_value(tid_of(tid))

    # -- item blocks --------------------------------------------------------
    @property
    def item_tids(self) -> List[int]:
        """The item TIDs, in order."""
        return self._b.item_tids()

    def count(self, tid: Tid) -> int:
        """Number of blocks of item tid (0 when absent)."""
        return self._b.count(tid_of(tid))

    def items(self, tid: Union[int, str, None] = None) -> List[Any]:
        """The blocks of item tid, in order (empty when there is none); without
        tid, every value as (TID, decoded value) like a dict, read in one call."""
        if tid is None:
            return self._b.value_items()
        return [Block(core) for core in self._b.children(tid_of(tid))]

    def item(self, tid: Union[int, str], index: int = 0) -> "Block":
        """Block index of item tid (negative counts from the end); IndexError outside."""
        return Block(self._b.child(tid_of(tid), index))

    def children(self) -> Iterator[Tuple[int, "Block"]]:
        """Every child block as (item TID, block), item by item."""
        for tid in self._b.item_tids():
            for core in self._b.children(tid):
                yield tid, Block(core)

    def walk(self) -> Iterator["Block"]:
        """This block and every block below it, depth first."""
        stack = [self]
        while stack:
            block = stack.pop()
            yield block
            below = [child for _, child in block.children()]
            stack.extend(reversed(below))

    def find(self, tid: Tid, key_tid: Tid = 0, key: Any = None, *, deep: bool = True) -> Optional["Block"]:
        """The first block of item tid below this one whose value key_tid equals key.

        With key_tid 0 any block of the item matches. Text keys (str) match
        text stored in either encoding. ``deep=False`` searches this block's
        own items only; otherwise children are tried before grandchildren.
        None when nothing matches.
        """
        core = self._b.find(tid_of(tid), tid_of(key_tid), key, deep)
        return None if core is None else Block(core)

    # -- references -----------------------------------------------------------
    def reference(self, number: int) -> "Block":
        """The block that reference ``number`` of this block names."""
        return Block(self._b.reference(_number(number, "reference number", 0xFFFF)))

    def refer(self, number: int, target: "Block", key_tid: Tid) -> None:
        """Makes reference ``number`` of this block name target by its value key_tid."""
        self._b.refer(target._b, _number(number, "reference number", 0xFFFF), tid_of(key_tid))

    def referrers(self, key_tid: Tid) -> List["Block"]:
        """The blocks whose references name this block by its value key_tid."""
        return [Block(core) for core in self._b.referrers(tid_of(key_tid))]

    # -- edits ----------------------------------------------------------------
    def add(self, tid: Tid, count: int = 1) -> List["Block"]:
        """Appends count empty blocks to item tid and returns them."""
        return [Block(core) for core in self._b.add_blocks(tid_of(tid), _number(count, "count", 0xFFFFFFFF))]

    def delete(self) -> None:
        """Deletes this block with everything below it."""
        self._b.delete()

    def delete_item(self, tid: Tid, index: Optional[int] = None) -> None:
        """Deletes block index of item tid, or the whole item when index is None."""
        self._b.delete_item(tid_of(tid), index)

    def move(self, index: int) -> None:
        """Moves this block to position index of its item."""
        self._b.move(index)

    def change_tid(self, tid: Tid) -> None:
        """Moves this block to the end of item tid of its parent."""
        self._b.change_tid(tid_of(tid))

    def copy_from(self, source: "Block", *, contents: bool = False) -> None:
        """Copies source (from any session) under this block.

        By default source becomes a new last block of its own item TID here;
        with ``contents=True`` its values and items are merged into this block.
        """
        self._b.copy_from(source._b, contents)

    def to_bytes(self) -> bytes:
        """A complete container file whose root is a copy of this block."""
        return self._b.to_bytes()

    # -- the blob (values 1063 and 1066) ----------------------------------------
    @property
    def blob_size(self) -> Optional[int]:
        """Length of this block's blob in bytes; None without one."""
        return self._b.blob_size()

    def blob(self) -> np.ndarray:
        """The blob as a read-only uint8 array.

        In-memory and memory-mapped sessions give a view without a copy; it
        keeps the session's data alive after :meth:`Session.close`, and edits
        that would free its bytes raise BufferError while it lives. Streamed
        sessions give a copy (see :meth:`read_blob` for pieces). An array over
        a mapped file reads the file directly: another program that truncates
        the file meanwhile makes reading the lost pages fault.
        """
        view = self._b.view()
        if view is None:
            size = self._b.blob_size() or 0
            array = np.frombuffer(self._b.read_blob(0, size), dtype=np.uint8)
        else:
            array = np.frombuffer(memoryview(view), dtype=np.uint8)
        return array

    def read_blob(self, offset: int, count: int) -> bytes:
        """count bytes of the blob from offset; IndexError past its end."""
        return self._b.read_blob(_number(offset, "offset", _U64), _number(count, "count", _U64))

    def set_blob(self, data: Union[bytes, bytearray, memoryview, np.ndarray]) -> None:
        """Replaces the blob (and its size value) with a copy of data."""
        self._b.set_blob(data)

    def alloc_blob(self, size: int) -> None:
        """Replaces the blob with size bytes to be filled by :meth:`write_blob`."""
        self._b.alloc_blob(_number(size, "size", 0xFFFFFFFF))

    def write_blob(self, offset: int, data: Union[bytes, bytearray, memoryview, np.ndarray]) -> None:
        """Overwrites blob bytes from offset."""
        self._b.write_blob(_number(offset, "offset", _U64), data)

    def to_dict(self) -> Dict[str, Any]:
        """The subtree as plain data: {"values": [(tid, value)], "items": [(tid, [subtree])]}."""
        return {
            "values": self.items(),
            "items": [(tid, [child.to_dict() for child in self.items(tid)]) for tid in self.item_tids],
        }
