// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What may be asked of the board worker. Commands run between ticks in the
// order they arrive; whatever they learn comes back as events.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "device/Profile.h"
#include "monitor/Session.h"

namespace quarnel::board {

// Reads registers in the order given: one RegisterValues event.
struct ReadRegisters {
    uint64_t ticket = 0;
    std::vector<int> registers;
};

// Writes a register through the register-written handler; value as the user gave it.
struct WriteRegister {
    int reg = 0;
    int32_t value = 0;
};

// Read-modify-write of one register: the bits of mask take those of bits, the
// others keep the value the chip holds now. `reads` are read first in their
// order (reg among them; empty: reg alone), so the base is never an old copy.
struct WriteBits {
    std::vector<int> reads;
    int reg = 0;
    int mask = 0;
    int bits = 0;
};

// A register the tick reads at most every 0.5 s; nothing: none.
struct Watch {
    uint64_t ticket = 0;
    std::optional<int> reg;
};

// While subscribed, the limits are read at once and after every layout change
// that moves them, and follow every write of a limit register.
struct SubscribeLimits {
    bool on = true;
};

// The device configuration window's registers, written as it shows them.
struct ApplyConfiguration {
    int config1 = 0;
    int config2 = 0;
    int config3 = 0;
    bool selectSpi = false;  // switch the board over to SPI after the writes
};

struct SetFahrenheit {
    bool on = false;
};
struct SetLogInterval {
    int32_t ms = 0;
};

// Starts logging into path (preamble and header appended). Channels the pins
// do not measure now are left out.
struct StartLogging {
    uint64_t ticket = 0;
    std::string path;
    std::array<bool, kLogChannelCount> channels{};
    bool waitForReader = false;  // a FIFO without a reader: refused, not waited on
};
struct StopLogging {
    uint64_t ticket = 0;
};

// Profiles: reads the chip's registers (a save), compares a profile with the
// chip (a load's first half), writes the changes (its second half).
struct ReadProfile {
    uint64_t ticket = 0;
    std::string savedAt;
};
struct CompareProfile {
    uint64_t ticket = 0;
    Profile profile;
};
struct WriteProfile {
    uint64_t ticket = 0;
    Profile profile;
    std::vector<RegisterChange> changes;
};

using Command = std::variant<ReadRegisters, WriteRegister, WriteBits, Watch, SubscribeLimits,
                             ApplyConfiguration, SetFahrenheit, SetLogInterval, StartLogging,
                             StopLogging, ReadProfile, CompareProfile, WriteProfile>;

}  // namespace quarnel::board
