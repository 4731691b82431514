// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The standard process metrics every exporter offers (CPU time, memory, open
// files, start time), read from /proc for this process.

#include <cstdint>
#include <optional>

namespace quarnel::serve {

struct ProcessStats {
    double cpuSeconds = 0.0;        // user and system time
    double startTimeSeconds = 0.0;  // Unix time the process started
    uint64_t residentBytes = 0;
    uint64_t virtualBytes = 0;
    uint64_t openFds = 0;
    uint64_t maxFds = 0;
};

// Nothing where /proc cannot be read.
std::optional<ProcessStats> ReadProcessStats();

}  // namespace quarnel::serve
