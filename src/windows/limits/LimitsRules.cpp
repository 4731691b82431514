// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/limits/LimitsRules.h"

#include "device/Conversions.h"

namespace quarnel {

bool InterruptPinActive(const DeviceState& state, const CurrentReadings& readings) {
    if (!state.InterruptPinEnabled) return false;
    const int pending1 = readings.IntStatus1 & ~state.IntMask1 & 0xFF;
    const int pending2 = readings.IntStatus2 & ~state.IntMask2 & chip::kStatus2Bits;
    return pending1 != 0 || pending2 != 0;
}

int32_t TemperatureLimitFromMarker(double value, bool fahrenheit) {
    const int32_t whole = RoundToInt16(value);
    if (!fahrenheit) return whole;
    return RoundToInt16((static_cast<double>(whole) * 5.0 - 160.0) / 9.0);
}

double AinScaleMaximum(float referenceVoltage) {
    return referenceVoltage == 2.28f ? 2.28 : 3.3;
}

}  // namespace quarnel
