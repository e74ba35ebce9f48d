"""Captures and streams against veltrix-boardsim: the samples the formula gives, every one of a fast
8 kHz stream, a consumer that falls behind, a lost board that returns, and Ctrl+C."""

import json
import os
import signal
import subprocess
import sys
import textwrap
import time

import numpy as np
import pytest

import veltrix
from conftest import BUILD, formula, sample_index


def indices(data):
    """The simulator's sample number of every sample, from Gyro_X (channel 0)."""
    return np.array([sample_index(int(v), 0) for v in data["Gyro_X"]], dtype=np.int64)


def test_a_capture_holds_the_simulators_samples_and_its_log_reads_back_the_same(sim, tmp_path):
    sim.start("--sensor", "kor73")
    with veltrix.connect("KOR 73") as board:
        cap = board.capture(seconds=2, components=("gyro", "accel"), rate=100, folder=tmp_path)
    data = cap.data
    assert list(data) == ["time", "Gyro_X", "Gyro_Y", "Gyro_Z", "Accel_X", "Accel_Y", "Accel_Z"]
    n = indices(data)
    for channel, name in enumerate(["Gyro_X", "Gyro_Y", "Gyro_Z", "Accel_X", "Accel_Y", "Accel_Z"]):
        np.testing.assert_array_equal(data[name], formula(channel, n), err_msg=name)
    assert np.all(np.diff(data["time"]) > 0)
    report = cap.report
    assert report["samples"] == len(cap) and 150 <= len(cap) <= 210
    assert report["reported_rate_hz"] == 100
    assert cap.report_lines[0].startswith(f"Capture report: {len(cap)} samples in ")

    logs = sorted(tmp_path.glob("dataLog*.csv"))
    assert len(logs) == 1
    log = veltrix.read_log(logs[0])
    assert log.rate_hz == 100 and log.sidecar["report"] == report
    # The log writes a sample the sensor gave twice (polled again before its next) as read; the
    # capture counts it once.
    values = np.column_stack([log[name] for name in log.columns])
    once = np.concatenate(([True], np.any(np.diff(values, axis=0) != 0, axis=1)))
    for name in log.columns:
        np.testing.assert_array_equal(log[name][once], data[name], err_msg=name)
    np.testing.assert_allclose(log.time[once], data["time"], atol=0.0011)


def test_a_fast_stream_keeps_every_sample_at_8_khz_and_a_consumer_that_falls_behind_is_told(sim):
    sim.start("--sensor", "kor23")
    with veltrix.connect("KOR 23") as board:
        blocks = [block for block in board.stream(seconds=3, components=("gyro",), mode="fast", rate=8000)]
        with pytest.raises(veltrix.StreamOverrun, match="^The script fell behind the capture: "):
            for _ in board.stream(seconds=10, components=("gyro",), mode="fast", rate=8000, ring_samples=2048):
                time.sleep(0.5)
        assert board.rate == 8000  # the board is still there to use
    data = {name: np.concatenate([block[name] for block in blocks]) for name in blocks[0]}
    n = indices(data)
    assert len(n) > 20000
    assert np.all(np.diff(n) % (1 << 16) == 1), "a sample is missing"
    np.testing.assert_array_equal(data["Gyro_Z"], formula(2, n))


def test_a_lost_board_that_returns_goes_on_in_a_second_segment(sim, tmp_path):
    sim.start("--sensor", "kor73", "--hangup-after", "1500", "--reopen-after", "500")
    said = []
    with veltrix.connect("KOR 73", on_message=said.append) as board:
        cap = board.capture(seconds=8, components=("gyro",), rate=100, folder=tmp_path, reconnect=5)
    assert any(line.startswith("The link to the board was lost; the capture waits up to 5 s") for line in said), said
    assert any(line.startswith("Reconnected at ") for line in said), said
    assert len(cap.report["segments"]) == 2 and len(cap.report["gaps"]) == 1
    assert cap.report_lines[0].startswith("Segment 1: Capture report: ")
    assert sum(segment["samples"] for segment in cap.report["segments"]) == len(cap)
    assert all(segment["samples"] > 10 for segment in cap.report["segments"]), cap.report_lines
    assert len(sorted(tmp_path.glob("dataLog*.csv"))) == 2


def test_a_board_that_stays_away_ends_the_capture_with_the_clis_sentence(sim, tmp_path):
    sim.start("--sensor", "kor73", "--hangup-after", "1000")
    with veltrix.connect("KOR 73", on_message=lambda line: None) as board:
        with pytest.raises(veltrix.CaptureError, match="did not come back within 1 s") as ended:
            board.capture(seconds=10, components=("gyro",), rate=100, folder=tmp_path, reconnect=1)
    assert len(ended.value.capture) > 0


def test_ctrl_c_stops_a_capture_with_its_files_whole(sim, tmp_path):
    script = textwrap.dedent(f"""
        import sys, veltrix
        with veltrix.connect("KOR 73") as board:
            for block in board.stream(seconds=60, components=("gyro",), rate=200, folder={str(tmp_path)!r}):
                print(len(block["time"]), flush=True)
    """)
    sim.start("--sensor", "kor73")
    env = dict(os.environ, PYTHONPATH=str(BUILD / "python"))
    child = subprocess.Popen([sys.executable, "-c", script], env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    child.stdout.readline()
    time.sleep(1)
    started = time.monotonic()
    child.send_signal(signal.SIGINT)
    _, err = child.communicate(timeout=20)
    assert time.monotonic() - started < 5
    assert "KeyboardInterrupt" in err and child.returncode != 0
    log_path = next(tmp_path.glob("dataLog*.csv"))
    assert log_path.read_bytes().endswith(b"\r\n")
    log = veltrix.read_log(log_path)
    assert log.notes == [] and len(log) > 100
    sidecar = json.loads(log_path.with_suffix(".json").read_text())
    assert sidecar["report"]["samples"] > 100  # written as the capture ended
