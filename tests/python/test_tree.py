import gc

import numpy as np
import pytest

import kestron4


def make_session():
    """root: 2001 title; item 105 with three named channels; item 135 with a blob."""
    session = kestron4.new()
    session.root[2001] = "run"
    for name, block in zip(("a", "b", "c"), session.root.add(105, 3)):
        block[2001] = name
        block[10000] = ord(name)
    session.root.add(135)[0].set_blob(bytes(range(200)))
    return session


def names(session):
    return [b[2001] for b in session.root.items(105)]


def test_walk_and_lookup():
    with make_session() as s:
        root = s.root
        b = root.item(105, -1)
        assert (b.tid, b.index, b.path, b.parent) == (105, 2, ((105, 2),), root)
        assert root.item_tids == [105, 135] and list(root) == [2001] and len(root) == 1
        assert [blk[2001] for blk in root.walk() if 2001 in blk] == ["run", "a", "b", "c"]
        assert root.find(105, 2001, "b") == root.item(105, 1)
        assert root.find(105, 10000, ord("c")) == b
        assert root.find(105, 2001, "zz") is None and root.get(9999, "none") == "none"
        assert kestron4.from_bytes(root.item(105, 1).to_bytes()).root.items() == [(2001, "b"), (10000, 98)]
        with pytest.raises(IndexError):
            root.item(105, 3)


@pytest.mark.parametrize("key_tid,key,found", [
    (2001, "café", True),         # str keys match Windows-1252 text too
    (2001, b"caf\xe9", True),     # bytes keys compare the stored bytes
    (2001, "cafe", False),
    (10000, 7, True),
    (10000, b"\x07\0\0\0", True),
    (10000, 8, False),
    (0, None, True),              # no value criterion: the first block
])
def test_find_keys(key_tid, key, found):
    with kestron4.new() as s:
        target = s.root.add(9)[0].add(105, 2)[1]
        target.set_text(2001, "café", encoding="ansi")
        target[10000] = 7
        hit = s.find(105, key_tid, key)
        assert (hit == target if key_tid else hit is not None) if found else hit is None
        assert s.root.find(105, key_tid, key, deep=False) is None


@pytest.mark.parametrize("use,error,code", [(lambda r: r[2001], kestron4.ValueNotFoundError, 7),
                                            (lambda r: r.reference(3), kestron4.NotFoundError, 11)])
def test_errors_carry_the_library_code_and_text(use, error, code):
    with kestron4.new() as s, pytest.raises(error) as raised:
        use(s.root)
    assert raised.value.code == code and raised.value.text.startswith(f"Kestron Error {code}: ")


EDITS = [
    (lambda r: r.item(105, 0).move(2), ["b", "c", "a"]),
    (lambda r: r.item(105, 1).delete(), ["a", "c"]),
    (lambda r: r.delete_item(105, -1), ["a", "b"]),
    (lambda r: r.delete_item(105), []),
    (lambda r: r.item(105, 0).change_tid(106), ["b", "c"]),
    (lambda r: r.item(105, 0).copy_from(r.item(105, 2)), ["a", "b", "c"]),
    (lambda r: r.copy_from(r.item(105, 2)), ["a", "b", "c", "c"]),
]


@pytest.mark.parametrize("edit,expected", EDITS)
def test_edits_survive_a_save(edit, expected):
    with make_session() as s:
        edit(s.root)
        assert names(kestron4.from_bytes(s.to_bytes())) == expected


def test_copy_between_sessions_and_references():
    with make_session() as source, kestron4.new() as target:
        target.root.copy_from(source.root.item(105, 1))
        target.root.copy_from(source.root, contents=True)
        assert names(target) == ["b", "a", "b", "c"] and target.root[2001] == "run"
        user = target.root.add(7)[0]
        user.refer(1, target.root.item(105, 3), 2001)
        assert user.reference(1) == target.root.item(105, 3)
        assert target.root.item(105, 3).referrers(2001) == [user]
        assert target.check_integrity() == 1
        target.root.item(105, 3)[2001] = "renamed"
        with pytest.raises(kestron4.NotFoundError):
            target.check_integrity()


def test_deleted_blocks_and_closed_sessions_raise():
    s = make_session()
    kept = s.root.item(105, 1)
    s.root.delete_item(105)
    for use in (lambda: kept[2001], lambda: kept.add(5), lambda: kept.parent):
        with pytest.raises(kestron4.DeletedBlockError):
            use()
    root = s.root
    s.close()
    for use in (lambda: root.item_tids, s.to_bytes):
        with pytest.raises(kestron4.ClosedError):
            use()


def test_blob_arrays_view_the_session_and_outlive_it():
    s = make_session()
    blob = s.root.item(135)
    array = blob.blob()
    assert array.dtype == np.uint8 and not array.flags.writeable and array[199] == 199
    blob.write_blob(0, b"\x07")
    assert array[0] == 7  # a view, not a copy
    for edit in (lambda: blob.set_blob(b"x"), lambda: blob.delete(), lambda: s.root.delete_item(135),
                 lambda: blob.alloc_blob(4), lambda: s.move_to_ram(),
                 lambda: blob.copy_from(s.root.item(105, 0), contents=True)):
        with pytest.raises(BufferError):
            edit()
    s.root.item(105, 0).delete()  # elsewhere: allowed
    s.close()
    del s, blob
    gc.collect()
    assert array.sum() == sum(range(1, 200)) + 7


@pytest.mark.parametrize("data,error", [
    (b"not a container at all", kestron4.FileTypeError),
    (b"KESTRON v1.00 file\x1a\xff\xff", kestron4.FileAccessError),
])
def test_files_that_are_not_containers(tmp_path, data, error):
    (tmp_path / "f").write_bytes(data)
    for use in [lambda: kestron4.from_bytes(data)] + [
            lambda m=m: kestron4.open(tmp_path / "f", m) for m in ("r", "mmap", "stream")]:
        with pytest.raises(error):
            use()
    with pytest.raises(kestron4.MissingFileError):
        kestron4.open(tmp_path / "missing", "mmap")
    with pytest.raises(ValueError):
        kestron4.open(tmp_path / "f", "w")
