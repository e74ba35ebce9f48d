"""read_log and analyze against veltrix-cli on the same logs."""

import json

import numpy as np
import pytest

import veltrix
from conftest import cli


def test_read_log_and_analyze_are_the_clis(sim, tmp_path):
    sim.start("--sensor", "kor73", "--white-noise", "10", "--seed", "7")
    cli("--model", "KOR 73", "capture", "--rate", "200", "--components", "gyro,temp", "--seconds", "3",
        "--folder", str(tmp_path), "--no-console")
    path = next(tmp_path.glob("dataLog*.csv"))
    log = veltrix.read_log(path)
    assert list(log.columns) == ["Gyro_X", "Gyro_Y", "Gyro_Z", "Temp"] and log.rate_hz == 200
    # The same numbers as the text, read apart: "Time, Gyro_X, ..." then one line a sample.
    rows = np.array([[int(field) for field in line.split(",")] for line in path.read_text().splitlines()[1:]])
    np.testing.assert_array_equal(log.time, rows[:, 0] / 1000)
    for i, name in enumerate(log.columns, start=1):
        assert log[name].dtype == np.int16
        np.testing.assert_array_equal(log[name], rows[:, i])
    assert log.segment_ends[-1] == len(rows) == len(log)

    expected = json.loads(cli("analyze", str(path), "--json", "-").stdout)
    assert veltrix.analyze(log) == expected == veltrix.analyze(str(path))
    assert [channel["samples"] for channel in expected["channels"]] == [len(log)] * 4


def test_a_log_refused_says_what_the_cli_says(tmp_path):
    text = tmp_path / "dataLog1.csv"
    text.write_text("Time, Gyro_X, Gyro_Y, Gyro_Z\r\n     5,     1, high,     3\r\n")
    for rate, kind in ((None, "no rate"), (200, "not a number")):
        said = cli("analyze", str(text), *(["--rate", str(rate)] if rate else []), check=False)
        with pytest.raises(veltrix.LogError) as refused:
            veltrix.read_log(text, rate_hz=rate)
        assert said.returncode == 2
        assert str(refused.value) == said.stderr.strip().replace("--rate HZ", "rate_hz=HZ"), kind
