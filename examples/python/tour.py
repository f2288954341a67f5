#!/usr/bin/python3
"""A tour of the Python package: build a session, save it, open it under each
storage policy, walk it, find a record, read a blob as a numpy array.

    /usr/bin/python3 examples/python/tour.py [OUT.kst]
"""

import sys

import numpy as np

import kestron4

path = sys.argv[1] if len(sys.argv) > 1 else "tour.kst"

with kestron4.new() as session:
    root = session.root
    root[2001] = "Bench car – run 7"           # text, stored as marked UTF-8
    for block, (name, rate) in zip(root.add(105, 3), [("Engine speed", 100), ("Oil temperature", 10),
                                                      ("Throttle", 50)]):
        block[2001] = name
        block[10010] = rate                    # 4-byte unsigned
    samples = root.add(135)[0]
    samples.set_blob(np.arange(4096, dtype=np.uint16).astype("<u2").tobytes())
    session.save(path)

for mode in ("r", "mmap", "stream"):
    with kestron4.open(path, mode) as session:
        root = session.root
        channel = root.find(105, 2001, "Oil temperature")
        blob = root.item(135).blob().view("<u2")   # no copy in memory and mapped sessions
        print(f"{mode:6} {root[2001]!r}: {channel[2001]} every {channel[10010]} ms, "
              f"{len(blob)} samples, last {blob[-1]}")

with kestron4.open(path) as session:
    for block in session.root.walk():
        shown = {tid: value for tid, value in block.items() if tid != 1063}  # not the blob itself
        print("  " * len(block.path), block.path[-1] if block.path else "root", shown or "")
