// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "link/AsciiText.h"
#include "link/HexText.h"
#include "monitor/LogFile.h"
#include "monitor/Startup.h"

namespace quarnel::cli {
namespace {

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

bool allOf(std::string_view text, int (*pred)(int)) {
    if (text.empty()) return false;
    for (char c : text)
        if (!pred(static_cast<unsigned char>(c))) return false;
    return true;
}

// Digits only; a long run of them is still refused by range, not overflow.
std::optional<long long> parseDigits(std::string_view digits, int base) {
    if (!allOf(digits, base == 16 ? isxdigit : isdigit) || digits.size() > 12) return {};
    long long value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    return value;
}

constexpr std::array<const char*, kLogChannelCount> kChannelNames = {
    "internal", "external", "vdd",  "ain1", "ain2", "ain3",
    "ain4",     "varno",    "ain5", "ain6", "ain7", "ain8"};

}  // namespace

int ParseRegisterAddress(std::string_view text) {
    const auto value = parseDigits(HexDigits(text), 16);
    if (!value)
        throw UsageError("register address " + quoted(text) +
                         " is not hexadecimal (e.g. 25, 0x25 or 25h)");
    if (*value > 0xFF)
        throw UsageError("register address " + quoted(text) + " is outside 0 to FFh");
    return static_cast<int>(*value);
}

int ParseRegisterValue(std::string_view text) {
    std::optional<long long> value;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        value = parseDigits(text.substr(2), 16);
    else
        value = parseDigits(text, 10);
    if (!value)
        throw UsageError("register value " + quoted(text) +
                         " is not a number (decimal, or hexadecimal with 0x)");
    if (*value > 255) throw UsageError("register value " + quoted(text) + " is outside 0 to 255");
    return static_cast<int>(*value);
}

long long ParseWholeNumber(std::string_view what, std::string_view text, long long min,
                           long long max) {
    const auto value = parseDigits(text, 10);
    if (!value || *value < min || *value > max)
        throw UsageError(std::string(what) + " " + quoted(text) + " is not a whole number from " +
                         std::to_string(min) + " to " + std::to_string(max));
    return *value;
}

std::array<bool, kLogChannelCount> ParseChannelList(std::string_view text) {
    std::array<bool, kLogChannelCount> selected{};
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string name = AsciiLower(std::string(text.substr(start, comma - start)));
        bool known = false;
        for (int i = 0; i < kLogChannelCount; ++i) {
            if (name == kChannelNames[i]) {
                selected[i] = known = true;
            }
        }
        if (!known)
            throw UsageError("unknown channel " + quoted(name) +
                             " (use internal, external, vdd, varno, ain1 to ain8, separated by "
                             "commas)");
        start = comma + 1;
    }
    return selected;
}

std::string ChannelName(int index) {
    return kChannelNames.at(index);
}

std::string FormatRegisterLine(int address, const std::string& name, int value,
                               const std::string& bitLabels) {
    std::string bits;
    for (int bit = 7; bit >= 0; --bit) bits += ((value >> bit) & 1) ? '1' : '0';
    char text[160];
    std::snprintf(text, sizeof text, "%-5s%-24s%-4s%4d  %s  %s", HexAddressText(address).c_str(),
                  name.c_str(), HexAddressText(value).c_str(), value, bits.c_str(),
                  bitLabels.c_str());
    return text;
}

std::string FormatRegisterLine(const RegisterTable& table, int address, int value) {
    if (const auto index = table.FindRegisterByAddress(address))
        return FormatRegisterLine(address, table[*index].Name, value, table[*index].BitLabels);
    return FormatRegisterLine(address, "Unknown", value, "7:6:5:4:3:2:1:0");
}

}  // namespace quarnel::cli
