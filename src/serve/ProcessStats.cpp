// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ProcessStats.h"

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace quarnel::serve {
namespace {

// Seconds since the epoch at which the machine booted.
std::optional<double> bootTime() {
    std::ifstream stat("/proc/stat");
    for (std::string key; stat >> key;) {
        if (key == "btime") {
            double seconds = 0;
            if (stat >> seconds) return seconds;
            return std::nullopt;
        }
        stat.ignore(1 << 16, '\n');
    }
    return std::nullopt;
}

}  // namespace

std::optional<ProcessStats> ReadProcessStats() {
    std::ifstream file("/proc/self/stat");
    std::string line;
    if (!std::getline(file, line)) return std::nullopt;
    // The command name may hold blanks and parentheses: the fields follow its last ')'.
    const auto close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    // Fields from 3 (state) on; utime is 14, stime 15, starttime 22, vsize 23, rss 24.
    unsigned long long values[25] = {};
    for (int n = 3; n <= 24 && fields >> field; ++n) {
        if (n >= 14) values[n] = std::strtoull(field.c_str(), nullptr, 10);
    }
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    const auto boot = bootTime();
    if (ticks <= 0 || !boot) return std::nullopt;
    ProcessStats stats;
    stats.cpuSeconds = static_cast<double>(values[14] + values[15]) / ticks;
    stats.startTimeSeconds = *boot + static_cast<double>(values[22]) / ticks;
    stats.virtualBytes = values[23];
    stats.residentBytes = values[24] * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
         it.increment(error))
        ++stats.openFds;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) stats.maxFds = limit.rlim_cur;
    return stats;
}

}  // namespace quarnel::serve
