"""Fixtures: the build's programs, and veltrix-boardsim started for a test with VELTRIX_PORT at its link."""

import os
import subprocess
import sys
import time
from pathlib import Path

import pytest

BUILD = Path(os.environ.get("VELTRIX_BUILD_DIR", Path(__file__).resolve().parents[2] / "build"))
CLI = BUILD / "cli" / "veltrix-cli"
BOARDSIM = BUILD / "sim" / "veltrix-boardsim"
sys.path.insert(0, str(BUILD / "python"))


def cli(*args, check=True):
    """veltrix-cli with the test's environment; its CompletedProcess."""
    run = subprocess.run([str(CLI), *args], capture_output=True, text=True, timeout=120)
    if check and run.returncode != 0:
        raise AssertionError(f"veltrix-cli {args} exited {run.returncode}: {run.stderr}")
    return run


class Sim:
    """A veltrix-boardsim behind a link; VELTRIX_PORT points at the link."""

    def __init__(self, folder: Path, monkeypatch):
        self.folder = folder
        self.port = str(folder / "port")
        self.process = None
        monkeypatch.setenv("VELTRIX_PORT", self.port)

    def start(self, *options):
        self.stop()
        self.process = subprocess.Popen([str(BOARDSIM), *options, "--link", self.port],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.process.stdout.readline()  # the port, once the link is in place
        return self

    def stop(self):
        if self.process is not None:
            self.process.terminate()
            self.process.wait(timeout=10)
            self.process = None


@pytest.fixture
def sim(tmp_path, monkeypatch):
    board = Sim(tmp_path, monkeypatch)
    yield board
    board.stop()


def sample_index(value: int, channel: int) -> int:
    """The simulator's sample number (mod 2^16) whose odd-stepped channel holds `value`."""
    step = 37 * (channel + 1)
    return ((value - 1000 * channel) * pow(step, -1, 1 << 16)) % (1 << 16)


def formula(channel: int, n):
    """int16(1000 c + 37 (c + 1) n), as sim/sample_formula.h."""
    import numpy as np
    return ((1000 * channel + 37 * (channel + 1) * np.asarray(n, dtype=np.int64)) % (1 << 16)).astype(np.uint16).view(np.int16)
