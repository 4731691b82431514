#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""quarnel.read_log() against pandas.read_csv() on the same million-line log of
all twelve channels, in the same run: the CPU time of each, median of five.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_read_log.py [LINES]
"""

import os
import statistics
import sys
import tempfile
import time

import numpy as np
import pandas as pd
import quarnel

LINES = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
REPEATS = 5
HEADER = ("Time(s) ,Internal(\xb0C) ,External(\xb0C) ,Vdd(V) ,VARNO(\xb0C) ,Ain1(V) ,Ain2(V) ,"
          "Ain3(V) ,Ain4(V) ,Ain5(V) ,Ain6(V) ,Ain7(V) ,Ain8(V) ,")


def write_log(path):
    """A log as the programs write it: preamble, header, "t, v, v, ...," lines."""
    i = np.arange(LINES)
    wave = np.sin(i * 0.001)
    columns = [i * 0.01, 27.25 + np.round(wave * 16) / 4, 31.5 - np.round(wave * 8) / 4,
               np.full(LINES, 3.299), np.round((24.5 + wave) * 10) / 10,
               np.round(wave * 1000) / 1000 + 1] + [np.full(LINES, v) for v in
                                                    (1.5, .745, 1.234, .5, .9, 1.25, 2.0)]
    with open(path, "w", encoding="cp1252", newline="") as f:
        f.write("\r\nQUARNEL Log File\r\n\r\n" + HEADER + "\r\n")
        np.savetxt(f, np.column_stack(columns), fmt="%.6g", delimiter=", ", newline=",\r\n")


def with_pandas(path):
    # The recipe of the README's "Reading a log with pandas".
    log = pd.read_csv(path, encoding="cp1252", skiprows=3, skipinitialspace=True)
    return log.iloc[:, :-1].rename(columns=str.strip)


def cpu_seconds(read, path):
    times = []
    for _ in range(REPEATS):
        start = time.process_time()
        result = read(path)
        times.append(time.process_time() - start)
    return statistics.median(times), result


def main():
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "big.csv")
        write_log(path)
        size = os.path.getsize(path) / 1e6
        ours, log = cpu_seconds(quarnel.read_log, path)
        theirs, frame = cpu_seconds(with_pandas, path)
    run = log.runs[0]
    # Both read the same numbers.
    assert len(run) == len(frame) == LINES and list(run.columns) == list(frame.columns[1:])
    assert np.array_equal(run.time, frame["Time(s)"].to_numpy())
    assert all(np.array_equal(run.columns[c], frame[c].to_numpy(np.float32)) for c in run.columns)
    print(f"{LINES} lines, 12 channels, {size:.0f} MB; CPU seconds, median of {REPEATS}:")
    print(f"  quarnel.read_log   {ours:6.3f}")
    print(f"  pandas.read_csv    {theirs:6.3f}")
    print(f"  ratio              {ours / theirs:6.2f}")


if __name__ == "__main__":
    main()
