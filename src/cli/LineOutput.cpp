// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/LineOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quarnel::cli {

LineOutput::LineOutput(int fd, WriteCall write)
    : fd_(fd), write_(write ? std::move(write) : WriteCall(::write)) {}

LineOutput::int_type LineOutput::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
}

std::streamsize LineOutput::xsputn(const char* data, std::streamsize size) {
    pending_.append(data, static_cast<size_t>(size));
    return size;
}

int LineOutput::sync() {
    size_t done = 0;
    int error = 0;
    while (done < pending_.size()) {
        const ssize_t n = write_(fd_, pending_.data() + done, pending_.size() - done);
        if (n <= 0) {
            // Not even EINTR is tried again: the signal asks the program to end, and a
            // full pipe would otherwise hold it here.
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    const size_t wanted = pending_.size();
    pending_.clear();
    if (done == wanted) return 0;
    struct stat st {};
    if (done > 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        const off_t end = ::lseek(fd_, 0, SEEK_CUR);
        const off_t start = end - static_cast<off_t>(done);
        if (end >= 0 && start >= 0 && ::ftruncate(fd_, start) == 0) ::lseek(fd_, start, SEEK_SET);
    }
    errno = error;
    return -1;
}

}  // namespace quarnel::cli
