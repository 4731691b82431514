// SPDX-License-Identifier: GPL-3.0-or-later
#include "usb/RamRanges.h"

#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace quarnel::usb {
namespace {

std::optional<uint16_t> hex16(std::string_view text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value, 16);
    if (text.empty() || text.size() > 4 || result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::string hex4(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

}  // namespace

std::vector<RamRange> parseRamRanges(std::string_view text) {
    std::vector<RamRange> ranges;
    const std::string example = "e.g. " + std::string(kDefaultRamRanges);
    for (size_t start = 0; start <= text.size();) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view part = text.substr(start, comma - start);
        const size_t dash = part.find('-');
        const auto first = hex16(part.substr(0, dash));
        const auto last =
            dash == std::string_view::npos ? std::nullopt : hex16(part.substr(dash + 1));
        if (!first || !last || *first > *last) {
            std::string message(1, '"');  // appended: see formatRamRanges
            message += part;
            message += "\" is not a RAM range FIRST-LAST in hex, ";
            throw std::invalid_argument(message + example);
        }
        ranges.push_back({*first, *last});
        start = comma + 1;
    }
    return ranges;
}

std::string formatRamRanges(const std::vector<RamRange>& ranges) {
    std::string text;
    // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about
    // prepending to a temporary string at -O3.
    for (const RamRange& r : ranges) {
        if (!text.empty()) text += ',';
        text += hex4(r.first);
        text += '-';
        text += hex4(r.last);
    }
    return text;
}

std::optional<std::string> checkImagePlacement(const std::vector<HexRecord>& records,
                                               const std::vector<RamRange>& ram, uint16_t cpucs) {
    for (const HexRecord& record : records) {
        if (record.bytes.empty()) continue;
        const uint32_t first = record.address;
        const uint32_t last = first + static_cast<uint32_t>(record.bytes.size()) - 1;
        const size_t n = record.bytes.size();
        const std::string what = "has a record of " + std::to_string(n) +
                                 (n == 1 ? " byte" : " bytes") + " at " + hex4(first) + "h";
        if (first <= cpucs && cpucs <= last)
            return what + " that covers the CPU control register (" + hex4(cpucs) +
                   "h): the loader must not write it; check the image and --usb-cpucs";
        bool inside = false;
        for (const RamRange& r : ram) inside |= r.first <= first && last <= r.last;
        if (!inside)
            return what + " outside the board's RAM (" + formatRamRanges(ram) +
                   "): check the image, or give the board's RAM with --usb-ram";
    }
    return std::nullopt;
}

}  // namespace quarnel::usb
