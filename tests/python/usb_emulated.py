# SPDX-License-Identifier: GPL-3.0-or-later
"""The module on the USB board. unit_usb runs this under umockdev-wrapper with the
emulated board plugged in (without firmware), to be pulled 200 transfers on."""

import os

import pytest
import quarnel


def test_the_usb_board_through_the_module(tmp_path):
    options = dict(usb="1209:1/1209:2", firmware=os.environ["QUARNEL_TEST_IMAGE"], quick=True,
                   trace=tmp_path / "trace")
    with quarnel.open(**options) as board:
        info = board.info()
        assert (info["board"], info["usbId"], info["bus"], info["deviceId"]) == (
            "usb", "1209:0002", 1, 0x51)
        assert board.write(0x25, 80) == 80
        assert board.readings()["readings"]["Vdd"]["unit"] == "V"
        with pytest.raises(quarnel.BoardError) as pulled:
            for _ in range(1000):
                board.read(0x4E)
    assert pulled.value.status == 3
    assert str(pulled.value).startswith("Communications Interrupted")
    assert "usb: the board on /dev/bus/usb/001/008 is gone" in str(pulled.value)
