# SPDX-License-Identifier: GPL-3.0-or-later
"""quarnel.open() and the Board's calls on the simulated board, against quarnelctl."""

import json
import os
import signal
import threading
import time

import pytest
import quarnel
from conftest import quarnelctl, quarnelctl_json


def test_commands_give_what_quarnelctl_json_gives(state):
    with quarnel.open(sim_state=state, quick=True) as board:
        info = board.info()
        written = board.write(0x25, 0x40)
        assert board.read(0x25) == written == 0x40
        dump = board.dump()
        celsius = board.readings()
        fahrenheit = board.readings(fahrenheit=True)
    assert info == quarnelctl_json("--sim-state", state, "info")
    assert quarnelctl_json("--sim-state", state, "write", "25", "0x40")["value"] == written
    cli_dump = quarnelctl_json("--sim-state", state, "dump")["registers"]
    # Conversion results move with time: names and layout must agree, settings too.
    key = [(r["address"], r["name"], r["bitLabels"]) for r in dump]
    assert key == [(r["address"], r["name"], r["bitLabels"]) for r in cli_dump]
    assert [r["value"] for r in dump if r["address"] == 0x25] == [0x40]
    status, out, err = quarnelctl("--sim-state", state, "monitor", "--count", "1", "--json")
    line = json.loads(out)
    for mine in (celsius, fahrenheit):
        assert mine.keys() == line.keys()
        assert mine["readings"].keys() == line["readings"].keys()
        assert mine["intStatus1"] == {"value": 0, "set": []}
    assert celsius["readings"]["Internal"]["unit"] == "°C"
    assert fahrenheit["readings"]["Internal"]["unit"] == "°F"
    assert fahrenheit["time"] > celsius["time"] > 0
    # One reading in both units: the same temperature, give or take the drift.
    drift = fahrenheit["readings"]["Internal"]["value"] - (
        celsius["readings"]["Internal"]["value"] * 9 / 5 + 32)
    assert abs(drift) < 2


def test_leaving_the_block_saves_and_releases_the_board(state):
    with pytest.raises(RuntimeError):
        with quarnel.open(sim_state=state, quick=True) as board:
            board.write(0x26, 0x55)
            raise RuntimeError("the script failed")
    assert board.closed
    with pytest.raises(ValueError, match="closed"):
        board.read(0x26)
    board.close()  # twice is harmless
    with quarnel.open(sim_state=state, quick=True) as again:
        assert again.read(0x26) == 0x55


def test_a_board_held_elsewhere_is_a_board_error(board, state):
    with pytest.raises(quarnel.BoardError, match="in use by another program") as held:
        quarnel.open(sim_state=state, quick=True)
    assert held.value.status == 0


@pytest.mark.parametrize("fault, status", [("firmware", 0), ("bus-select=20", 2)])
def test_start_up_failures_carry_the_clis_message_and_code(state, fault, status):
    with pytest.raises(quarnel.BoardError) as failed:
        quarnel.open(sim_state=state, quick=True, sim_fault=[fault])
    assert failed.value.status == status
    code, out, err = quarnelctl("--sim-state", state, "--sim-fault", fault, "info")
    assert code == 3
    assert err.endswith("quarnelctl: " + str(failed.value) + "\n")


def test_a_pulled_cable_fails_a_later_request(state):
    with quarnel.open(sim_state=state, quick=True, sim_fault=["cable=200"]) as board:
        with pytest.raises(quarnel.BoardError, match="^Communications Interrupted") as failed:
            for _ in range(500):
                board.read(0x4E)
    assert failed.value.status == 3


@pytest.mark.parametrize("call, error", [
    (lambda b: b.read(0x100), ValueError),
    (lambda b: b.read(-1), ValueError),
    (lambda b: b.read(2 ** 80), ValueError),
    (lambda b: b.write(0x25, 256), ValueError),
    (lambda b: b.read("25"), TypeError),
    (lambda b: b.read(0x25 * 1.0), TypeError),
    (lambda b: b.write(0x25, None), TypeError),
    (lambda b: b.readings(fahrenheit="yes"), TypeError),
    (lambda b: b.save_profile(42), TypeError),
])
def test_bad_arguments(board, call, error):
    with pytest.raises(error):
        call(board)
    assert board.read(0x4E) == 0x41  # the board goes on


