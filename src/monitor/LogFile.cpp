// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device/Conversions.h"
#include "monitor/MasterPoll.h"

namespace quarnel {

const std::array<LogChannel, kLogChannelCount>& LogChannels() {
    static const std::array<LogChannel, kLogChannelCount> channels{{
        {0, "Internal Temp", "Internal", true, &CurrentReadings::InternalTemp},
        {1, "External Temp", "External", true, &CurrentReadings::ExternalTemp},
        {2, "Vdd", "Vdd", false, &CurrentReadings::Vdd},
        {7, "VARNO", "VARNO", true, &CurrentReadings::VarnoTemp},
        {3, "Ain1", "Ain1", false, &CurrentReadings::Ain1},
        {4, "Ain2", "Ain2", false, &CurrentReadings::Ain2},
        {5, "Ain3", "Ain3", false, &CurrentReadings::Ain3},
        {6, "Ain4", "Ain4", false, &CurrentReadings::Ain4},
        {8, "Ain5", "Ain5", false, &CurrentReadings::Ain5},
        {9, "Ain6", "Ain6", false, &CurrentReadings::Ain6},
        {10, "Ain7", "Ain7", false, &CurrentReadings::Ain7},
        {11, "Ain8", "Ain8", false, &CurrentReadings::Ain8},
    }};
    return channels;
}

bool LogChannelEnabled(int index, const DeviceState& state) {
    switch (index) {
        case 1:
            return state.ChannelMode == ChannelFunction::ExternalTemp;
        case 3:
        case 4:
            return state.ChannelMode == ChannelFunction::AinInputs;
        case 5:
        case 7:
            return state.VarnoOnAin3;
        default:
            return index >= 0 && index < kLogChannelCount;
    }
}

std::array<bool, kLogChannelCount> EnabledLogChannels(const DeviceState& state) {
    std::array<bool, kLogChannelCount> channels{};
    for (int i = 0; i < kLogChannelCount; ++i) channels[i] = LogChannelEnabled(i, state);
    return channels;
}

std::string LogPreamble() {
    return std::string(kLineEnd) + "QUARNEL Log File" + kLineEnd + kLineEnd;
}

std::string BuildLogHeader(const std::array<bool, kLogChannelCount>& checked, bool showFahrenheit) {
    std::string header = "Time(s) ,";
    for (const LogChannel& channel : LogChannels()) {
        if (!checked[channel.index]) continue;
        header += channel.name;
        header += '(';
        if (channel.temperature) {
            header += kDegreeSign1252;
            header += showFahrenheit ? 'F' : 'C';
        } else {
            header += 'V';
        }
        header += ") ,";
    }
    return header;
}

std::string BuildLogLine(const std::array<bool, kLogChannelCount>& selected, int32_t logIntervalMs,
                         int64_t loggedCount, const CurrentReadings& readings) {
    // 64-bit product: a long run no longer wraps after 2^31 - 1 ms.
    const int64_t nominalMs = static_cast<int64_t>(logIntervalMs) * loggedCount;
    const double seconds = RoundHalfEven(static_cast<double>(nominalMs) / 1000.0, 3);
    std::string line = TrimmedNumberText(seconds);
    line += ',';
    for (const LogChannel& channel : LogChannels()) {
        if (!selected[channel.index]) continue;
        line += NumberText(readings.*channel.value);
        line += ',';
    }
    return line;
}

std::string BuildLogLine(const Session& session) {
    return BuildLogLine(session.logging.LogChannelSelected, session.device.state.LogIntervalMs,
                        session.logging.LoggedCount, session.readings);
}

bool AppendToFile(const std::string& path, const std::string& bytes, std::string* error,
                  bool waitForReader) {
    auto fail = [&](int err) {
        if (error) *error = std::strerror(err);
        errno = err;
        return false;
    };
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (waitForReader ? 0 : O_NONBLOCK);
    int fd = ::open(path.c_str(), flags);
    bool created = fd < 0 && errno == ENOENT;
    if (created) fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && created && errno == EEXIST) {
        // Made meanwhile, or a link to a file yet to be made: not ours to remove.
        created = false;
        fd = ::open(path.c_str(), flags | O_CREAT, 0666);
    }
    if (fd < 0) return fail(errno);
    if (!waitForReader) ::fcntl(fd, F_SETFL, O_APPEND);  // a full pipe is waited on
    // Nothing of ours may be left behind: an empty file made only to fail in.
    auto discard = [&] {
        if (created) ::unlink(path.c_str());
    };
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const off_t sizeBefore = regular ? info.st_size : 0;

    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        // EINTR too ends it: the signal asks the program to end, and a FIFO's full
        // pipe would otherwise hold it here.
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            // Cut a partial line back off, so the file ends with a whole line.
            if (regular && done > 0 && ::ftruncate(fd, sizeBefore) != 0) {
                // Nothing more can be done; the error below is what counts.
            }
            ::close(fd);
            discard();
            return fail(err);
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        const int err = errno;
        if (regular && ::truncate(path.c_str(), sizeBefore) != 0) {
            // As above: report the write error.
        }
        discard();
        return fail(err);
    }
    return true;
}

