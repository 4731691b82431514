// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/LogReader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <thread>
#include <type_traits>

#include "link/SafeFile.h"
#include "monitor/LogFile.h"

namespace quarnel {
namespace {

constexpr std::string_view kTitle = "QUARNEL Log File";
constexpr std::string_view kTimeField = "Time(s)";
constexpr size_t kChunkBytes = 1 << 20;
// A line longer than this is no log line: it is skipped unread.
constexpr size_t kLongestLine = 64 * 1024;
// A file this large is read in two halves at once; a smaller one is read
// before a second thread would have started.
constexpr size_t kTwoReadersFrom = 1 << 20;
// Lines between the places the first pass notes for a second reader.
constexpr int64_t kMarkEvery = 4096;

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
// Columns of a large log are filled page by page, and a fault per 4 KiB page
// costs more than the numbers in it: big columns ask for huge pages.
template <typename T>
void reserveColumn(std::vector<T>& column, size_t size) {
    column.reserve(size);
    constexpr uintptr_t kHuge = 2 << 20;
    const auto first = (reinterpret_cast<uintptr_t>(column.data()) + kHuge - 1) & ~(kHuge - 1);
    const auto last =
        (reinterpret_cast<uintptr_t>(column.data() + column.capacity())) & ~(kHuge - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

void reserveColumn(LogTimes& column, size_t size) {
    column.reserve(size);
}
void reserveColumn(LogValues& column, size_t size) {
    column.reserve(size);
}

bool parseNumber(std::string_view field, LogDecimal& out) {
    field = trimmed(field);
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    return !field.empty() && ParseLogDecimal(field, out);
}

// Also notes, every few thousand lines, where a second reader could take up
// the file: the line, its byte offset, the run it is in and that run's rows
// above it.
class RunSizer {
  public:
    struct Mark {
        int64_t line = 0;  // lines above it
        size_t offset = 0;
        size_t run = 0, rows = 0;
        size_t headerOffset = 0;  // of its run's header
    };

    bool line(std::string_view text) {
        if (lineCount_ % kMarkEvery == 0 && !lines_.empty())
            marks_.push_back({lineCount_, offset_, lines_.size() - 1, lines_.back(), header_});
        const std::string_view t = trimmed(text);
        if (isHeader(t)) {
            lines_.push_back(0);
            header_ = offset_;
        } else if (!lines_.empty() && !t.empty()) {
            ++lines_.back();
        }
        ++lineCount_;
        offset_ += text.size() + 1;
        return true;
    }
    // A line too long to read loses the count of bytes.
    void longLine() { marks_.clear(), lost_ = true; }
    // The mark nearest the middle of the file, if any.
    std::optional<Mark> middle(size_t total) const {
        if (lost_ || marks_.empty()) return std::nullopt;
        const auto at =
            std::lower_bound(marks_.begin(), marks_.end(), total / 2,
                             [](const Mark& m, size_t half) { return m.offset < half; });
        return at == marks_.end() ? marks_.back() : *at;
    }
    std::vector<size_t> take() { return std::move(lines_); }

  private:
    std::vector<size_t> lines_;
    std::vector<Mark> marks_;
    int64_t lineCount_ = 0;
    size_t offset_ = 0, header_ = 0;
    bool lost_ = false;
};

template <typename T>
void appendColumn(std::vector<T>& column, std::vector<T>&& tail, size_t skip) {
    column.insert(column.end(), tail.begin() + ptrdiff_t(std::min(skip, tail.size())), tail.end());
    tail = std::vector<T>();  // its room back at once, not after every column
}
void appendColumn(LogTimes& column, LogTimes&& tail, size_t skip) {
    column.append(std::move(tail), skip);
}
void appendColumn(LogValues& column, LogValues&& tail, size_t skip) {
    column.append(std::move(tail), skip);
}

template <typename Value>
class Parser {
  public:
    using Result = BasicLogReadResult<Value>;

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

    // A second reader takes up the run of that header at a line below it.
    void resume(std::string_view headerLine, int64_t linesAbove) {
        header(trimmed(headerLine), true);
        lineNo_ = linesAbove;
    }
    // What a second reader read from where this one stopped: the first of its
    // runs goes on with this one's last.
    void append(Parser&& later) {
        Result& theirs = later.result_;
        BasicLogRun<Value>& mine = result_.runs.back();
        BasicLogRun<Value>& rest = theirs.runs.front();
        // Its first times were only checked against each other: those below
        // this part's last time are damaged lines.
        size_t back = 0;
        while (!mine.time.empty() && back < rest.time.size() && rest.time[back] < mine.time.back())
            ++back;
        for (const int64_t line :
             {theirs.damagedLines ? theirs.firstDamagedLine : 0, back ? later.firstRowLine_ : 0})
            if (line && (result_.firstDamagedLine == 0 || line < result_.firstDamagedLine))
                result_.firstDamagedLine = line;
        result_.damagedLines += theirs.damagedLines + int64_t(back);
        appendColumn(mine.time, std::move(rest.time), back);
        for (size_t c = 0; c < mine.values.size(); ++c)
            appendColumn(mine.values[c], std::move(rest.values[c]), back);
        for (size_t r = 1; r < theirs.runs.size(); ++r) {
            trimLast();
            result_.runs.push_back(std::move(theirs.runs[r]));
        }
    }
    void skippedLongLine() {
        ++lineNo_;
        damaged();
    }
    // The text has shown it is not a log.
    bool refused() const { return result_.status == LogReadStatus::NotALog; }
    Result finish() {
        if (result_.status == LogReadStatus::Ok && result_.runs.empty())
            notALog("it holds no \"Time(s)\" header line");
        if (!result_.runs.empty()) trimLast();
        return std::move(result_);
    }

  private:
    bool notALog(const std::string& why) {
        result_.status = LogReadStatus::NotALog;
        result_.error = name_ + " is not a QUARNEL log file: " + why + ".";
        result_.runs.clear();
        return false;
    }

    // Again: a second reader's, which leaves the damage to the first.
    bool header(std::string_view text, bool again = false) {
        const size_t index = headers_++;
        BasicLogRun<Value> run;
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
                if (again) continue;
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
            reserveColumn(run.time, runLines_[index]);
            for (auto& column : run.values) reserveColumn(column, runLines_[index]);
        }
        if (!result_.runs.empty()) trimLast();
        result_.runs.push_back(std::move(run));
        return true;
    }

    // Drops room that was reserved but not filled (damaged lines), unless it
    // is little: the copy would briefly need more than the slack saves.
    void trimLast() {
        BasicLogRun<Value>& last = result_.runs.back();
        if (last.time.capacity() - last.time.size() <= last.time.size() / 16) return;
        last.time.shrink_to_fit();
        for (auto& column : last.values) column.shrink_to_fit();
    }

    // Only when the file grew after it was sized: in steps of an eighth, one
    // column at a time, as doubling would briefly need three times a column.
    static void makeRoom(BasicLogRun<Value>& run) {
        const size_t want = run.time.capacity() + run.time.capacity() / 8 + 1024;
        reserveColumn(run.time, want);
        for (auto& column : run.values) reserveColumn(column, want);
    }

    bool dataLine(std::string_view text) {
        BasicLogRun<Value>& run = result_.runs.back();
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
        if (firstRowLine_ == 0) firstRowLine_ = lineNo_;
        return true;
    }

    std::string name_;
    std::vector<size_t> runLines_;
    size_t headers_ = 0;
    int64_t lineNo_ = 0;
    int64_t firstRowLine_ = 0;  // of the first data line taken
    std::vector<Value> row_;
    Result result_;
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
LogReadStatus scanFile(int fd, size_t total, const std::atomic<bool>* cancel,
                       const LogReadProgress& progress, std::vector<char>& buffer,
                       std::string& error, OnLine&& onLine, OnLongLine&& onLongLine,
                       size_t from = 0) {
    if (::lseek(fd, off_t(from), SEEK_SET) < 0) {
        error = std::strerror(errno);
        return LogReadStatus::Unreadable;
    }
    size_t held = 0, readSoFar = 0;
    bool skipping = false, eof = false;
    while (!eof) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return LogReadStatus::Cancelled;
        const ssize_t n = ::read(fd, buffer.data() + held, buffer.size() - held);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::strerror(errno);
            return LogReadStatus::Unreadable;
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
                return LogReadStatus::Ok;
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
    return LogReadStatus::Ok;
}

// The line at that offset, without its line end.
std::string lineAt(int fd, size_t offset) {
    std::string line(kLongestLine, '\0');
    ssize_t n;
    do n = ::pread(fd, line.data(), line.size(), off_t(offset));
    while (n < 0 && errno == EINTR);
    line.resize(size_t(std::max<ssize_t>(n, 0)));
    return line.substr(0, line.find('\n'));
}

// The first lines of the file, whole lines only (a cut line is no damage).
std::string fileHead(int fd) {
    std::string head(kLongestLine, '\0');
    ssize_t n;
    do n = ::pread(fd, head.data(), head.size(), 0);
    while (n < 0 && errno == EINTR);
    head.resize(size_t(std::max<ssize_t>(n, 0)));
    if (head.size() == kLongestLine) head.resize(head.rfind('\n') + 1);
    return head;
}

template <typename Value>
BasicLogReadResult<Value> readLogFile(const std::string& path, const std::atomic<bool>* cancel,
                                      const LogReadProgress& progress) {
    BasicLogReadResult<Value> failed;
    FileRead problem;
    const int fd = OpenRegularFile(path, problem);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        failed.errorNumber = problem.kind == FileRead::kNotRegular ? 0 : errno;
        failed.status = LogReadStatus::Unreadable;
        failed.error = unreadable(
            path, fd < 0 ? problem : FileRead{FileRead::kFailed, "", std::strerror(errno)});
        if (fd >= 0) ::close(fd);
        return failed;
    }
    // A file that is no log is told from its first lines, not after a pass over it all.
    {
        Parser<Value> head(path, {});
        forEachLine(fileHead(fd), [&](std::string_view line) { return head.line(line); });
        if (head.refused()) {
            ::close(fd);
            return head.finish();
        }
    }
    const size_t total = size_t(info.st_size);
    std::vector<char> buffer(kChunkBytes + kLongestLine);
    std::string error;
    const auto share = [&progress](double from, double to) -> LogReadProgress {
        if (!progress) return {};
        return [&progress, from, to](double f) { progress(from + f * (to - from)); };
    };
    // A first pass only sizes the runs: it splits lines but parses no number.
    RunSizer sizer;
    auto status = scanFile(
        fd, total, cancel, share(0.0, 0.25), buffer, error,
        [&](std::string_view line) { return sizer.line(line); }, [&] { sizer.longLine(); });
    const std::optional<RunSizer::Mark> middle = sizer.middle(total);
    const std::vector<size_t> runLines = sizer.take();
    Parser<Value> parser(path, runLines);
    // Small columns only: their halves, joined, go back to the system at once,
    // where a vector's might stay with the allocator and raise the peak.
    if (std::is_same_v<Value, LogDecimal> && status == LogReadStatus::Ok && middle &&
        total >= kTwoReadersFrom && std::thread::hardware_concurrency() > 1) {
        // The second half on a thread of its own, from the middle mark on.
        std::vector<size_t> laterLines(runLines.begin() + ptrdiff_t(middle->run), runLines.end());
        laterLines[0] -= std::min(laterLines[0], middle->rows);
        Parser<Value> later(path, std::move(laterLines));
        later.resume(lineAt(fd, middle->headerOffset), middle->line);
        LogReadStatus laterStatus = LogReadStatus::Ok;
        std::string laterError;
        std::atomic<double> laterRead{0};  // bytes
        std::thread second([&] {
            FileRead problem;
            const int own = OpenRegularFile(path, problem);
            if (own < 0) {
                laterStatus = LogReadStatus::Unreadable, laterError = problem.error;
                return;
            }
            std::vector<char> ownBuffer(kChunkBytes + kLongestLine);
            laterStatus = scanFile(
                own, total, cancel, [&](double f) { laterRead = f * double(total); }, ownBuffer,
                laterError, [&](std::string_view line) { return later.line(line); },
                [&] { later.skippedLongLine(); }, middle->offset);
            ::close(own);
        });
        const LogReadProgress both = share(0.25, 1.0);
        int64_t lines = 0;
        status = scanFile(
            fd, total, cancel,
            [&](double f) {
                if (both) both(std::min(1.0, f + laterRead / double(total)));
            },
            buffer, error,
            [&](std::string_view line) { return lines++ < middle->line && parser.line(line); },
            [&] { parser.skippedLongLine(); });
        second.join();
        if (status == LogReadStatus::Ok && laterStatus != LogReadStatus::Ok && !parser.refused())
            status = laterStatus, error = laterError;
        if (status == LogReadStatus::Ok && !parser.refused()) parser.append(std::move(later));
    } else if (status == LogReadStatus::Ok) {
        status = scanFile(
            fd, total, cancel, share(0.25, 1.0), buffer, error,
            [&](std::string_view line) { return parser.line(line); },
            [&] { parser.skippedLongLine(); });
    }
    const int readErrno = errno;
    ::close(fd);
    if (status == LogReadStatus::Ok) return parser.finish();
    failed.status = status;
    if (status == LogReadStatus::Unreadable) {
        failed.errorNumber = readErrno;
        failed.error = "Cannot read \"" + path + "\": " + error + ".";
    }
    return failed;
}

}  // namespace

LogReadResult ParseLogText(std::string_view bytes, const std::string& name) {
    RunSizer sizer;
    forEachLine(bytes, [&](std::string_view line) { return sizer.line(line); });
    Parser<float> parser(name, sizer.take());
    forEachLine(bytes, [&](std::string_view line) { return parser.line(line); });
    return parser.finish();
}

LogReadResult ReadLogFile(const std::string& path, const std::atomic<bool>* cancel,
                          const LogReadProgress& progress) {
    return readLogFile<float>(path, cancel, progress);
}

BasicLogReadResult<LogDecimal> ReadCompactLogFile(const std::string& path,
                                                  const std::atomic<bool>* cancel,
                                                  const LogReadProgress& progress) {
    return readLogFile<LogDecimal>(path, cancel, progress);
}

BasicLogReadResult<double> ReadLogFileAsDoubles(const std::string& path,
                                                const std::atomic<bool>* cancel,
                                                const LogReadProgress& progress) {
    return readLogFile<double>(path, cancel, progress);
}

}  // namespace quarnel

namespace quarnel {

std::string LogFileProblem(const std::string& path) {
    FileRead problem;
    const int fd = OpenRegularFile(path, problem);
    if (fd < 0) return unreadable(path, problem);
    errno = 0;
    const std::string head = fileHead(fd);
    const int readErrno = errno;
    ::close(fd);
    if (head.empty() && readErrno != 0)
        return "Cannot read \"" + path + "\": " + std::strerror(readErrno) + ".";
    const LogReadResult result = ParseLogText(head, path);
    return result.status == LogReadStatus::NotALog ? result.error : std::string();
}

}  // namespace quarnel
