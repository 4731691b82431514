// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The QUARNEL as the simulated board carries it: register file, round-robin
// conversions with their transfer functions, limit checks, latched interrupt
// status, the LSB/MSB latch, reset and the SPI lock.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "sim/Environment.h"

namespace quarnel::sim {

// Register addresses the chip gives a function.
namespace reg {
inline constexpr int kStatus1 = 0x00, kStatus2 = 0x01;
inline constexpr int kLsbIntVdd = 0x03, kLsbExtAin1to4 = 0x04, kLsbAin5to8 = 0x05;
inline constexpr int kMsbVdd = 0x06, kMsbInternal = 0x07,
                     kMsbExternal = 0x08;  // 0x09..0x0F Ain2..8
inline constexpr int kConfig1 = 0x18, kConfig2 = 0x19, kConfig3 = 0x1A;
inline constexpr int kMask1 = 0x1D, kMask2 = 0x1E;
inline constexpr int kInternalOffset = 0x1F, kExternalOffset = 0x20;
inline constexpr int kVddHigh = 0x23, kVddLow = 0x24, kInternalHigh = 0x25, kInternalLow = 0x26;
inline constexpr int kExternalHigh = 0x27, kExternalLow = 0x28;  // Ain1 limits in Ain mode
inline constexpr int kDeviceId = 0x4D, kCompanyId = 0x4E, kRevision = 0x4F, kSpiLock = 0x7F;
}  // namespace reg

inline constexpr uint8_t kCompanyIdValue = 0x41;
inline constexpr uint8_t kDeviceIdValue = 0x51;
inline constexpr uint8_t kRevisionValue = 0x02;

// Which of the board's analog switches are closed (from the port image).
struct Switches {
    bool diode = false;  // port 2 bits 0 and 1 both set
    bool ain1 = false;   // port 3 bit 0
    bool ain2 = false;   // port 3 bit 1
};

class Chip {
  public:
    using Registers = std::array<uint8_t, 256>;
    using InputsAt = std::function<AnalogInputs(double seconds)>;

    static Registers powerOnRegisters();
    // One conversion's duration: Configuration 3 bit 0 picks the fast ADC clock.
    static constexpr double kSlowConversionSeconds = 0.0116;
    static constexpr double kFastConversionSeconds = 0.0008;

    Chip() : regs_(powerOnRegisters()) {}

    // Runs the conversions due up to `now` (monotonic seconds), sampling the inputs at
    // each conversion's own time.
    void advance(double now, const InputsAt& inputs, const Switches& switches);

    // Bus accesses: a read may clear status or latch MSBs; a write may reset the chip.
    uint8_t read(int address);
    void write(int address, uint8_t value);
    uint8_t peek(int address) const { return regs_[address & 0xFF]; }

    bool interruptPinActive() const;
    bool monitoring() const;
    bool spiLocked() const { return (regs_[reg::kSpiLock] & 0x01) != 0; }
    void lockSpi() { regs_[reg::kSpiLock] |= 0x01; }

    // Everything the state file keeps: the registers with the status latches cleared.
    Registers persistentRegisters() const;
    // From the state file: status latches start clear, the lock bit as saved.
    void restore(const Registers& registers);
    void powerOn() { *this = Chip(); }

    // Transfer functions of the chip, from volts and degrees to 10-bit codes.
    static int temperatureCode(double celsius, int offsetRegister);  // -512..511
    static int vddCode(double volts);                                // 0..1023
    static int ainCode(double volts, double reference);              // 0..1023
    double ainReference() const;

  private:
    enum Slot { kInternal, kExternalOrAin1, kAin2, kVdd, kAin3, kAin4, kAin5, kAin6, kAin7, kAin8 };
    static constexpr int kSlotCount = 10;

    bool diodeMode() const;
    void convert(Slot slot, const AnalogInputs& in, const Switches& switches);
    void store(Slot slot, int code);
    Slot nextSlot(Slot slot) const;
    void reset();

    Registers regs_;
    std::array<std::optional<uint8_t>, 16> latched_{};  // MSB values held by an LSB read
    std::optional<double> lastConversion_;
    Slot next_ = kInternal;
};

}  // namespace quarnel::sim
