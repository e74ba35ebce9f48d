"""Veltrix motion sensors on an evaluation board, from Python.

The module drives the same board session as the window and ``veltrix-cli``:
the same discovery, the same verified register writes, the same capture
thread, reports and sentences. A failure raises a :class:`veltrix.Error`
whose message is the sentence ``veltrix-cli`` prints on stderr.

    import veltrix
    with veltrix.connect("KOR 73") as board:      # VELTRIX_PORT, else the USB board
        board.rate = 200
        cap = board.capture(seconds=10, components=("gyro",))
    print(cap.report["mean_rate_hz"], cap.data["Gyro_X"].std())
    print(veltrix.analyze(veltrix.read_log("dataLog1.csv"))["channels"][0]["white_noise"])

Exceptions: Error > ConnectError, RegisterError (> ReadBackError),
CaptureError (> StreamOverrun), LogError; arguments at fault raise ValueError.
One board per process: close it (or leave its ``with``) before the next.
"""

from __future__ import annotations

import json
import os
import sys
from typing import Callable, Dict, Iterable, Iterator, List, Optional, Sequence, Tuple

import numpy as np

from . import _veltrix
from ._veltrix import (
    CaptureError,
    ConnectError,
    Error,
    LogError,
    ReadBackError,
    RegisterError,
    StreamOverrun,
)

__all__ = [
    "models", "connect", "Board", "Capture", "Log", "read_log", "analyze",
    "Error", "ConnectError", "RegisterError", "ReadBackError", "CaptureError", "StreamOverrun", "LogError",
]

Columns = Dict[str, np.ndarray]


def models() -> List[str]:
    """The model names ``connect`` takes, in the window's order ("KOR 73", ...)."""
    return _veltrix.models()


def _say(line: str) -> None:
    print(line, file=sys.stderr, flush=True)


class Capture:
    """A finished capture.

    ``data``: ``{"time": float64 seconds, "Gyro_X": int16 counts, ...}``, one
    entry per sample the report counts, columns named as in the data log.
    ``report``: the capture report as ``veltrix-cli capture --report-json``
    writes it (``{"segments": [...], "gaps": [...]}`` after a lost board).
    ``report_lines``: the report as ``veltrix-cli`` prints it. ``notes``:
    what the capture noted that is no failure. ``folder``: where the logs
    went, or None.
    """

    def __init__(self, data: Columns, end: dict, folder: Optional[str]):
        self.data = data
        self.report: dict = json.loads(end["report_json"]) if end["report_json"] else {}
        self.report_lines: List[str] = end["report_lines"]
        self.notes: List[str] = end["notes"]
        self.failures: List[str] = end["failures"]
        self.folder = folder

    def __len__(self) -> int:
        return len(self.data["time"])

    def __repr__(self) -> str:
        return f"<veltrix.Capture {len(self)} samples, columns {list(self.data)}>"


def _joined(blocks: List[Columns], columns: Sequence[str]) -> Columns:
    names = ["time", *columns]
    if not blocks:
        return {name: np.empty(0, np.float64 if name == "time" else np.int16) for name in names}
    return {name: np.concatenate([block[name] for block in blocks]) for name in names}


