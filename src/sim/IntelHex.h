#pragma once
// Checks that a firmware image is a well-formed Intel HEX file before the
// simulated board accepts it.

#include <cstddef>
#include <string>
#include <string_view>

namespace quarnel::sim {

struct HexCheck {
    bool ok = false;
    std::string error;     // why not, with the line number; empty when ok
    size_t dataBytes = 0;  // bytes carried by data records
};

// Record syntax (":" then hex pairs, byte count matching), checksums, known record
// types with their lengths, exactly one end record with nothing but blank lines after it.
HexCheck checkIntelHex(std::string_view content);

}  // namespace quarnel::sim
