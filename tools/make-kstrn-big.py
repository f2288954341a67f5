#!/usr/bin/env python3
"""Writes a container near the format's 4 GiB limit as a sparse file (the blob
is a hole, so it costs no disk): a logger block with 2,000 named channels and
one 4 GiB - 64 MiB blob. Used by bench-kstrn-big.sh and bench/view_bench.py.

    tools/make-kstrn-big.py OUT
"""
import struct, sys
blob = (1 << 32) - (64 << 20)            # bytes of the 1063 blob, left as a hole
def u16(v): return struct.pack('<H', v)
def u32(v): return struct.pack('<I', v)
def block(entries, children=b''):
    body = entries + u16(0) + children
    return u32(len(body)) + body
channels = b''.join(block(u16(1002) + bytes([len(n)]) + n + u16(1015) + u16(i))
                    for i, n in ((i, b'Channel %d\0' % i) for i in range(2000)))
data_head = u16(1066) + u32(blob) + u16(1063)   # the blob's bytes follow, then the end marker
data = u32(len(data_head) + blob + 2) + data_head
logger_entries = u16(100) + u16(2000) + u16(135) + u16(1) + u16(1018) + u32(2000)
logger_rest = u16(0) + channels
logger_size = len(logger_entries) + len(logger_rest) + len(data) + blob + 2
root_entries = u16(2) + u16(1)
root_size = len(root_entries) + 2 + 4 + logger_size
with open(sys.argv[1], 'wb') as f:
    f.write(b'KESTRON v1.00 file\x1a' + u32(root_size) + root_entries + u16(0))
    f.write(u32(logger_size) + logger_entries + logger_rest + data)
    f.truncate(f.tell() + blob)                  # the hole
    f.seek(0, 2)
    f.write(u16(0))                              # end marker of the blob's block
