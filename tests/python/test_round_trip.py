"""Random trees built in Python give the same file as through the C interface,
and read back the same under every storage policy."""

import ctypes
import os
import struct

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import kestron4

VALUES = st.one_of(
    st.tuples(st.integers(6000, 6003), st.integers(0, 255)),
    st.tuples(st.integers(10000, 10003), st.integers(0, 2**32 - 1)),
    st.tuples(st.integers(12000, 12003), st.floats(allow_nan=False)),
    st.tuples(st.integers(2000, 2003), st.text(st.characters(min_codepoint=1, blacklist_categories=("Cs",)), max_size=20)),
    st.tuples(st.integers(4000, 4003), st.binary(min_size=1, max_size=300)),
    st.tuples(st.just(1063), st.binary(max_size=100)),
)
BLOCK_VALUES = st.lists(VALUES, max_size=6).map(dict)
TREES = st.recursive(
    st.fixed_dictionaries({"values": BLOCK_VALUES, "items": st.just({})}),
    lambda below: st.fixed_dictionaries({
        "values": BLOCK_VALUES,
        "items": st.dictionaries(st.integers(1, 40), st.lists(below, min_size=1, max_size=3), max_size=3),
    }),
    max_leaves=12,
)


def build_in_python(block, tree):
    for tid, value in tree["values"].items():
        block[tid] = value
    for tid, blocks in tree["items"].items():
        for child, subtree in zip(block.add(tid, len(blocks)), blocks):
            build_in_python(child, subtree)


def build_in_c(lib, s, tree):
    for tid, value in tree["values"].items():
        if tid == 1063:
            lib.KSTRN_InsertData(len(value), value, s)
        elif isinstance(value, str):
            lib.KSTRN_InsertStringUTF8(tid, value.encode(), s)
        elif isinstance(value, bytes):
            lib.KSTRN_InsertValueS(tid, value, len(value), s)
        else:
            size = lib.KSTRN_ValSize(tid, 0)
            raw = struct.pack("<d", value) if isinstance(value, float) else value.to_bytes(size, "little")
            lib.KSTRN_InsertValue(tid, raw, s)
    for tid, blocks in tree["items"].items():
        lib.KSTRN_InsertItemBlocks(tid, len(blocks), s)
        for index, subtree in enumerate(blocks):
            lib.KSTRN_OpenItem(tid, index, s)
            build_in_c(lib, s, subtree)
            lib.KSTRN_CloseItem(s)


def c_bytes(tree):
    lib = ctypes.CDLL(os.environ["KESTRON4_SHARED_LIB"])
    lib.KSTRN_SaveSessionSize.restype = ctypes.c_uint64
    s = ctypes.c_void_p()
    lib.KSTRN_NewSession(ctypes.byref(s))
    build_in_c(lib, s, tree)
    out = ctypes.create_string_buffer(lib.KSTRN_SaveSessionSize(s))
    assert lib.KSTRN_SaveSessionBuffer(out, len(out), s)
    lib.KSTRN_CloseSession(s)
    return out.raw


@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(tree=TREES)
def test_random_trees_round_trip(tmp_path, tree):
    with kestron4.new() as built:
        build_in_python(built.root, tree)
        data = built.to_bytes()
        expected = built.root.to_dict()
        path = tmp_path / "tree.kst"
        built.save(path)
    assert path.read_bytes() == data
    if "KESTRON4_SHARED_LIB" in os.environ:
        assert c_bytes(tree) == data
    for mode in ("r", "mmap", "stream"):
        with kestron4.open(path, mode) as again:
            assert again.root.to_dict() == expected
            assert again.to_bytes() == data


@pytest.mark.parametrize("mode", ["r", "mmap", "stream"])
def test_blob_pieces_under_each_policy(tmp_path, mode):
    with kestron4.new() as s:
        s.root.set_blob(bytes(range(256)) * 40)
        s.save(tmp_path / "b.kst")
    with kestron4.open(tmp_path / "b.kst", mode) as s:
        assert s.root.read_blob(250, 10) == bytes(range(250, 256)) + bytes(range(4))
        assert s.root.blob()[-1] == 255 and s.root.blob_size == 10240
        with pytest.raises(IndexError):
            s.root.read_blob(10235, 6)


def read_everything(session):
    for block in session.root.walk():
        block.values()
        if block.blob_size is not None:
            block.blob().sum()


@settings(max_examples=150, deadline=None)
@given(flips=st.lists(st.tuples(st.integers(0, 10**6), st.integers(1, 255)), min_size=1, max_size=4))
def test_damaged_containers_are_refused_or_read_without_harm(flips):
    with kestron4.new() as s:
        s.root[2001] = "title"
        block = s.root.add(105)[0]
        block[4000] = b"long payload"
        block[10000] = 7
        block.set_blob(bytes(range(64)))
        data = bytearray(s.to_bytes())
    for offset, mask in flips:
        data[offset % len(data)] ^= mask
    try:
        damaged = kestron4.from_bytes(bytes(data))
    except kestron4.Error:
        return
    with damaged:
        read_everything(damaged)
