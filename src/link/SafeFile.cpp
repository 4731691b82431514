#include "link/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

}  // namespace quarnel
