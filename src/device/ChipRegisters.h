// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The QUARNEL's registers and the bits the program acts on, named once. Where
// two registers of the register map share an address, each has its own name.

#include <cstdint>

namespace quarnel::chip {

// Serial-bus addresses the chip can answer at, and what it holds in Company ID.
inline constexpr int kFirstBusAddress = 0x48;
inline constexpr int kLastBusAddress = 0x4B;
inline constexpr int kCompanyIdValue = 0x41;

// Latched interrupt status.
inline constexpr int32_t kStatus1 = 0x00;
inline constexpr int32_t kStatus2 = 0x01;

// Conversion results: a 10-bit code, its top eight bits in an MSB register and
// its two lowest bits in a field of a shared LSB register.
inline constexpr int32_t kInternalTempLsbs = 0x03;  // bits 1:0
inline constexpr int32_t kVddLsbs = 0x03;           // bits 3:2
inline constexpr int32_t kExternalTempLsbs = 0x04;  // bits 1:0
inline constexpr int32_t kAin1to4Lsbs = 0x04;       // Ain1 bits 1:0 up to Ain4 bits 7:6
inline constexpr int32_t kAin5to8Lsbs = 0x05;       // Ain5 bits 1:0 up to Ain8 bits 7:6
inline constexpr int32_t kVddMsbs = 0x06;
inline constexpr int32_t kInternalTempMsbs = 0x07;
inline constexpr int32_t kExternalTempMsbs = 0x08;
inline constexpr int32_t kAin1Msbs = 0x08;  // the external channel's, in Ain mode
inline constexpr int32_t kAin2Msbs = 0x09;
inline constexpr int32_t kAin3Msbs = 0x0A;
inline constexpr int32_t kAin4Msbs = 0x0B;
inline constexpr int32_t kAin5Msbs = 0x0C;
inline constexpr int32_t kAin6Msbs = 0x0D;
inline constexpr int32_t kAin7Msbs = 0x0E;
inline constexpr int32_t kAin8Msbs = 0x0F;

inline constexpr int32_t kDacALsbs = 0x10;
inline constexpr int32_t kDacAMsbs = 0x11;
inline constexpr int32_t kDacBLsbs = 0x12;
inline constexpr int32_t kDacBMsbs = 0x13;
inline constexpr int32_t kDacCLsbs = 0x14;
inline constexpr int32_t kDacCMsbs = 0x15;
inline constexpr int32_t kDacDLsbs = 0x16;
inline constexpr int32_t kDacDMsbs = 0x17;

inline constexpr int32_t kConfig1 = 0x18;
inline constexpr int32_t kConfig2 = 0x19;
inline constexpr int32_t kConfig3 = 0x1A;
inline constexpr int32_t kDacConfig = 0x1B;
inline constexpr int32_t kLdacConfig = 0x1C;
inline constexpr int32_t kMask1 = 0x1D;
inline constexpr int32_t kMask2 = 0x1E;

inline constexpr int32_t kInternalOffset = 0x1F;
inline constexpr int32_t kExternalOffset = 0x20;
inline constexpr int32_t kInternalAnalogOffset = 0x21;
inline constexpr int32_t kExternalAnalogOffset = 0x22;

inline constexpr int32_t kVddHighLimit = 0x23;
inline constexpr int32_t kVddLowLimit = 0x24;
inline constexpr int32_t kInternalHighLimit = 0x25;
inline constexpr int32_t kInternalLowLimit = 0x26;
inline constexpr int32_t kExternalHighLimit = 0x27;
inline constexpr int32_t kExternalLowLimit = 0x28;
inline constexpr int32_t kAin1HighLimit = 0x27;  // the external channel's, in Ain mode
inline constexpr int32_t kAin1LowLimit = 0x28;
inline constexpr int32_t kAin2HighLimit = 0x2B;
inline constexpr int32_t kAin2LowLimit = 0x2C;
inline constexpr int32_t kAin3HighLimit = 0x2D;
inline constexpr int32_t kAin3LowLimit = 0x2E;
inline constexpr int32_t kAin4HighLimit = 0x2F;
inline constexpr int32_t kAin4LowLimit = 0x30;
inline constexpr int32_t kAin5HighLimit = 0x31;
inline constexpr int32_t kAin5LowLimit = 0x32;
inline constexpr int32_t kAin6HighLimit = 0x33;
inline constexpr int32_t kAin6LowLimit = 0x34;
inline constexpr int32_t kAin7HighLimit = 0x35;
inline constexpr int32_t kAin7LowLimit = 0x36;
inline constexpr int32_t kAin8HighLimit = 0x37;
inline constexpr int32_t kAin8LowLimit = 0x38;

inline constexpr int32_t kDeviceId = 0x4D;
inline constexpr int32_t kCompanyId = 0x4E;
inline constexpr int32_t kRevision = 0x4F;
inline constexpr int32_t kSpiLock = 0x7F;

// Configuration 1
inline constexpr int kConfig1Mon = 0x01;           // MON: conversions run
inline constexpr int kConfig1PinSelect = 0x06;     // P7/8, bits 2:1: the shared pins' function
inline constexpr int kConfig1PinsAin = 0x00;       // Ain1 and Ain2
inline constexpr int kConfig1PinsExternal = 0x04;  // the external diode; 0x02 and 0x06 are invalid
inline constexpr int kConfig1Bit3 = 0x08;          // set at power-on; no control owns it
inline constexpr int kConfig1IntDisable = 0x20;    // EN: set disables the interrupt pin
inline constexpr int kConfig1Polarity = 0x40;      // POL: set makes the pin active high
inline constexpr int kConfig1PowerDown = 0x80;     // PD

// Configuration 2
inline constexpr int kConfig2AveragingOff = 0x20;  // AVE: set turns averaging off
inline constexpr int kConfig2Reset = 0x80;         // RST: restores the power-on values

// Configuration 3
inline constexpr int kConfig3FastAdc = 0x01;       // ADC: the fast conversion clock
inline constexpr int kConfig3VddReference = 0x10;  // REF: Ain measured against Vdd

// Bit numbers of Interrupt Status 1 and Interrupt Mask 1; in Ain mode EXHI
// reports Ain1.
inline constexpr int kInhiBit = 0, kInloBit = 1, kExhiBit = 2, kExloBit = 3, kFltBit = 4;
inline constexpr int kAin2Bit = 5, kAin3Bit = 6, kAin4Bit = 7;
// Bit numbers of Interrupt Status 2 and Interrupt Mask 2, and the bits they use.
inline constexpr int kAin5Bit = 0, kAin6Bit = 1, kAin7Bit = 2, kAin8Bit = 3, kVddBit = 4;
inline constexpr int kStatus2Bits = 0x1F;

// SPI Lock Status
inline constexpr int kSpiLocked = 0x01;

// A register value with the given bits set or cleared.
constexpr int32_t withBits(int32_t value, int bits, bool set) {
    return set ? (value | bits) : (value & ~bits);
}

}  // namespace quarnel::chip
