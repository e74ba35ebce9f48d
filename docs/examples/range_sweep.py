#!/usr/bin/env python3
"""Gyro noise over every full-scale range: GYRO_CONFIG's FS_SEL bits (4:3) set in turn,
SECONDS of capture at rest each, then a table of the standard deviation and white noise per range.

    VELTRIX_PORT=/path/to/port PYTHONPATH=build/python python3 docs/examples/range_sweep.py [SECONDS] [MODEL]
"""

import sys
import tempfile
from pathlib import Path

import veltrix

GYRO_CONFIG = 0x1B
RANGES_DPS = (250, 500, 1000, 2000)  # FS_SEL 0 to 3

seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10
model = sys.argv[2] if len(sys.argv) > 2 else "KOR 73"

rows = []
with veltrix.connect(model) as board:
    config = board.read(GYRO_CONFIG)
    try:
        for fs_sel, dps in enumerate(RANGES_DPS):
            board.write(GYRO_CONFIG, (config & ~0x18) | fs_sel << 3)
            folder = tempfile.mkdtemp(prefix=f"range-{dps}-")
            board.capture(seconds=seconds, components=("gyro",), rate=200, folder=folder)
            analysis = veltrix.analyze(next(Path(folder).glob("dataLog*.csv")))
            rows.append((dps, analysis["channels"]))
    finally:
        board.write(GYRO_CONFIG, config)

print(f"{'range (deg/s)':>13} " + " ".join(f"{c['name'] + ' std':>12} {c['name'] + ' white':>14}" for c in rows[0][1]))
for dps, channels in rows:
    cells = []
    for channel in channels:
        white = channel["white_noise"]
        cells.append(f"{channel['std']:12.3f} {white if white is not None else float('nan'):14.4g}")
    print(f"{dps:13d} " + " ".join(cells))
print("Figures in counts; counts per deg/s are 131, 65.5, 32.8 and 16.4 from the lowest range up.")
