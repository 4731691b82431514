// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Caps the size of the files this process may write, as a full medium would:
// a write beyond it fails with EFBIG instead of ending the process.

#include <sys/resource.h>

#include <csignal>

namespace quarnel::test {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    void (*handler_)(int);
    rlimit old_{};
};

}  // namespace quarnel::test
