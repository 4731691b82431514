// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the RAM loader may write: the board's RAM as address ranges ("0000-3FFF,E000-E1FF"),
// checked against an image's records before anything is sent. A record that lands
// elsewhere would write nothing useful, and one over the CPU control register would
// start or stop the CPU in the middle of the download.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/IntelHex.h"

namespace quarnel::usb {

struct RamRange {
    uint16_t first = 0;
    uint16_t last = 0;  // inclusive
    bool operator==(const RamRange&) const = default;
};

// The on-chip program/data RAM and scratch RAM of the usual RAM-loader microcontrollers.
inline constexpr const char* kDefaultRamRanges = "0000-3FFF,E000-E1FF";

// "FIRST-LAST[,FIRST-LAST...]" in hex, first <= last. Throws std::invalid_argument
// with a message fit for the user.
std::vector<RamRange> parseRamRanges(std::string_view text);
std::string formatRamRanges(const std::vector<RamRange>& ranges);

// Why the image may not be sent, naming its first offending record; nullopt when
// every record lies inside one range and none covers the CPU control register.
std::optional<std::string> checkImagePlacement(const std::vector<HexRecord>& records,
                                               const std::vector<RamRange>& ram, uint16_t cpucs);

}  // namespace quarnel::usb
