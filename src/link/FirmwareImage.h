// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The firmware image both boards download: read through the safe path, bounded,
// and checked as Intel HEX before any of it goes to a board.

#include <cstddef>
#include <string>

#include "link/IntelHex.h"

namespace quarnel {

// A 64 KiB image's Intel HEX text is well under this even in one-byte records.
inline constexpr size_t kMaxFirmwareImageBytes = 1 << 20;

struct FirmwareImage {
    enum Status { kOk, kUnreadable, kMalformed } status = kUnreadable;
    std::string error;  // for the user, naming the file; empty when kOk
    HexCheck check;     // kOk: the image's data records
};

FirmwareImage ReadFirmwareImage(const std::string& path);

}  // namespace quarnel
