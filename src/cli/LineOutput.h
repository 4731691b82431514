// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Standard output that never leaves half a line: what was put since the last
// flush goes out in one write, and a short write to a regular file (a full
// disk) is cut back to where that write began. A JSON Lines reader then sees
// whole lines only.

#include <sys/types.h>

#include <functional>
#include <streambuf>
#include <string>

namespace quarnel::cli {

using WriteCall = std::function<ssize_t(int fd, const void* data, size_t size)>;

class LineOutput final : public std::streambuf {
  public:
    explicit LineOutput(int fd, WriteCall write = {});

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize size) override;
    // -1 with errno set when the text could not be written whole; it is dropped.
    int sync() override;

  private:
    int fd_;
    WriteCall write_;
    std::string pending_;
};

}  // namespace quarnel::cli
