// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/JsonOutput.h"

#include <charconv>
#include <optional>

#include "device/ChipRegisters.h"
#include "device/Conversions.h"
#include "monitor/LogFile.h"

namespace quarnel {
namespace {

using Json = OrderedJson;

// The number as the text output writes it, so both outputs agree digit for digit.
template <typename T>
Json number(T value) {
    try {
        const std::string text = TrimmedNumberText(value);
        double parsed = 0.0;
        std::from_chars(text.data(), text.data() + text.size(), parsed);
        return parsed;
    } catch (const ConversionError&) {
        return nullptr;  // not finite: JSON has no such number
    }
}

Json measured(Json value, const char* unit) {
    return {{"value", std::move(value)}, {"unit", unit}};
}

// written: also what was written, before the value read back.
Json registerObject(const RegisterTable& table, int address, int value,
                    std::optional<int> written = std::nullopt) {
    const auto index = table.FindRegisterByAddress(address);
    Json j = {{"address", address}, {"name", index ? table[*index].Name : "Unknown"}};
    if (written) j["written"] = *written;
    j["value"] = value;
    j["bitLabels"] = index ? table[*index].BitLabels : "7:6:5:4:3:2:1:0";
    return j;
}

// The names of the set bits of a status byte, bit 7 first.
Json statusObject(const RegisterTable& table, int address, int16_t value) {
    Json set = Json::array();
    const auto labels = table.SplitBitLabels(*table.FindRegisterByAddress(address));
    for (int bit = 7; bit >= 0; --bit)
        if ((value >> bit) & 1) set.push_back(labels[7 - bit]);
    return {{"value", value & 0xFF}, {"set", std::move(set)}};
}

}  // namespace

Json InfoJson(const ChipIdentity& chip, const DeviceState& state, const BoardFacts& board) {
    Json j = {
        {"deviceAddress", chip.address},
        {"deviceId", chip.deviceId},
        {"companyId", chip.companyId},
        {"revision", chip.revision},
        {"channelFunction",
         state.ChannelMode == ChannelFunction::ExternalTemp ? "External temperature" : "Ain1/Ain2"},
        {"adcReference", measured(number(state.ReferenceVoltage), "V")},
        {"board", board.statePath.empty() ? "usb" : "simulated"}};
    if (!board.statePath.empty()) {
        j["statePath"] = board.statePath;
    } else {
        j["usbId"] = board.usbId;
        if (board.busDevice) {
            j["bus"] = board.busDevice->first;
            j["device"] = board.busDevice->second;
            if (!board.serial.empty()) j["serial"] = board.serial;
        }
    }
    return j;
}

Json RegisterJson(const RegisterTable& table, int address, int value) {
    return registerObject(table, address, value);
}

Json WriteJson(const RegisterTable& table, int address, int written, int value) {
    return registerObject(table, address, value, written);
}

Json DumpJson(const RegisterTable& table, int deviceAddress, const std::vector<int>& values) {
    Json registers = Json::array();
    // Every view, also the second one of a shared address.
    for (int i = 0; i < table.size(); ++i)
        registers.push_back({{"address", table[i].Address},
                             {"name", table[i].Name},
                             {"value", values.at(static_cast<size_t>(i))},
                             {"bitLabels", table[i].BitLabels}});
    return {{"deviceAddress", deviceAddress}, {"registers", std::move(registers)}};
}

Json MonitorJson(const std::array<bool, kLogChannelCount>& selected, bool fahrenheit,
                 int64_t elapsedMs, const CurrentReadings& readings, const RegisterTable& table) {
    Json values = Json::object();
    for (const LogChannel& channel : LogChannels()) {
        if (!selected[channel.index]) continue;
        const char* unit = !channel.temperature ? "V"
                           : fahrenheit         ? "\xC2\xB0"
                                                  "F"
                                                : "\xC2\xB0"
                                                  "C";
        values[channel.name] = measured(number(readings.*channel.value), unit);
    }
    return {{"time", number(RoundHalfEven(static_cast<double>(elapsedMs) / 1000.0, 3))},
            {"readings", std::move(values)},
            {"intStatus1", statusObject(table, chip::kStatus1, readings.IntStatus1)},
            {"intStatus2", statusObject(table, chip::kStatus2, readings.IntStatus2)}};
}

Json ChangeJson(const RegisterChange& change) {
    return {{"address", change.address},
            {"name", change.name},
            {"chip", change.chip},
            {"file", change.file}};
}

}  // namespace quarnel
