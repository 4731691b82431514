// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The chip's 22 limit registers as one record: the limits window shows them,
// the exporter publishes them, the board worker reads them for both.

#include <array>
#include <optional>

#include "device/LimitRegisters.h"
#include "link/BoardLink.h"

namespace quarnel {

// The limit registers' bytes as read.
struct LimitBytes {
    int low = 0;
    int high = 0;
    bool operator==(const LimitBytes&) const = default;
};
struct ChipLimits {
    LimitBytes internal, external, vdd;
    std::array<LimitBytes, 8> ain{};
    bool operator==(const ChipLimits&) const = default;
};

// 22 reads, low before high: internal, external, Vdd, then Ain1 to Ain8.
ChipLimits ReadChipLimits(BoardLink& link);

// The record with one register's byte replaced; nothing when reg is no limit
// register. Ain1 shares the external channel's registers: both follow.
std::optional<ChipLimits> WithLimitRegister(const ChipLimits& limits, int reg, int byte);

}  // namespace quarnel
