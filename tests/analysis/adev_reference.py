#!/usr/bin/env python3
"""Overlapping Allan deviation in its plain cumulative-sum form, pooled over
the segments given as files of little-endian int16 samples. Prints one
"m adev differences" line per octave cluster size m up to a tenth of all the
samples, for sizes that fit twice in some segment. Usage: RATE FILE..."""
import sys

import numpy as np

rate = float(sys.argv[1])
segments = [np.fromfile(path, dtype="<i2") for path in sys.argv[2:]]
total = sum(len(x) for x in segments)
longest = max(len(x) for x in segments)
m = 1
while m <= total // 10 and 2 * m <= longest:
    squares, count = 0.0, 0
    for x in segments:
        if 2 * m > len(x):
            continue
        s = np.concatenate(([0.0], np.cumsum(x, dtype=np.float64)))
        d = s[2 * m:] - 2 * s[m:-m] + s[:-2 * m]
        squares += np.sum(d * d)
        count += len(d)
    print(m, repr(float(np.sqrt(squares / (2.0 * m * m * count)))), count)
    m *= 2
