// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/LogReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "link/SafeFile.h"
#include "monitor/LogFile.h"

namespace quarnel {
namespace {

constexpr std::string_view kTitle = "QUARNEL Log File";
constexpr std::string_view kTimeField = "Time(s)";
constexpr size_t kChunkBytes = 1 << 20;
// A line longer than this is no log line: it is skipped unread.
constexpr size_t kLongestLine = 64 * 1024;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Splits off the text up to the next comma; false when none is left.
bool nextField(std::string_view& rest, std::string_view& field) {
    if (rest.data() == nullptr) return false;
    const size_t comma = rest.find(',');
    if (comma == std::string_view::npos) {
        field = rest;
        rest = std::string_view();
    } else {
        field = rest.substr(0, comma);
        rest = rest.substr(comma + 1);
        if (rest.empty()) rest = std::string_view("", 0);
    }
    return true;
}

template <typename T>
bool parseNumber(std::string_view field, T& out) {
    field = trimmed(field);
    if (field.empty()) return false;
    const char* first = field.data();
    const char* last = first + field.size();
    if (*first == '+') ++first;
    const auto [ptr, ec] = std::from_chars(first, last, out);
    return ec == std::errc() && ptr == last;
}

// "Cannot read "x": No such file or directory." / "Cannot read "x": it is a folder, not a file."
std::string unreadable(const std::string& path, const FileRead& problem) {
    return "Cannot read \"" + path + "\": " + (problem.kind == FileRead::kNotRegular ? "it " : "") +
           problem.error + ".";
}

bool isHeader(std::string_view trimmedLine) {
    return trimmedLine.substr(0, kTimeField.size()) == kTimeField;
}

// Lines after each header up to the next one: a bound on each run's rows
// that is known before its first row, so every column is allocated once at
// its final size. Growing a column copies it, and a read then briefly needs
// more memory than it keeps.
class RunSizer {
  public:
    bool line(std::string_view text) {
        const std::string_view t = trimmed(text);
        if (isHeader(t))
            lines_.push_back(0);
        else if (!lines_.empty() && !t.empty())
            ++lines_.back();
        return true;
    }
    std::vector<size_t> take() { return std::move(lines_); }

  private:
    std::vector<size_t> lines_;
};

class Parser {
  public:
    Parser(std::string name, std::vector<size_t> runLines)
        : name_(std::move(name)), runLines_(std::move(runLines)) {}

    // False once the text has shown it is not a log.
    bool line(std::string_view text) {
        ++lineNo_;
        const std::string_view t = trimmed(text);
        if (t.empty() || t == kTitle) return true;
        if (isHeader(t)) return header(t);
        if (result_.runs.empty()) {
            return notALog("line " + std::to_string(lineNo_) +
                           " comes before any \"Time(s)\" header line");
        }
        if (!dataLine(t)) damaged();
        return true;
    }

    void damaged() {
        if (result_.damagedLines++ == 0) result_.firstDamagedLine = lineNo_;
    }
    void skippedLongLine() {
        ++lineNo_;
        damaged();
    }
    LogReadResult finish() {
        if (result_.status == LogReadResult::Status::Ok && result_.runs.empty())
            notALog("it holds no \"Time(s)\" header line");
        if (!result_.runs.empty()) trimLast();
        return std::move(result_);
    }

  private:
    bool notALog(const std::string& why) {
        result_.status = LogReadResult::Status::NotALog;
        result_.error = name_ + " is not a QUARNEL log file: " + why + ".";
        result_.runs.clear();
        return false;
    }

