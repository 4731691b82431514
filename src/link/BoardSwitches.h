// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The board's analog switches and bus selection. Each routine reads the port
// image afresh, changes bits of one port's low byte and writes the port back
// with its high byte as read.

#include <cstdint>

#include "link/BoardLink.h"

namespace quarnel {

int16_t SelectSmbusInterface(BoardLink& link);
int16_t SelectSpiInterface(BoardLink& link);
int16_t ConnectAinSwitches(BoardLink& link);
int16_t DisconnectAinSwitches(BoardLink& link);
int16_t SwitchToExternalTemp(BoardLink& link);
int16_t SwitchToAinInputs(BoardLink& link);
// ainInputs: the shared pins measure Ain1/Ain2, so their switches close.
int16_t InitBoardSwitches(BoardLink& link, bool ainInputs);

}  // namespace quarnel
