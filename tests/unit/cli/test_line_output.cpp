// Standard output on a full disk: each flush is one write, and a short one is
// cut back, so the file holds whole lines only.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <ostream>
#include <vector>

#include "cli/LineOutput.h"
#include "support/TempDir.h"

namespace quarnel::cli {
namespace {

TEST(LineOutput, AFullDiskLeavesNoPartOfALine) {
    test::TempDir dir;
    const int fd = ::open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    ASSERT_GE(fd, 0);
    // A disk with room for 25 bytes, taking at most 8 in one call.
    std::vector<size_t> calls;
    size_t room = 25;
    LineOutput lines(fd, [&](int to, const void* data, size_t size) -> ssize_t {
        calls.push_back(size);
        if (room == 0) return errno = ENOSPC, -1;
        const size_t n = std::min({size, room, size_t{8}});
        room -= n;
        return ::write(to, data, n);
    });
    std::ostream out(&lines);
    out << "first line\n" << std::flush;
    out << "second line\n" << std::flush;
    EXPECT_TRUE(out.good());
    out << "third line, too long\n" << std::flush;
    EXPECT_TRUE(out.bad());
    EXPECT_EQ(errno, ENOSPC);
    ::close(fd);
    EXPECT_EQ(test::readFile(dir.file("out")), "first line\nsecond line\n");
    EXPECT_EQ(calls.front(), 11u) << "a line is handed over in one call";
}

}  // namespace
}  // namespace quarnel::cli
