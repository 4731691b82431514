// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/ChipLimits.h"

namespace quarnel {

ChipLimits ReadChipLimits(BoardLink& link) {
    auto read = [&link](LimitRegisters regs) {
        const int low = link.ReadRegister(link.DeviceAddress, regs.low);
        return LimitBytes{low, link.ReadRegister(link.DeviceAddress, regs.high)};
    };
    ChipLimits limits{read(kInternalLimits), read(kExternalLimits), read(kVddLimits)};
    for (size_t i = 0; i < kAinLimits.size(); ++i) limits.ain[i] = read(kAinLimits[i]);
    return limits;
}

std::optional<ChipLimits> WithLimitRegister(const ChipLimits& limits, int reg, int byte) {
    ChipLimits out = limits;
    bool found = false;
    const auto set = [&](const LimitRegisters& regs, LimitBytes& bytes) {
        if (regs.low == reg) bytes.low = byte, found = true;
        if (regs.high == reg) bytes.high = byte, found = true;
    };
    set(kInternalLimits, out.internal);
    set(kExternalLimits, out.external);
    set(kVddLimits, out.vdd);
    for (size_t i = 0; i < kAinLimits.size(); ++i) set(kAinLimits[i], out.ain[i]);
    if (!found) return std::nullopt;
    return out;
}

}  // namespace quarnel
