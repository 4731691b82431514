// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/LimitRegisters.h"

#include "device/Conversions.h"

namespace quarnel {

float TemperatureFromLimitRegister(int byte, bool fahrenheit) {
    byte &= 0xFF;
    const float celsius = static_cast<float>(byte & 0x80 ? byte - 256 : byte);
    if (!fahrenheit) return celsius;
    return celsius * 9.0f / 5.0f + 32.0f;
}

float VddFromLimitRegister(int byte) {
    return RoundToSingle(VddFromCode(static_cast<int16_t>((byte & 0xFF) * 4)), 3);
}

float AinFromLimitRegister(int byte, float referenceVoltage) {
    return RoundToSingle(AinFromCode(static_cast<int16_t>((byte & 0xFF) * 4), referenceVoltage), 2);
}

}  // namespace quarnel