@pytest.mark.parametrize("options, error, text", [
    ({"bogus": 1}, TypeError, "unexpected keyword argument 'bogus'"),
    ({"sim-seed": 1}, TypeError, "unexpected keyword"),
    ({"quick": "yes"}, TypeError, "True or False"),
    ({"sim_seed": 2.5}, TypeError, "str or an int"),
    ({"sim_address": 0x50}, ValueError, "outside the chip's addresses"),
    ({"sim_fault": ["nonsense"]}, ValueError, "unknown fault"),
    ({"sim_seed": -1}, ValueError, "not a whole number"),
    ({"usb": "1209:1", "sim_seed": 2}, ValueError, "option of the simulated board"),
    ({"trace": ""}, ValueError, "needs a file name"),
])
def test_bad_options_are_refused_before_the_board(state, options, error, text):
    with pytest.raises(error, match=text):
        quarnel.open(**{"sim_state": state, "quick": True, **options})


def test_options_reach_the_board(tmp_path, state):
    trace = tmp_path / "trace.log"
    with quarnel.open(sim_state=state, sim_address=0x4A, sim_fault=["bus-select=3"],
                      sim_seed="7", trace=trace, firmware=None, quick=True) as board:
        assert board.info()["deviceAddress"] == 0x4A
    assert trace.read_text().startswith("LoadFirmWare")
    with pytest.raises(ValueError, match="state file"):
        quarnel.open(sim_state=tmp_path, quick=True)  # a folder


def test_profiles_save_compare_and_load(board, tmp_path, state):
    path = tmp_path / "p.json"
    saved = board.save_profile(path)
    assert saved["registers"]["25h"] == {"name": "Internal High Limit", "value": board.read(0x25)}
    before = board.read(0x25)
    board.write(0x25, before ^ 0x0F)
    change = [{"address": 0x25, "name": "Internal High Limit", "chip": before ^ 0x0F,
               "file": before}]
    assert board.load_profile(path, dry_run=True) == change
    assert board.read(0x25) == before ^ 0x0F
    assert board.load_profile(path) == change
    assert board.load_profile(str(path)) == []

    other = json.loads(path.read_text())
    other["chip"]["deviceId"] ^= 1
    foreign = tmp_path / "other.json"
    foreign.write_text(json.dumps(other))
    with pytest.raises(quarnel.ProfileError, match="force=True"):
        board.load_profile(foreign)
    with pytest.warns(quarnel.BoardWarning):
        assert board.load_profile(foreign, force=True) == []
    foreign.write_text("{}")
    with pytest.raises(quarnel.ProfileError, match="cannot use the profile"):
        board.load_profile(foreign)
    board.close()
    assert quarnelctl("--sim-state", state, "profile", "diff", str(path))[0] == 0


def test_ctrl_c_interrupts_the_start_up_and_leaves_the_board_free(tmp_path, state):
    trace = tmp_path / "trace.log"

    def interrupt_after_the_download():
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and "LoadFirmWare" not in (
                trace.read_text() if trace.exists() else ""):
            time.sleep(0.01)
        os.kill(os.getpid(), signal.SIGINT)

    # Without quick the start-up waits over three seconds after the download.
    helper = threading.Thread(target=interrupt_after_the_download)
    helper.start()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        quarnel.open(sim_state=state, trace=trace)
    helper.join()
    assert time.monotonic() - started < 120
    with quarnel.open(sim_state=state, quick=True) as board:
        assert board.read(0x4E) == 0x41


def test_help_reads_well():
    text = quarnel.__doc__ + quarnel.open.__doc__ + quarnel.read_log.__doc__
    for name in ("open", "read_log", "BoardError", "LogError", "KeyboardInterrupt"):
        assert name in text
    for cls in (quarnel.Board, quarnel.Log, quarnel.Run):
        for name, member in vars(cls).items():
            if not name.startswith("_"):
                assert member.__doc__, f"{cls.__name__}.{name} has no docstring"
