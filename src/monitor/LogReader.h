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

#include "monitor/LogColumns.h"

namespace quarnel {

// How a run keeps its columns: vectors of its values, or, read as
// LogDecimal, the small columns of LogColumns.h.
template <typename Value>
struct LogColumnTypes {
    using Times = std::vector<double>;
    using Values = std::vector<Value>;
};
template <>
struct LogColumnTypes<LogDecimal> {
    using Times = LogTimes;
    using Values = LogValues;
};

enum class LogReadStatus { Ok, NotALog, Unreadable, Cancelled };

// Value is float for the windows; double for the Python module, where every
// logged decimal must read back as the float Python makes of its text;
// LogDecimal for the review window's small columns.
template <typename Value>
struct BasicLogRun {
    int64_t headerLine = 0;            // 1-based line number of its header
    bool fahrenheit = false;           // temperature columns in degrees F
    std::vector<int> channels;         // LogChannels() position of each column
    std::vector<std::string> columns;  // header texts in UTF-8: "Internal(°C)"
    // Seconds since the run started; doubles, as a day at 10 ms needs them.
    typename LogColumnTypes<Value>::Times time;
    std::vector<typename LogColumnTypes<Value>::Values> values;  // values[column][row]
};
using LogRun = BasicLogRun<float>;

template <typename Value>
struct BasicLogReadResult {
    using Status = LogReadStatus;
    Status status = Status::Ok;
    std::string error;    // for NotALog and Unreadable
    int errorNumber = 0;  // Unreadable: the errno of the failure, when there was one
    std::vector<BasicLogRun<Value>> runs;
    int64_t damagedLines = 0;
    int64_t firstDamagedLine = 0;  // 1-based; 0 when none
    bool ok() const { return status == Status::Ok; }
};
using LogReadResult = BasicLogReadResult<float>;

// fraction of the file read, 0 to 1.
using LogReadProgress = std::function<void(double fraction)>;

// Reads the file in chunks (the whole file is never held). cancel and
// progress may be null; both are polled once per chunk of either pass (the
// first, which only sizes the runs, reports the first quarter). A file whose
// first lines show it is no log is refused before it is read on.
LogReadResult ReadLogFile(const std::string& path, const std::atomic<bool>* cancel = nullptr,
                          const LogReadProgress& progress = {});
BasicLogReadResult<double> ReadLogFileAsDoubles(const std::string& path,
                                                const std::atomic<bool>* cancel = nullptr,
                                                const LogReadProgress& progress = {});
// The same into small columns: a million lines of every channel in 28 MB
// where floats take 56 (the review window's, for logs of millions of lines);
// a large file in two halves at once, each on a core of its own.
BasicLogReadResult<LogDecimal> ReadCompactLogFile(const std::string& path,
                                                  const std::atomic<bool>* cancel = nullptr,
                                                  const LogReadProgress& progress = {});
// Looks at the start of the file only: empty when it begins as a log does,
// else the message to show (not a log, or cannot be read).
std::string LogFileProblem(const std::string& path);
// The same on bytes already in memory; name is used in the messages.
LogReadResult ParseLogText(std::string_view bytes, const std::string& name = "the text");

}  // namespace quarnel