    bool header(std::string_view text) {
        const size_t index = headers_++;
        LogRun run;
        run.headerLine = lineNo_;
        std::string_view rest = text, field;
        nextField(rest, field);  // "Time(s) "
        while (nextField(rest, field)) {
            field = trimmed(field);
            if (field.empty() && rest.data() == nullptr) break;  // the trailing comma
            const size_t open = field.find('(');
            const std::string_view name = field.substr(0, std::min(open, field.size()));
            const std::string_view unit =
                open == std::string_view::npos ? std::string_view() : field.substr(open);
            const auto& table = LogChannels();
            const auto it = std::find_if(table.begin(), table.end(),
                                         [&](const LogChannel& c) { return name == c.name; });
            if (it == table.end() || unit.empty()) {
                if (result_.runs.empty())
                    return notALog("the header on line " + std::to_string(lineNo_) +
                                   " has an unknown column \"" +
                                   Windows1252ToUtf8(std::string(field)) + "\"");
                damaged();
                return true;
            }
            if (it->temperature && unit.back() == ')' && unit.size() >= 3 &&
                unit[unit.size() - 2] == 'F')
                run.fahrenheit = true;
            run.channels.push_back(int(it - table.begin()));
            run.columns.push_back(Windows1252ToUtf8(std::string(field)));
        }
        run.values.resize(run.channels.size());
        if (index < runLines_.size()) {
            run.time.reserve(runLines_[index]);
            for (auto& column : run.values) column.reserve(runLines_[index]);
        }
        if (!result_.runs.empty()) trimLast();
        result_.runs.push_back(std::move(run));
        return true;
    }

    // Drops room that was reserved but not filled (damaged lines), unless it
    // is little: the copy would briefly need more than the slack saves.
    void trimLast() {
        LogRun& last = result_.runs.back();
        if (last.time.capacity() - last.time.size() <= last.time.size() / 16) return;
        last.time.shrink_to_fit();
        for (auto& column : last.values) column.shrink_to_fit();
    }

    // Only when the file grew after it was sized: in steps of an eighth, one
    // column at a time, as doubling would briefly need three times a column.
    static void makeRoom(LogRun& run) {
        const size_t want = run.time.capacity() + run.time.capacity() / 8 + 1024;
        run.time.reserve(want);
        for (auto& column : run.values) column.reserve(want);
    }

    bool dataLine(std::string_view text) {
        LogRun& run = result_.runs.back();
        const size_t n = run.channels.size();
        if (row_.size() < n) row_.resize(n);
        std::string_view rest = text, field;
        double time = 0;
        if (!nextField(rest, field) || !parseNumber(field, time)) return false;
        // The program writes times from 0 up and finite readings only; anything else
        // would poison the statistics and the charts' search by time.
        if (!std::isfinite(time) || time < 0 || (!run.time.empty() && time < run.time.back()))
            return false;
        for (size_t i = 0; i < n; ++i) {
            if (!nextField(rest, field) || !parseNumber(field, row_[i]) || !std::isfinite(row_[i]))
                return false;
        }
        // Nothing after the values but the trailing comma.
        if (rest.data() != nullptr && !trimmed(rest).empty()) return false;
        if (run.time.size() == run.time.capacity()) makeRoom(run);
        run.time.push_back(time);
        for (size_t i = 0; i < n; ++i) run.values[i].push_back(row_[i]);
        return true;
    }

    std::string name_;
    std::vector<size_t> runLines_;
    size_t headers_ = 0;
    int64_t lineNo_ = 0;
    std::vector<float> row_;
    LogReadResult result_;
};

template <typename OnLine>
void forEachLine(std::string_view bytes, OnLine&& onLine) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos) end = bytes.size();
        if (!onLine(bytes.substr(pos, end - pos))) return;
        pos = end + 1;
    }
}

