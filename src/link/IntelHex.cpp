// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/IntelHex.h"

#include <vector>

namespace quarnel {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

HexCheck fail(size_t line, const std::string& why) {
    return HexCheck{false, "line " + std::to_string(line) + ": " + why, 0, {}};
}

}  // namespace

HexCheck checkIntelHex(std::string_view content) {
    HexCheck result;
    bool ended = false;
    uint32_t base = 0;  // from the last extended segment or linear address record
    size_t lineNo = 0;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = content.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        // As the common loaders read an image: blanks around a record (a CR
        // LF included) and '#' comment lines do not count, and nothing after the
        // end record is read (a trailing Ctrl-Z, say).
        const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
        while (!line.empty() && blank(line.back())) line.remove_suffix(1);
        while (!line.empty() && blank(line.front())) line.remove_prefix(1);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] != ':') return fail(lineNo, "a record must start with ':'");
        const std::string_view digits = line.substr(1);
        if (digits.size() % 2 != 0) return fail(lineNo, "odd number of hex digits");
        std::vector<uint8_t> bytes;
        bytes.reserve(digits.size() / 2);
        for (size_t i = 0; i < digits.size(); i += 2) {
            const int hi = hexValue(digits[i]);
            const int lo = hexValue(digits[i + 1]);
            if (hi < 0 || lo < 0) return fail(lineNo, "not a hex digit");
            bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
        }
        if (bytes.size() < 5) return fail(lineNo, "record too short");
        const int count = bytes[0];
        if (bytes.size() != static_cast<size_t>(count) + 5)
            return fail(lineNo, "byte count " + std::to_string(count) +
                                    " does not match the record's length");
        int sum = 0;
        for (uint8_t b : bytes) sum += b;
        if ((sum & 0xFF) != 0) return fail(lineNo, "checksum mismatch");
        const int type = bytes[3];
        switch (type) {
            case 0x00:
                result.dataBytes += static_cast<size_t>(count);
                result.records.push_back(
                    {base + static_cast<uint32_t>(bytes[1] * 256 + bytes[2]),
                     std::vector<uint8_t>(bytes.begin() + 4, bytes.end() - 1)});
                break;
            case 0x01:
                if (count != 0) return fail(lineNo, "end record carries data");
                ended = true;
                pos = content.size();
                break;
            case 0x02:
            case 0x04:
                if (count != 2) return fail(lineNo, "segment or linear address needs 2 bytes");
                base = static_cast<uint32_t>(bytes[4] * 256 + bytes[5]) << (type == 0x02 ? 4 : 16);
                break;
            case 0x03:
            case 0x05:
                if (count != 4) return fail(lineNo, "start address needs 4 bytes");
                break;
            default:
                return fail(lineNo, "unknown record type " + std::to_string(type));
        }
    }
    if (!ended) return HexCheck{false, "no end record", 0, {}};
    if (result.dataBytes == 0) return HexCheck{false, "the image holds no data", 0, {}};
    result.ok = true;
    return result;
}

}  // namespace quarnel
