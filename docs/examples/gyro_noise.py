#!/usr/bin/env python3
"""Gyro noise at rest: capture, analyze, print white noise and bias instability per axis.

    VELTRIX_PORT=/path/to/port PYTHONPATH=build/python python3 docs/examples/gyro_noise.py [SECONDS] [MODEL]

Leave the board still while it runs. The log and its sidecar stay in a
temporary folder whose name is printed.
"""

import sys
import tempfile
from pathlib import Path

import veltrix

seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 60
model = sys.argv[2] if len(sys.argv) > 2 else "KOR 73"
folder = tempfile.mkdtemp(prefix="gyro-noise-")

with veltrix.connect(model) as board:
    try:
        cap = board.capture(seconds=seconds, components=("gyro",), rate=200, folder=folder)
    except veltrix.CaptureError as failed:
        # A capture that met a failure still leaves its log whole: analyse what it holds.
        print(failed, file=sys.stderr)
        cap = failed.capture
print("\n".join(cap.report_lines))

log = veltrix.read_log(next(Path(folder).glob("dataLog*.csv")))
analysis = veltrix.analyze(log)
print(f"{log.path}: {len(log)} samples at {log.rate_hz:g} Hz")
print(f"{'axis':8} {'white noise (counts/sqrt(Hz))':>30} {'bias instability (counts)':>26} {'at tau (s)':>10}")
for channel in analysis["channels"]:
    bias = channel["bias_instability"] or {}
    white = channel["white_noise"]
    print(f"{channel['name']:8} {white if white is not None else float('nan'):30.4g} "
          f"{bias.get('value') or float('nan'):26.4g} {bias.get('tau_s') or float('nan'):10.3g}"
          + ("  (upper bound)" if bias.get("upper_bound") else ""))
