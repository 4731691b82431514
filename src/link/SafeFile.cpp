// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/SafeFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace quarnel {
namespace {

std::string errorText(int error) {
    return std::strerror(error);
}

bool writeAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads at most `limit` + 1 bytes, so an endless or huge file costs no more.
bool readBounded(int fd, size_t limit, std::string& text) {
    text.resize(limit + 1);
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    text.resize(got);
    return true;
}

}  // namespace

int OpenRegularFile(const std::string& path, FileRead& problem) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem.kind = errno == ENOENT || errno == ENOTDIR ? FileRead::kMissing : FileRead::kFailed;
        problem.error = errorText(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        problem.kind = FileRead::kNotRegular;
        problem.error = S_ISDIR(st.st_mode)    ? "is a folder, not a file"
                        : S_ISFIFO(st.st_mode) ? "is a FIFO, not a regular file"
                        : S_ISSOCK(st.st_mode) ? "is a socket, not a regular file"
                                               : "is a device, not a regular file";
        return -1;
    }
    // Reads of a regular file never wait anyway; the flag must not surprise a caller.
    ::fcntl(fd, F_SETFL, 0);
    return fd;
}

std::optional<std::string> RegularFileProblem(const std::string& path) {
    FileRead problem;
    const int fd = OpenRegularFile(path, problem);
    if (fd >= 0) ::close(fd);
    if (fd >= 0 || problem.kind == FileRead::kMissing) return std::nullopt;
    return problem.error;
}

FileRead ReadRegularFile(const std::string& path, size_t limit) {
    FileRead result;
    const int fd = OpenRegularFile(path, result);
    if (fd < 0) return result;
    const bool read = readBounded(fd, limit, result.text);
    const int error = errno;
    ::close(fd);
    result.kind = read ? FileRead::kRead : FileRead::kFailed;
    if (!read) result.error = errorText(error);
    return result;
}

std::optional<std::string> ReplaceFileAtomically(const std::string& path, const std::string& text,
                                                 bool shared) {
    // A rename replaces whatever has the name: never a device, FIFO or folder.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return path + " is not a regular file";
    // A new name each time (O_EXCL), so nothing planted in the folder is written through.
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return "cannot create a temporary file beside " + path + ": " + errorText(errno);
    // Held until the file is renamed or removed: RemoveStaleTempFiles leaves it alone.
    ::flock(fd, LOCK_EX);
    if (shared) {
        // mkostemp makes 0600; a file meant for others gets what the user's umask allows.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    const int error = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(temp.c_str());
        return "cannot write " + temp + ": " + errorText(error);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temp.c_str());
        return "cannot replace " + path + ": " + errorText(renameError);
    }
    return std::nullopt;
}

void RemoveStaleTempFiles(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string prefix = target.filename().string() + ".tmp-";
    std::error_code ec;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code ignored;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0 ||
            it->symlink_status(ignored).type() != fs::file_type::regular)
            continue;
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(it->path().c_str());
        ::close(fd);
    }
}

bool SameFileName(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    const fs::path pa(a), pb(b);
    if (pa.filename() != pb.filename()) return false;
    struct stat da {
    }, db{};
    const auto folder = [](const fs::path& p) {
        return p.has_parent_path() ? p.parent_path().string() : std::string(".");
    };
    return ::stat(folder(pa).c_str(), &da) == 0 && ::stat(folder(pb).c_str(), &db) == 0 &&
           da.st_dev == db.st_dev && da.st_ino == db.st_ino;
}

}  // namespace quarnel
