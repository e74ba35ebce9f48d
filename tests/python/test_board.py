"""The register side of a board, against veltrix-boardsim and against veltrix-cli on the same board."""

import pytest

import veltrix
from conftest import cli


def test_models_info_and_register_map_are_the_clis(sim):
    sim.start("--sensor", "kor73")
    names = veltrix.models()
    assert len(names) == 17 and "KOR 73" in names
    info_lines = cli("--model", "KOR 73", "info").stdout.splitlines()
    listing = cli("--model", "KOR 73", "map").stdout
    with veltrix.connect("KOR 73") as board:
        info = board.info()
        registers = board.registers()
    expected = dict(line.split(": ") for line in info_lines)
    assert ",".join(info["modes"]) == expected["modes"]
    assert ",".join(map(str, info["rates"])) == expected["rates"]
    assert ",".join(info["components"]) == expected["components"]
    assert info["rate"] == int(expected["rate"]) == 50
    # Every register the CLI lists, with its value (the data registers move between the two reads).
    assert len(registers) == len(listing.splitlines())
    by_name = {name: (address, value) for address, name, value in registers}
    assert by_name["WHO_AM_I"][0] == 0x75 and by_name["GYRO_CONFIG"][0] == 0x1B
    assert f"{by_name['WHO_AM_I'][1]:02X}" in next(line for line in listing.splitlines() if "WHO_AM_I" in line)


def test_writes_are_verified_and_a_kept_value_names_the_register(sim):
    sim.start("--sensor", "kor73", "--ignore-writes", "1B")
    said = cli("--model", "KOR 73", "write", "1B", "18", check=False)
    with veltrix.connect("KOR 73") as board:
        board.write(0x1A, 0x03)
        assert board.read(0x1A) == 0x03
        assert board.read(0x19, 2)[1] == 0x03
        with pytest.raises(veltrix.ReadBackError) as refused:
            board.write(0x1B, 0x18)
        with pytest.raises(ValueError):
            board.write(0x1B, 0x100)
    assert said.returncode == 1
    assert str(refused.value) == said.stderr.strip() == "Register 1B reads back 00 after writing 18"
    assert isinstance(refused.value, veltrix.RegisterError)


def test_save_diff_load_and_rate(sim, tmp_path):
    sim.start("--sensor", "kor73")
    saved = tmp_path / "saved.txt"
    missing = str(tmp_path / "missing.txt")
    said = cli("--model", "KOR 73", "load", missing, check=False)
    with veltrix.connect("KOR 73") as board:
        board.save(saved)
        assert board.diff(saved) == []
        before = board.read(0x1A)
        board.write(0x1A, before ^ 0x05)
        assert board.diff(saved) == [(0x1A, "CONFIG", before ^ 0x05, before)]
        board.load(saved)
        assert board.diff(saved) == []
        board.rate = 200
        assert board.rate == 200
        with pytest.raises(ValueError, match="is not one of"):
            board.rate = 300
        with pytest.raises(veltrix.RegisterError) as refused:
            board.load(missing)
    assert said.returncode == 1 and str(refused.value) == said.stderr.strip()
    sim.stop()
    said = cli("--model", "KOR 73", "info", check=False)
    with pytest.raises(veltrix.ConnectError) as refused:
        veltrix.connect("KOR 73")
    assert str(refused.value) == said.stderr.strip()
