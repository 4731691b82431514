// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Checks that a firmware image is a well-formed Intel HEX file, and yields its
// data records for a download. Both boards use it before accepting an image.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// One data record: its absolute address (extended segment or linear address
// records applied) and the bytes it carries.
struct HexRecord {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

struct HexCheck {
    bool ok = false;
    std::string error;               // why not, with the line number; empty when ok
    size_t dataBytes = 0;            // bytes carried by data records
    std::vector<HexRecord> records;  // in file order; empty unless ok
};

// Record syntax (":" then hex pairs, byte count matching), checksums, known record
// types with their lengths, exactly one end record with nothing but blank lines after it.
HexCheck checkIntelHex(std::string_view content);

}  // namespace quarnel
