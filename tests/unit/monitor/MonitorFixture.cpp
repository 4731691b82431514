// SPDX-License-Identifier: GPL-3.0-or-later
#include "MonitorFixture.h"

namespace quarnel::test {

BoardSession::BoardSession(double timeOfDay) : clock(timeOfDay) {
    session = std::make_unique<Session>(board, clock, notifier,
                                        [this](int code) { failures.push_back(code); });
    session->link.DeviceAddress = 0x48;
    session->device.state.ReferenceVoltage = 2.28f;
    session->device.state.LogIntervalMs = 250;
    session->device.state.VarnoOnAin3 = true;
    session->device.state.ChannelMode = ChannelFunction::AinInputs;
}

}  // namespace quarnel::test
