// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The results of the board commands as JSON, shaped once for every face of the
// core: quarnelctl's --json output and the Python module's dicts. Numbers are
// JSON numbers (readings in their units, register values as integers); names
// and units are those of the text output, in UTF-8.

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/DeviceState.h"
#include "device/Profile.h"
#include "device/RegisterTable.h"
#include "monitor/Session.h"

namespace quarnel {

// Keys keep the order they were written in.
using OrderedJson = nlohmann::ordered_json;

// The board info names: the simulated board's state file, or the USB board's id
// in use and, once it is open, its bus and device numbers.
struct BoardFacts {
    std::string statePath{};  // empty for the USB board
    std::string usbId{};      // "1209:0002"
    std::optional<std::pair<int, int>> busDevice{};
    std::string serial{};  // the USB board's, when it reports one
};

OrderedJson InfoJson(const ChipIdentity& chip, const DeviceState& state, const BoardFacts& board);
// A register as read shows it: address, name, value and bit names.
OrderedJson RegisterJson(const RegisterTable& table, int address, int value);
// The same after a write: what was written, and the value read back.
OrderedJson WriteJson(const RegisterTable& table, int address, int written, int value);
// Every view of the table with its value (values[i] belongs to table[i]).
OrderedJson DumpJson(const RegisterTable& table, int deviceAddress, const std::vector<int>& values);
// One monitor line: time in seconds since the start, the selected readings, and
// both interrupt status bytes with the names of their set bits.
OrderedJson MonitorJson(const std::array<bool, kLogChannelCount>& selected, bool fahrenheit,
                        int64_t elapsedMs, const CurrentReadings& readings,
                        const RegisterTable& table);
// A profile register whose chip value differs from the file's.
OrderedJson ChangeJson(const RegisterChange& change);

}  // namespace quarnel
