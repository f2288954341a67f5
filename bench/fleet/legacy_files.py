"""Writes synthetic data files of the second-generation logger (file type 2)
for the fleet benchmark: a blank setup as the logger's tool writes it, a
number of modules with two-byte and one-byte sensors at several rates, and
random samples for a given recording length.

Layout (offsets from the start of the file, little-endian unless noted):
channel c (1..120) at 8 + 13c: 12-byte name, sensor number; sensor s (1..60)
at 0x613 + 29s: 12-byte name, sample byte (0: two-byte samples), 4 floats;
module count at 0xCFC, module i at 0xCFD + 2i: channel, rate index; table t
(1..10) at 0xD15 + 96t, scale float at +92; module i's address bytes at
0x1135 + 3i; the recording length as big-endian minutes and milliseconds at
0x11F6; the event count at 0x11FA; samples from 21 * 256 on.
"""

from __future__ import annotations

import struct

import numpy as np

RATE_PERIODS_MS = (1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 30000, 60000,
                   120000, 300000)
_MAGIC = b"RB42 v2.00 data file\x1a"
_FIRST_DATA = 21 * 256


def _name(text: str) -> bytes:
    return text.encode("ascii")[:12].ljust(12, b" ")


def _setup() -> bytearray:
    f = bytearray(0x11FB)
    f[0:len(_MAGIC)] = _MAGIC
    for c in range(1, 121):
        # Odd sensors sample one byte, even ones two; channel c uses sensor 1..4.
        f[8 + 13 * c: 21 + 13 * c] = _name(f"Chan {c}") + bytes([1 + c % 4])
    for s in range(1, 61):
        f[0x613 + 29 * s: 0x630 + 29 * s] = (_name(f"Sensor {s}") + bytes([s % 2])
                                             + struct.pack("<4f", 1.0, 0.0, 0.0, 0.0))
    for t in range(1, 11):
        base = 0xD15 + 96 * t
        f[base: base + 12] = _name(f"Table {t}")
        f[base + 92: base + 96] = struct.pack("<f", 1.0)
    return f


def data_file(seed: int, modules: int = 8, seconds: int = 60) -> bytes:
    """One data file: `modules` channels at 10 to 50 ms, `seconds` long."""
    rng = np.random.default_rng(seed)
    f = _setup()
    f[0xCFC] = modules
    length_ms = seconds * 1000
    f[0x11F6:0x11FA] = struct.pack(">HH", length_ms // 60000, length_ms % 60000)
    address = _FIRST_DATA
    samples = []
    for i in range(modules):
        channel = 1 + (seed + 7 * i) % 120
        rate = 3 + (seed + i) % 3
        width = 2 if (1 + channel % 4) % 2 == 0 else 1
        f[0xCFD + 2 * i: 0xCFF + 2 * i] = bytes([channel, rate])
        high = address // 256 - 21
        f[0x1135 + 3 * i: 0x1138 + 3 * i] = bytes([high >> 7, high & 0x7F, address & 0xFF])
        count = length_ms // RATE_PERIODS_MS[rate] + 1
        samples.append(rng.integers(0, 256, count * width, dtype=np.uint8).tobytes())
        address += count * width
    f.extend(bytes(_FIRST_DATA - len(f)))
    return bytes(f) + b"".join(samples)
