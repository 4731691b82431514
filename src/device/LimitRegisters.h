// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The limit registers of each channel and what their bytes mean: the limits
// window shows them on its gauges, the exporter publishes them.

#include <array>
#include <cstdint>

#include "device/ChipRegisters.h"

namespace quarnel {

// Low- and high-limit registers of a gauge.
struct LimitRegisters {
    int32_t low;
    int32_t high;
};
inline constexpr LimitRegisters kInternalLimits{chip::kInternalLowLimit, chip::kInternalHighLimit};
inline constexpr LimitRegisters kExternalLimits{chip::kExternalLowLimit, chip::kExternalHighLimit};
inline constexpr LimitRegisters kVddLimits{chip::kVddLowLimit, chip::kVddHighLimit};
// ggeAin(0..7); Ain1 shares the external channel's registers.
inline constexpr std::array<LimitRegisters, 8> kAinLimits = {{
    {chip::kAin1LowLimit, chip::kAin1HighLimit},
    {chip::kAin2LowLimit, chip::kAin2HighLimit},
    {chip::kAin3LowLimit, chip::kAin3HighLimit},
    {chip::kAin4LowLimit, chip::kAin4HighLimit},
    {chip::kAin5LowLimit, chip::kAin5HighLimit},
    {chip::kAin6LowLimit, chip::kAin6HighLimit},
    {chip::kAin7LowLimit, chip::kAin7HighLimit},
    {chip::kAin8LowLimit, chip::kAin8HighLimit},
}};

// A temperature limit register as shown on its gauge: the byte as a signed
// number, in Fahrenheit x * 9 / 5 + 32 in single precision, not rounded.
float TemperatureFromLimitRegister(int byte, bool fahrenheit);

// Vdd and Ain limit registers as shown on their gauges (3 and 2 decimals).
float VddFromLimitRegister(int byte);
float AinFromLimitRegister(int byte, float referenceVoltage);

}  // namespace quarnel
