# SPDX-License-Identifier: GPL-3.0-or-later
"""Shared by the quarnel module's tests: a simulated board of each test's own,
and the built quarnelctl to compare with."""

import json
import os
import subprocess

import pytest
import quarnel

QUARNELCTL = os.environ["QUARNELCTL"]


@pytest.fixture
def state(tmp_path):
    return str(tmp_path / "board.json")


@pytest.fixture
def board(state):
    with quarnel.open(sim_state=state, quick=True) as b:
        yield b


def quarnelctl(*args):
    """quarnelctl --quick ARGS: (exit status, stdout, stderr)."""
    done = subprocess.run([QUARNELCTL, "--quick", *args], capture_output=True, text=True,
                          timeout=300)
    return done.returncode, done.stdout, done.stderr


def quarnelctl_json(*args):
    status, out, err = quarnelctl(*args, "--json")
    assert status == 0, err
    return json.loads(out)
