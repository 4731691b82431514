// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/BoardSwitches.h"

#include <functional>

namespace quarnel {
namespace {

// Port P's low byte sits at image byte 2 * (P - 1), its high byte right after.
int16_t updatePort(BoardLink& link, int port, const std::function<int(int)>& newLow) {
    link.ReadPorts();  // a failed read is not detected: the image holds what it holds
    const int low = link.LinkBuffer[2 * (port - 1)];
    const int high = link.LinkBuffer[2 * (port - 1) + 1];
    return link.WritePort(port, newLow(low) & 0xFF, high);
}

}  // namespace

int16_t SelectSmbusInterface(BoardLink& link) {
    return updatePort(link, 3, [](int l) { return l & 0xFB; });
}

int16_t SelectSpiInterface(BoardLink& link) {
    const int16_t status = updatePort(link, 3, [](int l) { return l | 0x04; });
    link.ReadAuxiliaryByte();
    return status;
}

int16_t ConnectAinSwitches(BoardLink& link) {
    return updatePort(link, 3, [](int l) { return l | 0x03; });
}

int16_t DisconnectAinSwitches(BoardLink& link) {
    return updatePort(link, 3, [](int l) { return l & 0xFC; });
}

int16_t SwitchToExternalTemp(BoardLink& link) {
    DisconnectAinSwitches(link);
    return updatePort(link, 2, [](int l) { return l | 0x03; });
}

int16_t SwitchToAinInputs(BoardLink& link) {
    const int16_t status = updatePort(link, 2, [](int l) { return l & 0xFC; });
    ConnectAinSwitches(link);
    return status;
}

int16_t InitBoardSwitches(BoardLink& link, bool ainInputs) {
    const int16_t status = updatePort(link, 2, [](int l) { return l & 0xCF; });
    if (ainInputs) ConnectAinSwitches(link);
    return status;
}

}  // namespace quarnel
