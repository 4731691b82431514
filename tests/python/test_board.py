# SPDX-License-Identifier: GPL-3.0-or-later
"""quarnel.open() and the Board's calls on the simulated board, against quarnelctl."""

import inspect
import json
import os
import signal
import subprocess
import sys
import threading
import time

import numpy as np
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


def test_a_held_board_says_who_holds_it(board, state, tmp_path):
    link = tmp_path / "link.json"
    link.symlink_to(state)
    for path in (state, link):
        with pytest.raises(quarnel.BoardError, match="held by this process") as held:
            quarnel.open(sim_state=path, quick=True)
        assert held.value.status == 4
    board.close()
    holder = subprocess.Popen([sys.executable, "-c", "import sys, quarnel\n"
                               f"b = quarnel.open(sim_state={state!r}, quick=True)\n"
                               "print(flush=True); sys.stdin.read()"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    holder.stdout.readline()
    with pytest.raises(quarnel.BoardError, match="in use by another program") as held:
        quarnel.open(sim_state=state, quick=True)
    holder.communicate("")
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
    (lambda b: b.write(0x25, np.bool_(True)), TypeError),
    (lambda b: b.read(adress=0x25), "unexpected keyword argument 'adress'"),
    (lambda b: b.write(0x25), "missing required argument: 'value'"),
    (lambda b: b.log("x.csv", channels=["inside"]), ValueError),
    (lambda b: b.log("x.csv", count=0), ValueError),
    (lambda b: b.stream(interval="fast"), TypeError),
])
def test_bad_arguments(board, call, error):
    text = error if isinstance(error, str) else None
    with pytest.raises(TypeError if text else error, match=text):
        call(board)
    assert board.read(0x4E) == 0x41  # the board goes on


@pytest.mark.parametrize("options, error, text", [
    ({"bogus": 1}, TypeError, "unexpected keyword argument 'bogus'"),
    ({"sim-seed": 1}, TypeError, "unexpected keyword"),
    ({"quick": "yes"}, TypeError, "True or False"),
    ({"sim_seed": 2.5}, TypeError, "os.PathLike or an int, not float"),
    ({"sim_address": 0x50}, ValueError, "outside the chip's addresses"),
    ({"sim_fault": ["nonsense"]}, ValueError, "unknown fault"),
    ({"sim_seed": -1}, ValueError, "not a whole number"),
    ({"usb": "1209:1", "sim_seed": 2}, ValueError, "option of the simulated board"),
    ({"trace": ""}, ValueError, "needs a file name"),
    ({"usb_port": "1-2"}, ValueError, "^usb_port is an option of the USB board: give usb too$"),
])
def test_bad_options_are_refused_before_the_board(state, options, error, text):
    with pytest.raises(error, match=text):
        quarnel.open(**{"sim_state": state, "quick": True, **options})


def test_options_reach_the_board(tmp_path, state):
    trace = tmp_path / "trace.log"
    with quarnel.open(sim_state=os.fsencode(state), sim_address=np.uint8(0x4A),
                      sim_fault=["bus-select=3"], sim_seed="7", trace=trace, firmware=None,
                      quick=np.bool_(True)) as board:
        assert board.info()["deviceAddress"] == 0x4A
        assert board.write(np.int64(0x25), np.int16(40)) == board.read(np.uint8(0x25)) == 40
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


def test_logging_and_streaming_from_a_script(board, tmp_path):
    path = tmp_path / "run.csv"
    assert board.log(path, channels=["internal", "VDD"], interval=0.01, count=5) == 5
    assert board.log(path, interval=0, duration=0.05) > 0
    first, second = quarnel.read_log(path).runs
    assert list(first.columns) == ["Internal(°C)", "Vdd(V)"] and len(first) == 5
    assert len(second.columns) == len(board.readings()["readings"])
    snapshots = list(board.stream(interval=0.02, count=3, fahrenheit=True))
    assert len(snapshots) == 3 and snapshots[0]["time"] < snapshots[2]["time"]
    assert snapshots[0]["readings"]["Internal"]["unit"] == "°F"

    def interrupt_once_logging():
        while not path.exists() or path.read_bytes().count(b"\n") < 4 + 2:
            time.sleep(0.01)
        os.kill(os.getpid(), signal.SIGINT)

    path.unlink()
    helper = threading.Thread(target=interrupt_once_logging)
    helper.start()
    with pytest.raises(KeyboardInterrupt):
        board.log(path, interval=0.01)
    helper.join()
    assert len(quarnel.read_log(path).runs[0]) >= 1
    assert board.read(0x4E) == 0x41


EXIT_SCRIPT = """
import signal, sys, threading, quarnel
junk = [str(i) for i in range(200000)]  # a finalisation long enough to meet the calls
board = quarnel.open(sim_state=sys.argv[1], quick=True)
busy = threading.Barrier(3)
def collect(call):
    # Ctrl+C for the main thread: Python never wakes its wait for one taken elsewhere.
    signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGINT])
    busy.wait()
    while True:
        call()
for call in (board.readings, lambda: quarnel.read_log(sys.argv[2])):
    threading.Thread(target=collect, args=(call,), daemon=True).start()
busy.wait()
print(flush=True)
if sys.argv[3] == "ctrl-c":
    threading.Event().wait()
"""


@pytest.mark.parametrize("end", ["script end", "ctrl-c"])
def test_daemon_threads_in_calls_do_not_crash_the_exit(tmp_path, end):
    log = tmp_path / "run.csv"
    log.write_bytes(b"\r\nQUARNEL Log File\r\n\r\nTime(s) ,Vdd(V) ,\r\n" +
                    b"".join(b"%d.25, 3.307,\r\n" % i for i in range(100000)))
    runs = [subprocess.Popen([sys.executable, "-c", EXIT_SCRIPT, str(tmp_path / f"{i}.json"),
                              str(log), end], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            for i in range(20)]
    for run in runs:
        if end == "ctrl-c":
            run.stdout.readline()
            run.send_signal(signal.SIGINT)
        err = run.communicate(timeout=120)[1].decode()
        assert run.returncode in (0, -signal.SIGINT), err
        assert "terminate" not in err and "Fatal" not in err, err


def test_help_reads_well():
    text = quarnel.__doc__ + quarnel.open.__doc__ + quarnel.read_log.__doc__
    for name in ("open", "read_log", "BoardError", "LogError", "KeyboardInterrupt"):
        assert name in text
    for cls in (quarnel.Board, quarnel.Log, quarnel.Run):
        for name, member in vars(cls).items():
            if not name.startswith("_"):
                assert member.__doc__, f"{cls.__name__}.{name} has no docstring"
    assert str(inspect.signature(quarnel.Board.log)) == (
        "(self, /, path, channels=None, interval=0.25, count=None, duration=None, "
        "fahrenheit=False)")
    assert "usb_port=None" in str(inspect.signature(quarnel.open))
