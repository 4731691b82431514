# SPDX-License-Identifier: GPL-3.0-or-later
"""quarnel.read_log() against the CSV text of logs quarnelctl wrote."""

import csv
import os
import threading

import numpy as np
import pytest
import quarnel
from conftest import quarnelctl


def csv_runs(path):
    """Each run's header line number, column names and rows, as csv reads the file."""
    runs, damaged = [], []
    with open(path, newline="", encoding="cp1252") as f:
        reader = csv.reader(f, skipinitialspace=True)
        for row in reader:
            if len(row) < 2:  # blank lines and the title
                continue
            fields = [field.strip() for field in row[:-1]]  # each line ends in a comma
            if fields[0] == "Time(s)":
                runs.append((reader.line_num, fields[1:], []))
            else:
                try:
                    runs[-1][2].append([float(field) for field in fields])
                except ValueError:
                    damaged.append(reader.line_num)
    return runs, damaged


def test_appended_runs_read_value_for_value(tmp_path):
    path = tmp_path / "run.csv"
    state = str(tmp_path / "board.json")
    for extra in (["--channels", "internal,vdd,ain3"], ["--fahrenheit"], []):
        status, _, err = quarnelctl("--sim-state", state, "log", str(path), "--count", "6",
                                    "--interval", "10", *extra)
        assert status == 0, err
        if extra == ["--fahrenheit"]:
            with open(path, "ab") as f:
                f.write(b"1.5 ,not a number ,\r\n")
    expected, damaged = csv_runs(path)

    log = quarnel.read_log(path)
    assert log.path == path
    assert [len(damaged), damaged[0]] == [log.damaged_lines, log.first_damaged_line]
    assert len(log.runs) == len(expected) == 3
    for run, (header_line, names, rows), unit in zip(log.runs, expected, ("C", "F", "C")):
        assert run.header_line == header_line
        assert run.fahrenheit == (unit == "F")
        assert f"Internal(°{unit})" in run.columns
        assert list(run.columns) == names
        values = np.array(rows)
        assert len(run) == len(rows) == 6
        assert run.time.dtype == np.float64
        assert np.array_equal(run.time, values[:, 0])
        for i, column in enumerate(run.columns.values()):
            assert column.dtype == np.float64
            assert not column.flags.owndata  # the reader's storage, not a copy
            assert np.array_equal(column, values[:, i + 1])  # each the float of its text


def test_what_is_no_log_is_a_log_error(tmp_path):
    text = tmp_path / "notes.txt"
    text.write_text("shopping list\r\n")
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    for path, reason, error in [(text, "is not a QUARNEL log file", quarnel.LogError),
                                (tmp_path / "missing.csv", "No such file", FileNotFoundError),
                                (tmp_path, "is a folder", OSError)]:
        with pytest.raises(error, match=reason) as raised:
            quarnel.read_log(path)
        assert isinstance(raised.value, quarnel.LogError) and raised.value.filename == path
    assert raised.value.errno is None
    with pytest.raises(TypeError):
        quarnel.read_log(42)

    # A FIFO is refused at once: nothing ever writes to this one.
    outcome = []
    reader = threading.Thread(target=lambda: outcome.append(_error_of(quarnel.read_log, fifo)),
                              daemon=True)
    reader.start()
    reader.join(timeout=120)
    assert outcome and "not a regular file" in outcome[0]


def _error_of(call, *args):
    try:
        call(*args)
    except quarnel.LogError as e:
        return str(e)
    return "no error"