class Board:
    """A connected board; make one with :func:`connect`.

    Register addresses and values are integers (``0x1B``). Every write, load
    and rate change reads back what it wrote, as ``veltrix-cli`` does: a
    register that keeps another value raises :class:`ReadBackError` naming it
    ("Register 1B reads back 00 after writing 18").
    """

    def __init__(self, model: str, port: Optional[str] = None, bus: str = "i2c",
                 on_message: Callable[[str], None] = _say):
        self._board = _veltrix.Board(model, port or "", bus)
        self._on_message = on_message

    def __enter__(self) -> "Board":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<veltrix.Board {self._board.name or 'closed'}>"

    def close(self) -> None:
        """Stops a capture still running (its logs whole) and disconnects."""
        self._board.close()

    @property
    def name(self) -> str:
        """"KOR 73 at /dev/ttyACM0 (serial 0042)"."""
        return self._board.name

    def info(self) -> dict:
        """``{"modes": ["i2c", ...], "rates": [Hz, ...], "components": ["gyro", ...], "rate": Hz}``."""
        return self._board.info()

    def read(self, address: int, length: Optional[int] = None):
        """The register's value; with ``length``, a list of that many from ``address`` on."""
        values = self._board.read(address, 1 if length is None else length)
        return values[0] if length is None else values

    def write(self, address: int, value: int) -> None:
        """Writes the register and reads it back; raises when it keeps another value."""
        self._board.write(address, value)

    def registers(self) -> List[Tuple[int, str, int]]:
        """The register map: ``(address, name, value)`` per row of the model's table."""
        return self._board.registers()

    def save(self, path: str) -> None:
        """Saves the register values to a register-map file (as ``veltrix-cli save``)."""
        self._board.save(os.fspath(path))

    def load(self, path: str) -> None:
        """Writes the register-map file's values to the sensor, each read back."""
        self._board.load(os.fspath(path))

    def diff(self, path: str) -> List[Tuple[int, str, int, int]]:
        """The registers whose held bits differ from the file: ``(address, name, board, file)``; [] when none."""
        return self._board.diff(os.fspath(path))

    @property
    def rate(self) -> int:
        """The sensor's sampling rate in Hz, read back; set it to one of ``info()["rates"]``."""
        return self._board.rate()

    @rate.setter
    def rate(self, hz: int) -> None:
        self._board.set_rate(hz)

    def _run(self, rate, components, seconds, samples, folder, mode, reconnect, ring_samples):
        if mode not in ("described", "fast"):
            raise ValueError(f'mode "{mode}" is neither "described" nor "fast"')
        if seconds is not None and not 0 < seconds <= 365 * 24 * 3600:
            raise ValueError(f"seconds {seconds} is not above 0 and at most a year")
        if samples is not None and samples < 1:
            raise ValueError(f"samples {samples} is not 1 or more")
        return _veltrix.CaptureRun(
            self._board, rate_hz=rate, components=None if components is None else list(components),
            seconds=seconds or 0.0, samples=samples or 0, folder=None if folder is None else os.fspath(folder),
            fast=mode == "fast", reconnect=reconnect, ring_samples=ring_samples)

    def _pass_on(self, run) -> None:
        for line in run.told():
            self._on_message(line)

    def _blocks(self, run, block_seconds: float, most: int) -> Iterator[Columns]:
        while True:
            block = run.take(block_seconds, most)
            self._pass_on(run)
            if block is None:
                return
            if len(block["time"]):
                yield block

    def _end(self, run, data: Columns, folder) -> Capture:
        end = run.finish()
        self._pass_on(run)
        for note in end["notes"]:
            self._on_message(note)
        capture = Capture(data, end, None if folder is None else os.fspath(folder))
        if end["failures"]:
            error = CaptureError("\n".join(end["failures"]))
            error.capture = capture
            raise error
        return capture

    def capture(self, seconds: Optional[float] = None, components: Optional[Iterable[str]] = None,
                mode: str = "described", folder: Optional[str] = None, reconnect: Optional[float] = None,
                rate: Optional[int] = None, samples: Optional[int] = None) -> Capture:
        """Records until ``seconds`` have passed or ``samples`` were recorded; returns a :class:`Capture`.

        ``components``: from "gyro", "accel", "compass", "temp" (default: all
        the sensor offers). ``mode="fast"``: above 200 Hz the sensor's FIFO
        read in bulk, else one block read per sample, where the sensor allows
        it. ``folder``: also write the data log, register log and sidecar
        there, as ``veltrix-cli --folder``. ``reconnect``: wait up to that many
        seconds for a lost board, restore it and go on in a new segment.
        ``rate``: set this rate first. Ctrl+C stops the capture, closes its
        logs whole and raises KeyboardInterrupt. A failure raises
        :class:`CaptureError` (its ``capture`` holds what was recorded).
        """
        if seconds is None and samples is None:
            raise ValueError("capture needs seconds or samples")
        run = self._run(rate, components, seconds, samples, folder, mode, reconnect, 1 << 17)
        blocks: List[Columns] = []
        try:
            blocks.extend(self._blocks(run, 0.2, 1 << 16))
        except BaseException:
            run.stop()
            run.finish()
            raise
        return self._end(run, _joined(blocks, run.columns), folder)

    def stream(self, seconds: Optional[float] = None, components: Optional[Iterable[str]] = None,
               mode: str = "described", folder: Optional[str] = None, reconnect: Optional[float] = None,
               rate: Optional[int] = None, block_seconds: float = 0.1,
               ring_samples: int = 1 << 17) -> Iterator[Columns]:
        """Yields the samples as they arrive, as blocks like ``Capture.data``.

        A block holds what arrived within ``block_seconds`` (at most 65536
        samples). Memory is bounded: the samples wait in a ring of
        ``ring_samples`` (16 s at 8 kHz); a consumer that falls behind until it
        is full gets :class:`StreamOverrun` and the capture stops (a data log
        in ``folder`` still has every sample). Without ``seconds`` the capture
        runs until the loop is left; leaving it stops the capture, its logs
        whole. A capture that fails raises :class:`CaptureError` at the end.
        The report is in the sidecar when there is a ``folder``. Other
        arguments as :meth:`capture`.
        """
        run = self._run(rate, components, seconds, None, folder, mode, reconnect, ring_samples)
        finished = False
        try:
            yield from self._blocks(run, block_seconds, 1 << 16)
            self._end(run, _joined([], run.columns), folder)
            finished = True
        finally:
            if not finished:
                run.stop()
                run.finish()


