// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/DataDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "link/BoardLink.h"
#include "support/TempDir.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;

// An installed tree (prefix/bin, prefix/share/...) holding the firmware image
// beside the program, in the installed data folder, in both or in neither.
TEST(DataDirectoryTest, BesideTheProgramWinsThenTheInstalledFolder) {
    const test::TempDir prefix;
    const fs::path bin = prefix.path() / "bin";
    const fs::path share = (bin / kDataFromProgramDir).lexically_normal();
    fs::create_directories(bin);
    fs::create_directories(share);
    struct Case {
        bool beside, installed;
        fs::path expected;
    };
    for (const Case& c : {Case{true, false, bin}, Case{false, true, share}, Case{true, true, bin},
                          Case{false, false, bin}}) {
        fs::remove(bin / kFirmwareFileName);
        fs::remove(share / kFirmwareFileName);
        if (c.beside) std::ofstream(bin / kFirmwareFileName) << ":00000001FF\n";
        if (c.installed) std::ofstream(share / kFirmwareFileName) << ":00000001FF\n";
        EXPECT_EQ(DataDirectory(bin.string()), c.expected.string())
            << "beside " << c.beside << ", installed " << c.installed;
    }
}

}  // namespace
}  // namespace quarnel
