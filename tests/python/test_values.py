import math

import pytest

import kestron4

# (tid, stored, read back): one row per layout and decoding rule.
ROUND_TRIPS = [
    (6000, 255, 255),                      # 1 byte, unsigned
    (8000, 65535, 65535),                  # 2 bytes
    (10000, 2**32 - 1, 2**32 - 1),         # 4 bytes
    (1028, 0xABCDEF, 0xABCDEF),            # 3 bytes
    (1003, 2**40 - 1, 2**40 - 1),          # 5 bytes
    (12000, -2.5, -2.5),                   # 8 bytes, value type 5: float
    (12000, 3, 3.0),                       # an int stored as that float
    (1500, -2**63, -2**63),                # 8 bytes, value type 6: signed
    (10000, b"\x01\x02\x03\x04", 0x04030201),  # raw bytes of the exact width
    (2001, "héllo – ✓", "héllo – ✓"),      # marked UTF-8
    (4000, "x" * 65533, "x" * 65533),      # long kind at its limit
    (2001, b"\x01\x02", b"\x01\x02"),      # not text: bytes back
    (2001, b"ab\x00", "ab"),               # unmarked text
    (1063, b"\x00\xff" * 10, b"\x00\xff" * 10),
]


@pytest.mark.parametrize("tid,stored,expected", ROUND_TRIPS)
def test_values_read_back_as_stored(tid, stored, expected):
    with kestron4.new() as session:
        session.root[tid] = stored
        again = kestron4.from_bytes(session.to_bytes()).root[tid]
        assert again == expected and type(again) is type(expected)


def test_windows_1252_text_reads_as_str():
    with kestron4.new() as session:
        session.root.set_text(2001, "café €", encoding="ansi")
        assert (session.root.raw(2001), session.root[2001]) == (b"caf\xe9 \x80\x00", "café €")


# 999 is an item, 1200 a value without layout; 253 bytes is the marked text limit.
REFUSALS = [
    (999, 1, ValueError), (1200, 1, ValueError), (6000, 256, ValueError), (8000, -1, ValueError),
    (1500, 2**63, ValueError), (10000, 1.5, TypeError), (10000, "7", TypeError),
    (10000, b"\x00" * 3, ValueError), (2001, "a\x00b", ValueError), (2001, "\ud800", UnicodeEncodeError), (2001, "x" * 254, ValueError),
    (2001, b"", ValueError), (2001, 5, TypeError), (1063, "text", TypeError),
]


@pytest.mark.parametrize("tid,value,error", REFUSALS)
def test_values_that_do_not_fit_are_refused_and_nothing_is_stored(tid, value, error):
    with kestron4.new() as session:
        with pytest.raises(error):
            session.root[tid] = value
        assert tid not in session.root


@pytest.mark.parametrize("display,payload,expected", [
    ("i16", b"\xff\xff", -1), ("f32", b"\x00\x00\xc0\x3f", 1.5), ("u64", b"\x01" + b"\0" * 7, 1),
    ("hex", b"\xab\x01", "ab01"), ("utf16", "Ω".encode("utf-16-le"), "Ω"), ("i32", b"\x01", b"\x01"),
])
def test_reading_with_a_display_kind(display, payload, expected):
    with kestron4.new() as session:
        session.root[2500] = payload
        got = session.root.read(2500, display)
        assert got == expected or (isinstance(got, float) and math.isclose(got, expected))
