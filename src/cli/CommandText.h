// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts of the command-line tool: parsing what the user types and the
// one-line register view shared by read, write and dump.

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

#include "device/RegisterTable.h"
#include "monitor/Session.h"

namespace quarnel::cli {

// Thrown for input the tool refuses; what() is the message for the user.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "25", "0x25", "25h": hexadecimal, 0 to FFh.
int ParseRegisterAddress(std::string_view text);
// "80" decimal or "0x50" hexadecimal, 0 to 255.
int ParseRegisterValue(std::string_view text);
// A decimal whole number from min to max; `what` names it in the message.
long long ParseWholeNumber(std::string_view what, std::string_view text, long long min,
                           long long max);

// "internal,vdd,ain1": chkLog indexes selected by name.
std::array<bool, kLogChannelCount> ParseChannelList(std::string_view text);
// The command-line name of a chkLog index ("varno" for 7).
std::string ChannelName(int index);

// "25h  Internal High Limit     50h   80  01010000  7:6:5:4:3:2:1:0".
std::string FormatRegisterLine(int address, const std::string& name, int value,
                               const std::string& bitLabels);
// The same for an address, named by its first table entry or "Unknown".
std::string FormatRegisterLine(const RegisterTable& table, int address, int value);

}  // namespace quarnel::cli
