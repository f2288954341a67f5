#!/usr/bin/python3
"""Opens the bundled older logger data file (converted on the fly), prints its
recording as pandas DataFrames and the channels' scaling, and draws it.

    /usr/bin/python3 examples/python/recording_plot.py [SAMPLE.dat] [OUT.png]
"""

import sys
from pathlib import Path

import kestron4

here = Path(__file__).resolve().parent
sample = sys.argv[1] if len(sys.argv) > 1 else here.parents[1] / "samples" / "logger_data_v2.dat"
picture = sys.argv[2] if len(sys.argv) > 2 else "recording.png"

recording = kestron4.recording(sample)       # reads the tree; samples when asked for
print(recording)
for period, frame in recording.frames.items():
    print(f"\nevery {period} ms:\n{frame.head()}")
print(recording.channels[["source", "period_ms", "sample_bytes", "scaling", "scaling_name"]])
print(recording.physical.combined().resample("500ms").mean())   # tables applied, on the logger's clock
recording.plot(picture)
print(f"wrote {picture}")
