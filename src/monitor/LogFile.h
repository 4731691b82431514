// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The CSV log: channel table, preamble, header and data lines, and the
// logging step. Texts are Windows-1252 bytes (degree sign 0xB0) with CR LF.

#include <array>
#include <cstdint>
#include <string>

#include "device/DeviceState.h"
#include "monitor/Session.h"

namespace quarnel {

inline constexpr const char* kLineEnd = "\r\n";
inline constexpr char kDegreeSign1252 = '\xB0';

// One row of the channel table, in file column order.
struct LogChannel {
    int index;          // chkLog index / LogChannelSelected index
    const char* label;  // "Internal Temp"
    const char* name;   // column name before the unit: "Internal"
    bool temperature;   // unit is the degree sign + C or F, else V
    float CurrentReadings::*value;
};

// Column order: 0, 1, 2, 7, 3, 4, 5, 6, 8, 9, 10, 11.
const std::array<LogChannel, kLogChannelCount>& LogChannels();

// Whether chkLog(index) is enabled in the present pin mode.
bool LogChannelEnabled(int index, const DeviceState& state);
// Every chkLog index the present pin mode enables.
std::array<bool, kLogChannelCount> EnabledLogChannels(const DeviceState& state);

// "\r\nQUARNEL Log File\r\n\r\n"
std::string LogPreamble();
// "Time(s) ," and a field per checked box, without line end.
std::string BuildLogHeader(const std::array<bool, kLogChannelCount>& checked, bool showFahrenheit);
// One data line without line end. The nominal time is intervalMs x count in
// 64 bits, so it never overflows; below 2^31 - 1 ms the text is unchanged.
std::string BuildLogLine(const std::array<bool, kLogChannelCount>& selected, int32_t logIntervalMs,
                         int64_t loggedCount, const CurrentReadings& readings);
// Same, from the session's state.
std::string BuildLogLine(const Session& session);

// Opens, appends, closes. All or nothing: a write that fails part-way is cut
// back, so what the file held before stays intact, and a file this call created
// is removed again. False with a reason, and errno says which failure.
// Opening a FIFO waits for its reader unless `waitForReader` is false (then a
// FIFO nobody reads fails with ENXIO).
bool AppendToFile(const std::string& path, const std::string& bytes, std::string* error,
                  bool waitForReader = true);

// Starting (after the file was chosen): LogFilePath, LogChannelSelected,
// preamble and header appended; on success LoggingActive and LoggedCount = 0.
// On failure returns false with the reason and leaves logging off. A FIFO is
// waited on for its reader as AppendToFile does.
bool StartLogging(Session& session, const std::string& path,
                  const std::array<bool, kLogChannelCount>& boxes, std::string* error = nullptr,
                  bool waitForReader = true);
// A log that goes on after the board came back: its own preamble and header,
// the count kept. On failure logging stops (StopError set) and false is returned.
bool ContinueLogging(Session& session, std::string* error);
// The message of a log write that failed with error: logging has stopped.
std::string LogWriteFailedText(const std::string& path, const std::string& error);
// Stopping: LoggingActive false; the file is not touched.
void StopLogging(Session& session);

// The logging step of each tick. A failed write stops logging and is
// reported through the notifier; a signal that interrupted the wait for a FIFO's
// reader only skips this step. Returns the status text the step set, nullptr
// when it leaves it.
const char* LoggingStep(Session& session);

// Windows-1252 to UTF-8, for showing log texts on a terminal or in a window.
std::string Windows1252ToUtf8(const std::string& text);

}  // namespace quarnel