// Reads the file from its start in chunks and calls onLine(text) for every
// line (false stops) and onLongLine() for each too long to be a log line.
template <typename OnLine, typename OnLongLine>
LogReadResult::Status scanFile(int fd, size_t total, const std::atomic<bool>* cancel,
                               const LogReadProgress& progress, std::vector<char>& buffer,
                               std::string& error, OnLine&& onLine, OnLongLine&& onLongLine) {
    if (::lseek(fd, 0, SEEK_SET) < 0) {
        error = std::strerror(errno);
        return LogReadResult::Status::Unreadable;
    }
    size_t held = 0, readSoFar = 0;
    bool skipping = false, eof = false;
    while (!eof) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return LogReadResult::Status::Cancelled;
        const ssize_t n = ::read(fd, buffer.data() + held, buffer.size() - held);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::strerror(errno);
            return LogReadResult::Status::Unreadable;
        }
        eof = n == 0;
        readSoFar += size_t(n);
        held += size_t(n);
        const std::string_view data(buffer.data(), held);
        size_t pos = 0;
        while (pos < data.size()) {
            size_t end = data.find('\n', pos);
            if (end == std::string_view::npos) {
                if (!eof) break;
                end = data.size();
            }
            if (skipping)
                skipping = false;
            else if (!onLine(data.substr(pos, end - pos)))
                return LogReadResult::Status::Ok;
            pos = end + 1;
        }
        pos = std::min(pos, held);
        held -= pos;
        std::memmove(buffer.data(), buffer.data() + pos, held);
        if (held == buffer.size()) {  // no line end in sight
            if (!skipping) onLongLine();
            skipping = true;
            held = 0;
        }
        if (progress && total > 0) progress(std::min(1.0, double(readSoFar) / double(total)));
    }
    return LogReadResult::Status::Ok;
}

}  // namespace

LogReadResult ParseLogText(std::string_view bytes, const std::string& name) {
    RunSizer sizer;
    forEachLine(bytes, [&](std::string_view line) { return sizer.line(line); });
    Parser parser(name, sizer.take());
    forEachLine(bytes, [&](std::string_view line) { return parser.line(line); });
    return parser.finish();
}

LogReadResult ReadLogFile(const std::string& path, const std::atomic<bool>* cancel,
                          const LogReadProgress& progress) {
    LogReadResult failed;
    FileRead problem;
    const int fd = OpenRegularFile(path, problem);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        failed.status = LogReadResult::Status::Unreadable;
        failed.error = unreadable(
            path, fd < 0 ? problem : FileRead{FileRead::kFailed, "", std::strerror(errno)});
        if (fd >= 0) ::close(fd);
        return failed;
    }
    const size_t total = size_t(info.st_size);
    std::vector<char> buffer(kChunkBytes + kLongestLine);
    std::string error;
    // A first pass only sizes the runs: it splits lines but parses no number.
    RunSizer sizer;
    auto status = scanFile(
        fd, total, cancel, {}, buffer, error,
        [&](std::string_view line) { return sizer.line(line); }, [] {});
    Parser parser(path, sizer.take());
    if (status == LogReadResult::Status::Ok)
        status = scanFile(
            fd, total, cancel, progress, buffer, error,
            [&](std::string_view line) { return parser.line(line); },
            [&] { parser.skippedLongLine(); });
    ::close(fd);
    if (status == LogReadResult::Status::Ok) return parser.finish();
    failed.status = status;
    if (status == LogReadResult::Status::Unreadable)
        failed.error = "Cannot read \"" + path + "\": " + error + ".";
    return failed;
}

}  // namespace quarnel

namespace quarnel {

std::string LogFileProblem(const std::string& path) {
    FileRead problem;
    const int fd = OpenRegularFile(path, problem);
    if (fd < 0) return unreadable(path, problem);
    std::string head(kLongestLine, '\0');
    const ssize_t n = ::read(fd, head.data(), head.size());
    ::close(fd);
    if (n < 0) return "Cannot read \"" + path + "\": " + std::strerror(errno) + ".";
    head.resize(size_t(n));
    // Whole lines only, so a cut line is not taken for damage.
    if (head.size() == kLongestLine) head.resize(head.rfind('\n') + 1);
    const LogReadResult result = ParseLogText(head, path);
    return result.status == LogReadResult::Status::NotALog ? result.error : std::string();
}

}  // namespace quarnel
