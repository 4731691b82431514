#pragma once
// The limits window's register arithmetic, kept free of widgets: which box
// owns which mask bit, which lamp shows which status bit, the limit registers
// of each gauge, and the conversions between gauge values and limit bytes.

#include <array>
#include <cstdint>

#include "monitor/Session.h"

namespace quarnel {

inline constexpr int32_t kRegConfig1 = 0x18;
inline constexpr int32_t kRegMask1 = 0x1D;
inline constexpr int32_t kRegMask2 = 0x1E;
inline constexpr int kIntDisableBit = 0x20;  // Configuration 1 bit 5 (EN): pin disabled when set

inline constexpr int kLampCount = 14;  // tglAlert(0..13)
inline constexpr int kMaskCount = 13;  // chkMask(0..12)
inline constexpr int kPinStatusLamp = 6;

// A status or mask bit: register 1 (Status 1 / 0x1D) or 2 (Status 2 / 0x1E), and the bit.
struct InterruptBit {
    int bank = 1;
    int bit = 0;
    int32_t maskRegister() const { return bank == 1 ? kRegMask1 : kRegMask2; }
};

// Status bit lighting tglAlert(i); the Pin Status lamp (6) has none (bank 0).
inline constexpr std::array<InterruptBit, kLampCount> kLampStatus = {{
    {1, 0},
    {1, 1},
    {1, 2},
    {1, 3},
    {2, 4},
    {1, 4},
    {0, 0},
    {1, 5},
    {1, 6},
    {1, 7},
    {2, 0},
    {2, 1},
    {2, 2},
    {2, 3},
}};

// Mask bit owned by chkMask(i).
inline constexpr std::array<InterruptBit, kMaskCount> kMaskOwner = {{
    {1, 0},
    {1, 1},
    {1, 2},
    {1, 3},
    {2, 4},
    {1, 4},
    {1, 5},
    {1, 6},
    {1, 7},
    {2, 0},
    {2, 1},
    {2, 2},
    {2, 3},
}};

// Low- and high-limit registers of a gauge.
struct LimitRegisters {
    int32_t low;
    int32_t high;
};
inline constexpr LimitRegisters kInternalLimits{0x26, 0x25};
inline constexpr LimitRegisters kExternalLimits{0x28, 0x27};
inline constexpr LimitRegisters kVddLimits{0x24, 0x23};
// ggeAin(0..7); Ain1 shares the external channel's registers.
inline constexpr std::array<LimitRegisters, 8> kAinLimits = {{
    {0x28, 0x27},
    {0x2C, 0x2B},
    {0x2E, 0x2D},
    {0x30, 0x2F},
    {0x32, 0x31},
    {0x34, 0x33},
    {0x36, 0x35},
    {0x38, 0x37},
}};

// The interrupt output is driven: the pin is enabled and some status bit is
// set whose mask bit is clear (bits 0..7 of Status 1, 0..4 of Status 2).
bool InterruptPinActive(const DeviceState& state, const CurrentReadings& readings);
inline bool InterruptPinActive(const Session& session) {
    return InterruptPinActive(session.device.state, session.readings);
}

// A temperature marker as the signed whole degrees Celsius written to its
// limit register: rounded (halves to even), and from Fahrenheit converted as
// (n * 5 - 160) / 9 and rounded again. Throws ConversionError out of range.
int32_t TemperatureLimitFromMarker(double value, bool fahrenheit);

// A temperature limit register as shown on its gauge: the byte as a signed
// number, in Fahrenheit x * 9 / 5 + 32 in single precision, not rounded.
float TemperatureFromLimitRegister(int byte, bool fahrenheit);

// Vdd and Ain limit registers as shown on their gauges (3 and 2 decimals).
float VddFromLimitRegister(int byte);
float AinFromLimitRegister(int byte, float referenceVoltage);

// Top of the Ain scales: the internal reference or Vdd.
double AinScaleMaximum(float referenceVoltage);

}  // namespace quarnel
