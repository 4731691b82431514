// SPDX-License-Identifier: GPL-3.0-or-later
// Every reader of the programs' files refuses what is no regular file, at once:
// a FIFO without a writer never hangs it, an endless device is never read.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "device/Profile.h"
#include "link/FirmwareImage.h"
#include "link/SafeFile.h"
#include "monitor/LogReader.h"
#include "support/TempDir.h"

namespace quarnel::test {
namespace {

std::string profileRefusal(const std::string& path) {
    try {
        ReadProfileFile(path, RegisterTable());
        return "accepted";
    } catch (const ProfileError& e) {
        return e.what();
    }
}

TEST(HostilePaths, EveryReaderRefusesWhatIsNoRegularFile) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder");
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    const std::pair<std::string, const char*> paths[] = {
        {dir.file("folder"), "is a folder, not a file"},
        {dir.file("fifo"), "is a FIFO, not a regular file"},
        {"/dev/zero", "is a device, not a regular file"},  // only ever read
    };
    const std::pair<const char*, std::function<std::string(const std::string&)>> readers[] = {
        {"profile", profileRefusal},
        {"firmware", [](const std::string& p) { return ReadFirmwareImage(p).error; }},
        {"log review", [](const std::string& p) { return ReadLogFile(p).error; }},
        {"log check", [](const std::string& p) { return LogFileProblem(p); }},
        {"settings", [](const std::string& p) { return RegularFileProblem(p).value_or("none"); }},
    };
    for (const auto& [path, refusal] : paths)
        for (const auto& [reader, read] : readers)
            EXPECT_THAT(read(path), ::testing::HasSubstr(refusal)) << reader << " of " << path;
}

}  // namespace
}  // namespace quarnel::test
