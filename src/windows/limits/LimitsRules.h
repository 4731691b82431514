// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The limits window's register arithmetic, kept free of widgets: which box
// owns which mask bit, which lamp shows which status bit, the limit registers
// of each gauge, and the conversions between gauge values and limit bytes.

#include <array>
#include <cstdint>

#include "device/ChipRegisters.h"
#include "device/LimitRegisters.h"
#include "monitor/Session.h"

namespace quarnel {

inline constexpr int kLampCount = 14;  // tglAlert(0..13)
inline constexpr int kMaskCount = 13;  // chkMask(0..12)
inline constexpr int kPinStatusLamp = 6;

// A status or mask bit: register 1 (Status 1 / 0x1D) or 2 (Status 2 / 0x1E), and the bit.
struct InterruptBit {
    int bank = 1;
    int bit = 0;
    int32_t maskRegister() const { return bank == 1 ? chip::kMask1 : chip::kMask2; }
};

// Status bit lighting tglAlert(i); the Pin Status lamp (6) has none (bank 0).
inline constexpr std::array<InterruptBit, kLampCount> kLampStatus = {{
    {1, chip::kInhiBit},
    {1, chip::kInloBit},
    {1, chip::kExhiBit},
    {1, chip::kExloBit},
    {2, chip::kVddBit},
    {1, chip::kFltBit},
    {0, 0},
    {1, chip::kAin2Bit},
    {1, chip::kAin3Bit},
    {1, chip::kAin4Bit},
    {2, chip::kAin5Bit},
    {2, chip::kAin6Bit},
    {2, chip::kAin7Bit},
    {2, chip::kAin8Bit},
}};

// Mask bit owned by chkMask(i): the lamps' bits in their order, but for the
// Pin Status lamp's.
inline constexpr std::array<InterruptBit, kMaskCount> kMaskOwner = [] {
    std::array<InterruptBit, kMaskCount> owners{};
    size_t mask = 0;
    for (size_t lamp = 0; lamp < kLampStatus.size(); ++lamp)
        if (lamp != static_cast<size_t>(kPinStatusLamp)) owners[mask++] = kLampStatus[lamp];
    return owners;
}();

// The interrupt output is driven: the pin is enabled and some status bit is
// set whose mask bit is clear (bits 0..7 of Status 1, 0..4 of Status 2).
bool InterruptPinActive(const DeviceState& state, const CurrentReadings& readings);

// A temperature marker as the signed whole degrees Celsius written to its
// limit register: rounded (halves to even), and from Fahrenheit converted as
// (n * 5 - 160) / 9 and rounded again. Throws ConversionError out of range.
int32_t TemperatureLimitFromMarker(double value, bool fahrenheit);

// Top of the Ain scales: the internal reference or Vdd.
double AinScaleMaximum(float referenceVoltage);

}  // namespace quarnel
