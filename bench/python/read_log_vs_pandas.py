#!/usr/bin/env python3
"""veltrix.read_log against pandas.read_csv on the same generated data log.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/read_log_vs_pandas.py [MB]

Writes an 8 kHz log of gyro lines (no time column, as a capture above 200 Hz
writes it; default 100 MB, about 80 minutes of samples would be 530 MB) in a
temporary folder, reads it with each (best of three, after one run that warms
the page cache), checks that both give the same values and prints the times and
their ratio.
"""

import sys
import tempfile
import time
from pathlib import Path

import numpy as np
import pandas

import veltrix

LINE_BYTES = 22  # "%6d,%6d,%6d\r\n"


def write_log(path: Path, megabytes: float) -> int:
    lines = int(megabytes * 1e6 / LINE_BYTES)
    rng = np.random.default_rng(1)
    with open(path, "w", newline="") as out:
        out.write("Gyro_X, Gyro_Y, Gyro_Z\r\n")
        chunk = 1_000_000
        for start in range(0, lines, chunk):
            values = rng.integers(-32768, 32768, size=(min(chunk, lines - start), 3))
            np.savetxt(out, values, fmt="%6d", delimiter=",", newline="\r\n")
    return lines


def best_of(read, runs=3):
    read()
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        result = read()
        times.append(time.perf_counter() - start)
    return min(times), result


def main() -> None:
    megabytes = float(sys.argv[1]) if len(sys.argv) > 1 else 100
    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / "dataLog1.csv"
        lines = write_log(path, megabytes)
        size = path.stat().st_size
        ours, log = best_of(lambda: veltrix.read_log(path, rate_hz=8000))
        theirs, frame = best_of(lambda: pandas.read_csv(path))
        for i, name in enumerate(log.columns):
            assert np.array_equal(log[name], frame.iloc[:, i].to_numpy()), name
    print(f"log: {lines} lines, {size / 1e6:.0f} MB")
    print(f"veltrix.read_log:  {ours:.3f} s ({lines / ours / 1e6:.1f} M lines/s)")
    print(f"pandas.read_csv:   {theirs:.3f} s ({lines / theirs / 1e6:.1f} M lines/s)")
    print(f"ratio: {theirs / ours:.1f}x")


if __name__ == "__main__":
    main()