bool StartLogging(Session& session, const std::string& path,
                  const std::array<bool, kLogChannelCount>& boxes, std::string* error,
                  bool waitForReader) {
    LoggingState& logging = session.logging;
    logging.LogFilePath = path;
    logging.LogChannelSelected = boxes;
    const std::string text =
        LogPreamble() + BuildLogHeader(boxes, session.ShowFahrenheit) + kLineEnd;
    if (!AppendToFile(path, text, error, waitForReader)) return false;
    logging.LoggingActive = true;
    logging.LoggedCount = 0;
    logging.StopError = 0;
    return true;
}

std::string LogWriteFailedText(const std::string& path, const std::string& error) {
    return "Data logging stopped: could not write to the log file \"" + path + "\" (" + error +
           "). The lines logged before are kept in the file.";
}

bool ContinueLogging(Session& session, std::string* error) {
    LoggingState& logging = session.logging;
    const std::string text = LogPreamble() +
                             BuildLogHeader(logging.LogChannelSelected, session.ShowFahrenheit) +
                             kLineEnd;
    if (AppendToFile(logging.LogFilePath, text, error, false)) return true;
    logging.LoggingActive = false;
    logging.StopError = errno;
    return false;
}

void StopLogging(Session& session) {
    session.logging.LoggingActive = false;
}

const char* LoggingStep(Session& session) {
    LoggingState& logging = session.logging;
    const double now = session.clock.timeOfDay();
    const bool due = IsDue(now, logging.LastLogTime, session.device.state.LogIntervalMs / 1000.0);

    if (!logging.LoggingActive) return kStatusIdleText;
    if (!due) return nullptr;

    std::string error;
    // The FIFO's reader came when logging started; none now means it left.
    if (!AppendToFile(logging.LogFilePath, BuildLogLine(session) + kLineEnd, &error, false)) {
        const int failure = errno == ENXIO ? EPIPE : errno;
        // A signal ended the wait for a FIFO's reader: the program is about to end.
        if (failure == EINTR) return nullptr;
        // Stop first: ticks go on while the message is shown.
        logging.LoggingActive = false;
        logging.StopError = failure;
        if (failure == EPIPE)
            session.notifier.message("Data logging stopped: the program reading \"" +
                                         logging.LogFilePath + "\" has closed it.",
                                     Notifier::Icon::Information);
        else
            session.notifier.message(LogWriteFailedText(logging.LogFilePath, error),
                                     Notifier::Icon::Error);
        return kStatusIdleText;
    }
    ++logging.LoggedCount;
    logging.LastLogTime = now;
    return kStatusLoggingText;
}

std::string Windows1252ToUtf8(const std::string& text) {
    // 0x80 to 0x9F differ from Latin-1; 0 marks the five unassigned bytes.
    static const char16_t high[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    out.reserve(text.size() + 8);
    for (unsigned char c : text) {
        char32_t cp = c;
        if (c >= 0x80 && c < 0xA0) cp = high[c - 0x80] ? high[c - 0x80] : 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace quarnel
