// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// quarnelctl's --json output: one JSON document per command, one object per
// line for monitor. Numbers are JSON numbers (readings in their units, register
// values as integers); names and units are those of the text output, in UTF-8.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/DeviceState.h"
#include "device/Profile.h"
#include "device/RegisterTable.h"
#include "monitor/Session.h"

namespace quarnel::cli {

// The board info names: the simulated board's state file, or the USB board's id
// in use and, once it is open, its bus and device numbers.
struct BoardFacts {
    std::string statePath{};  // empty for the USB board
    std::string usbId{};      // "1209:0002"
    std::optional<std::pair<int, int>> busDevice{};
};

std::string InfoJson(const ChipIdentity& chip, const DeviceState& state, const BoardFacts& board);
// A register as read shows it: address, name, value and bit names.
std::string RegisterJson(const RegisterTable& table, int address, int value);
// The same after a write: what was written, and the value read back.
std::string WriteJson(const RegisterTable& table, int address, int written, int value);
// Every view of the table with its value (values[i] belongs to table[i]).
std::string DumpJson(const RegisterTable& table, int deviceAddress, const std::vector<int>& values);
// One monitor line, without line end: time in seconds since the start, the
// selected readings, and both interrupt status bytes with the names of their set bits.
std::string MonitorJson(const std::array<bool, kLogChannelCount>& selected, bool fahrenheit,
                        int64_t elapsedMs, const CurrentReadings& readings,
                        const RegisterTable& table);

}  // namespace quarnel::cli
