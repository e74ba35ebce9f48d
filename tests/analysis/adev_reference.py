#!/usr/bin/env python3
"""Overlapping Allan deviation in its plain cumulative-sum form, pooled over
the segments given as files of little-endian int16 samples. Prints one
"m adev differences" line per octave cluster size m up to a tenth of all the
samples, for sizes that fit twice in some segment. With --time, prints only
the seconds the computation took (files already read).
Usage: [--time] RATE FILE..."""
import sys
import time

import numpy as np

args = sys.argv[1:]
timed = args[0] == "--time"
if timed:
    args = args[1:]
rate = float(args[0])
segments = [np.fromfile(path, dtype="<i2") for path in args[1:]]
start = time.perf_counter()
total = sum(len(x) for x in segments)
longest = max(len(x) for x in segments)
sums = [np.concatenate(([0.0], np.cumsum(x, dtype=np.float64))) for x in segments]
lines = []
m = 1
while m <= total // 10 and 2 * m <= longest:
    squares, count = 0.0, 0
    for s in sums:
        if 2 * m > len(s) - 1:
            continue
        d = s[2 * m:] - 2 * s[m:-m] + s[:-2 * m]
        squares += np.sum(d * d)
        count += len(d)
    lines.append(f"{m} {float(np.sqrt(squares / (2.0 * m * m * count)))!r} {count}")
    m *= 2
if timed:
    print(f"{time.perf_counter() - start:.3f}")
else:
    print("\n".join(lines))
