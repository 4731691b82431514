// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads a log back: every run of a file (runs appended to one file each start
// with their own preamble and header), as columns of floats. Damaged data
// lines are skipped and counted; a file that is not a log is an error.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

struct LogRun {
    int64_t headerLine = 0;            // 1-based line number of its header
    bool fahrenheit = false;           // temperature columns in degrees F
    std::vector<int> channels;         // LogChannels() position of each column
    std::vector<std::string> columns;  // header texts in UTF-8: "Internal(°C)"
    // Seconds since the run started; doubles, as a day at 10 ms needs them.
    std::vector<double> time;
    std::vector<std::vector<float>> values;  // values[column][row]
};

struct LogReadResult {
    enum class Status { Ok, NotALog, Unreadable, Cancelled };
    Status status = Status::Ok;
    std::string error;  // for NotALog and Unreadable
    std::vector<LogRun> runs;
    int64_t damagedLines = 0;
    int64_t firstDamagedLine = 0;  // 1-based; 0 when none
    bool ok() const { return status == Status::Ok; }
};

// fraction of the file read, 0 to 1.
using LogReadProgress = std::function<void(double fraction)>;

// Reads the file in chunks (the whole file is never held). cancel and
// progress may be null; both are polled once per chunk.
LogReadResult ReadLogFile(const std::string& path, const std::atomic<bool>* cancel = nullptr,
                          const LogReadProgress& progress = {});
// Looks at the start of the file only: empty when it begins as a log does,
// else the message to show (not a log, or cannot be read).
std::string LogFileProblem(const std::string& path);
// The same on bytes already in memory; name is used in the messages.
LogReadResult ParseLogText(std::string_view bytes, const std::string& name = "the text");

}  // namespace quarnel
