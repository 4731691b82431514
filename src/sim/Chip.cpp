// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/Chip.h"

#include <algorithm>
#include <cmath>

namespace quarnel::sim {
namespace {

// Where each conversion result lives: its MSB register and its LSB field.
struct Placement {
    int msb;
    int lsb;
    int shift;
};
constexpr std::array<Placement, 10> kPlacement = {{
    {reg::kMsbInternal, reg::kLsbIntVdd, 0},      // internal temperature
    {reg::kMsbExternal, reg::kLsbExtAin1to4, 0},  // external temperature or Ain1
    {0x09, reg::kLsbExtAin1to4, 2},               // Ain2
    {reg::kMsbVdd, reg::kLsbIntVdd, 2},           // Vdd
    {0x0A, reg::kLsbExtAin1to4, 4},               // Ain3
    {0x0B, reg::kLsbExtAin1to4, 6},               // Ain4
    {0x0C, reg::kLsbAin5to8, 0},                  // Ain5
    {0x0D, reg::kLsbAin5to8, 2},
    {0x0E, reg::kLsbAin5to8, 4},
    {0x0F, reg::kLsbAin5to8, 6},  // Ain8
}};

// Ain limit registers (high, low) and status bit (register, mask), Ain1..Ain8.
struct AinLimit {
    int high;
    int low;
    int status;
    uint8_t bit;
};
constexpr std::array<AinLimit, 8> kAinLimits = {{
    {0x27, 0x28, reg::kStatus1, 0x04},
    {0x2B, 0x2C, reg::kStatus1, 0x20},
    {0x2D, 0x2E, reg::kStatus1, 0x40},
    {0x2F, 0x30, reg::kStatus1, 0x80},
    {0x31, 0x32, reg::kStatus2, 0x01},
    {0x33, 0x34, reg::kStatus2, 0x02},
    {0x35, 0x36, reg::kStatus2, 0x04},
    {0x37, 0x38, reg::kStatus2, 0x08},
}};

constexpr uint8_t kInhi = 0x01, kInlo = 0x02, kExhi = 0x04, kExlo = 0x08, kFlt = 0x10;
constexpr uint8_t kVddBit = 0x10;

int signedByte(uint8_t b) {
    return b >= 0x80 ? b - 256 : b;
}

int roundedCode(double x, int lo, int hi) {
    const double r = std::nearbyint(x);
    if (!(r >= lo)) return lo;  // NaN lands on the bottom too
    if (r > hi) return hi;
    return static_cast<int>(r);
}

bool readOnly(int address) {
    return address == reg::kStatus1 || address == reg::kStatus2 ||
           (address >= reg::kLsbIntVdd && address <= 0x0F) ||
           (address >= reg::kDeviceId && address <= reg::kRevision) || address == reg::kSpiLock;
}

}  // namespace

Chip::Registers Chip::powerOnRegisters() {
    Registers r{};
    r[reg::kConfig1] = 0x08;  // Ain1/Ain2, monitoring off
    // Limits wide enough that nothing of the bench trips them.
    r[reg::kVddHigh] = 0xC9;       // 5.49 V
    r[reg::kVddLow] = 0x63;        // 2.71 V
    r[reg::kInternalHigh] = 0x64;  // 100 degrees C
    r[reg::kInternalLow] = 0xC9;   // -55 degrees C
    // Shared by the external channel (degrees) and Ain1 (codes): 127 degrees C or
    // code 508, and 0 either way.
    r[reg::kExternalHigh] = 0x7F;
    r[reg::kExternalLow] = 0x00;
    for (size_t i = 1; i < kAinLimits.size(); ++i) r[kAinLimits[i].high] = 0xFF;
    r[reg::kDeviceId] = kDeviceIdValue;
    r[reg::kCompanyId] = kCompanyIdValue;
    r[reg::kRevision] = kRevisionValue;
    return r;
}

int Chip::temperatureCode(double celsius, int offsetRegister) {
    // 0.25 degrees a step; the offset register adds signed steps.
    return roundedCode(celsius * 4.0 + signedByte(static_cast<uint8_t>(offsetRegister)), -512, 511);
}

int Chip::vddCode(double volts) {
    return roundedCode(volts / (2.25 / 1024.0 * 3.11), 0, 1023);
}

int Chip::ainCode(double volts, double reference) {
    return roundedCode(volts / reference * 1024.0, 0, 1023);
}

double Chip::ainReference() const {
    return (regs_[reg::kConfig3] & 0x10) ? 3.3 : 2.28;
}

bool Chip::monitoring() const {
    const uint8_t c1 = regs_[reg::kConfig1];
    return (c1 & 0x01) != 0 && (c1 & 0x80) == 0;
}

bool Chip::diodeMode() const {
    return ((regs_[reg::kConfig1] >> 1) & 0x03) == 0x02;
}

bool Chip::interruptPinActive() const {
    if (regs_[reg::kConfig1] & 0x20) return false;  // EN set: output disabled
    const int pending1 = regs_[reg::kStatus1] & ~regs_[reg::kMask1] & 0xFF;
    const int pending2 = regs_[reg::kStatus2] & ~regs_[reg::kMask2] & 0x1F;
    return pending1 != 0 || pending2 != 0;
}

Chip::Slot Chip::nextSlot(Slot slot) const {
    Slot next = slot == kAin8 ? kInternal : static_cast<Slot>(slot + 1);
    if (next == kAin2 && diodeMode()) next = kVdd;  // Ain2's pin belongs to the diode
    return next;
}

void Chip::advance(double now, const InputsAt& inputs, const Switches& switches) {
    if (!lastConversion_ || !monitoring()) {
        lastConversion_ = now;
        return;
    }
    const double period =
        (regs_[reg::kConfig3] & 0x01) ? kFastConversionSeconds : kSlowConversionSeconds;
    double t = *lastConversion_;
    // After a long pause two rounds are enough to bring every result up to date.
    const double backlog = period * kSlotCount * 2;
    if (now - t > backlog) t = now - backlog;
    while (t + period <= now) {
        t += period;
        if (next_ == kAin2 && diodeMode()) next_ = kVdd;
        convert(next_, inputs(t), switches);
        next_ = nextSlot(next_);
    }
    lastConversion_ = t;
}

void Chip::store(Slot slot, int code) {
    const Placement& p = kPlacement[slot];
    const int bits = code & 0x3FF;
    regs_[p.msb] = static_cast<uint8_t>(bits >> 2);
    const auto mask = static_cast<uint8_t>(0x03 << p.shift);
    regs_[p.lsb] = static_cast<uint8_t>((regs_[p.lsb] & ~mask) | ((bits & 0x03) << p.shift));
}

void Chip::convert(Slot slot, const AnalogInputs& in, const Switches& switches) {
    uint8_t& status1 = regs_[reg::kStatus1];
    uint8_t& status2 = regs_[reg::kStatus2];
    auto checkTemp = [&](int code, int highReg, int lowReg, uint8_t hiBit, uint8_t loBit) {
        if (code > signedByte(regs_[highReg]) * 4) status1 |= hiBit;
        if (code < signedByte(regs_[lowReg]) * 4) status1 |= loBit;
    };
    auto ain = [&](int index, double volts) {
        const int code = ainCode(volts, ainReference());
        store(slot, code);
        const AinLimit& l = kAinLimits[index];
        if (code > regs_[l.high] * 4 || code < regs_[l.low] * 4) regs_[l.status] |= l.bit;
    };
    switch (slot) {
        case kInternal: {
            const int code = temperatureCode(in.dieTemp, regs_[reg::kInternalOffset]);
            store(slot, code);
            checkTemp(code, reg::kInternalHigh, reg::kInternalLow, kInhi, kInlo);
            break;
        }
        case kExternalOrAin1:
            if (!diodeMode()) {
                ain(0, switches.ain1 ? in.ain[0] : 0.0);
            } else if (!switches.diode) {
                store(slot, -512);  // no diode on the pins: fault, -128 degrees C
                status1 |= kFlt;
            } else {
                const int code = temperatureCode(in.diodeTemp, regs_[reg::kExternalOffset]);
                store(slot, code);
                checkTemp(code, reg::kExternalHigh, reg::kExternalLow, kExhi, kExlo);
            }
            break;
        case kAin2:
            ain(1, switches.ain2 ? in.ain[1] : 0.0);
            break;
        case kVdd: {
            const int code = vddCode(in.vdd);
            store(slot, code);
            if (code > regs_[reg::kVddHigh] * 4 || code < regs_[reg::kVddLow] * 4)
                status2 |= kVddBit;
            break;
        }
        default: {
            const int index = 2 + (slot - kAin3);
            ain(index, in.ain[index]);
            break;
        }
    }
}

uint8_t Chip::read(int address) {
    address &= 0xFF;
    const uint8_t value = regs_[address];
    switch (address) {
        case reg::kStatus1:
        case reg::kStatus2:
            regs_[address] = 0;  // the latches clear once seen
            return value;
        case reg::kLsbIntVdd:
            for (int a : {reg::kMsbVdd, reg::kMsbInternal}) latched_[a] = regs_[a];
            return value;
        case reg::kLsbExtAin1to4:
            for (int a = 0x08; a <= 0x0B; ++a) latched_[a] = regs_[a];
            return value;
        case reg::kLsbAin5to8:
            for (int a = 0x0C; a <= 0x0F; ++a) latched_[a] = regs_[a];
            return value;
        default:
            break;
    }
    if (address >= reg::kMsbVdd && address <= 0x0F && latched_[address]) {
        const uint8_t held = *latched_[address];
        latched_[address].reset();
        return held;
    }
    return value;
}

void Chip::write(int address, uint8_t value) {
    address &= 0xFF;
    if (address == reg::kConfig2 && (value & 0x80)) {
        reset();
        return;
    }
    if (readOnly(address)) return;
    regs_[address] = value;
}

void Chip::reset() {
    const bool locked = spiLocked();
    regs_ = powerOnRegisters();
    if (locked) lockSpi();
    latched_ = {};
    next_ = kInternal;
}

Chip::Registers Chip::persistentRegisters() const {
    Registers r = regs_;
    r[reg::kStatus1] = 0;
    r[reg::kStatus2] = 0;
    return r;
}

void Chip::restore(const Registers& registers) {
    regs_ = registers;
    regs_[reg::kStatus1] = 0;
    regs_[reg::kStatus2] = 0;
    regs_[reg::kSpiLock] &= 0x01;
    // The identification registers are not the file's to change.
    regs_[reg::kDeviceId] = kDeviceIdValue;
    regs_[reg::kCompanyId] = kCompanyIdValue;
    regs_[reg::kRevision] = kRevisionValue;
    latched_ = {};
    next_ = kInternal;
}

}  // namespace quarnel::sim