def connect(model: str, port: Optional[str] = None, bus: str = "i2c",
            on_message: Callable[[str], None] = _say) -> Board:
    """Connects to the board with ``model`` (one of :func:`models`) on it.

    ``port``: the board's serial port; None finds it as ``veltrix-cli``
    does (VELTRIX_PORT, else the first USB CDC-ACM device). ``bus``: "i2c"
    or "spi". ``on_message``: told each sentence said as it happens (a board
    lost and back, a sensor that flags no sample); default stderr. Raises
    :class:`ConnectError` with ``veltrix-cli``'s sentences.
    """
    return Board(model, port, bus, on_message)


class Log:
    """A data log read by the project's C++ reader; see :func:`read_log`.

    ``columns``: ``{"Gyro_X": int16 counts, ...}`` in the log's column order
    (``log["Gyro_X"]`` too); ``time``: float64 seconds from the time column,
    None for a log above 200 Hz, which has none; ``segment_ends``: where each
    gap-free segment ends; ``rate_hz``: from the sidecar or as given;
    ``sidecar``: the sidecar ``dataLog<N>.json`` as a dict, None when there is
    none; ``notes``: what the reader learnt that the values do not say.
    """

    def __init__(self, path: str, rate_hz: Optional[float] = None):
        self._data = _veltrix.LogData(os.fspath(path), rate_hz)
        self.path: str = self._data.path
        self.rate_hz: float = self._data.rate_hz
        self.columns: Columns = self._data.columns()
        self.time: Optional[np.ndarray] = self._data.time()
        self.segment_ends: List[int] = self._data.segment_ends
        self.notes: List[str] = self._data.notes
        self.sidecar: Optional[dict] = None
        if self._data.sidecar_path:
            with open(self._data.sidecar_path, encoding="utf-8") as file:
                self.sidecar = json.load(file)

    def __getitem__(self, name: str) -> np.ndarray:
        return self.columns[name]

    def __len__(self) -> int:
        return self._data.samples

    def __repr__(self) -> str:
        return f"<veltrix.Log {self.path}: {len(self)} samples at {self.rate_hz:g} Hz, {list(self.columns)}>"


def read_log(path: str, rate_hz: Optional[float] = None) -> Log:
    """Reads ``dataLog<N>.csv`` (and its sidecar) into NumPy arrays, without copying the values.

    The rate comes from the sidecar beside the log, else from ``rate_hz``;
    given both, they must agree. Raises :class:`LogError` with the sentence
    ``veltrix-cli analyze`` gives for the same file.
    """
    return Log(path, rate_hz)


def analyze(log, rate_hz: Optional[float] = None) -> dict:
    """The noise analysis of a data log: the same dict as ``veltrix-cli analyze LOG --json -``.

    ``log``: a :class:`Log` or the path of one (then ``rate_hz`` as in
    :func:`read_log`). Per channel: statistics, the overlapping Allan
    deviation, white noise, bias instability, rate random walk and noise
    density, in counts.
    """
    if not isinstance(log, Log):
        log = Log(log, rate_hz)
    elif rate_hz is not None and rate_hz != log.rate_hz:
        raise ValueError(f"rate_hz {rate_hz:g} is not the log's {log.rate_hz:g}")
    return json.loads(log._data.analysis_json())
