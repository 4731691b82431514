#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""quarnel.read_log() against pandas.read_csv() on the same million-line log of
all twelve channels, side by side: the CPU time of each (median of five reads)
and the peak memory a read adds, each reader in a process of its own that has
imported the same modules.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_read_log.py [LINES]
"""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
import pandas as pd
import quarnel

REPEATS = 5
HEADER = ("Time(s) ,Internal(\xb0C) ,External(\xb0C) ,Vdd(V) ,VARNO(\xb0C) ,Ain1(V) ,Ain2(V) ,"
          "Ain3(V) ,Ain4(V) ,Ain5(V) ,Ain6(V) ,Ain7(V) ,Ain8(V) ,")


def write_log(path, lines):
    """A log as the programs write it: preamble, header, "t, v, v, ...," lines."""
    i = np.arange(lines)
    wave = np.sin(i * 0.001)
    columns = [i * 0.01, 27.25 + np.round(wave * 16) / 4, 31.5 - np.round(wave * 8) / 4,
               np.full(lines, 3.307), np.round((24.5 + wave) * 10) / 10,
               np.round(wave * 1000) / 1000 + 1] + [np.full(lines, v) for v in
                                                    (1.5, .745, 1.234, .5, .9, 1.25, 2.0)]
    with open(path, "w", encoding="cp1252", newline="") as f:
        f.write("\r\nQUARNEL Log File\r\n\r\n" + HEADER + "\r\n")
        np.savetxt(f, np.column_stack(columns), fmt="%.6g", delimiter=", ", newline=",\r\n")


def with_pandas(path):
    # The recipe of docs/logs.md.
    log = pd.read_csv(path, encoding="cp1252", skiprows=3, skipinitialspace=True)
    return log.iloc[:, :-1].rename(columns=str.strip)


READERS = {"quarnel": quarnel.read_log, "pandas": with_pandas}


def kib(field):
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith(field + ":"))


def measure(reader, path):
    """In a fresh process: CPU seconds (median) and the peak memory (MB) a read adds."""
    read = READERS[reader]
    before = kib("VmRSS")
    times = []
    for _ in range(REPEATS):
        start = time.process_time()
        result = read(path)
        times.append(time.process_time() - start)
        del result
    print(json.dumps({"cpu": statistics.median(times),
                      "peak": (kib("VmHWM") - before) / 1024}))


def main():
    if sys.argv[1:2] == ["--measure"]:
        return measure(sys.argv[2], sys.argv[3])
    lines = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "big.csv")
        write_log(path, lines)
        size = os.path.getsize(path) / 1e6
        got = {reader: json.loads(subprocess.run(
            [sys.executable, __file__, "--measure", reader, path], check=True,
            capture_output=True, text=True).stdout) for reader in READERS}
        # Both read the same numbers, every one the float of its text.
        run, frame = quarnel.read_log(path).runs[0], with_pandas(path)
    assert len(run) == len(frame) == lines and list(run.columns) == list(frame.columns[1:])
    assert np.array_equal(run.time, frame["Time(s)"].to_numpy())
    assert all(np.array_equal(run.columns[c], frame[c].to_numpy()) for c in run.columns)
    assert run.columns["Vdd(V)"][0] == 3.307
    ours, theirs = got["quarnel"], got["pandas"]
    print(f"{lines} lines, 12 channels, {size:.0f} MB; median CPU of {REPEATS} reads, "
          "peak memory a read adds:")
    print(f"  quarnel.read_log   {ours['cpu']:6.3f} s  {ours['peak']:7.1f} MB")
    print(f"  pandas.read_csv    {theirs['cpu']:6.3f} s  {theirs['peak']:7.1f} MB")
    print(f"  ratio              {ours['cpu'] / theirs['cpu']:6.2f}    "
          f"{ours['peak'] / theirs['peak']:7.2f}")


if __name__ == "__main__":
    main()
