// SPDX-License-Identifier: GPL-3.0-or-later
#include <stdlib.h>

#include "SimTestSupport.h"
#include "link/IntelHex.h"
#include "sim/SimOptions.h"

namespace quarnel::sim::test {
namespace {

TEST(IntelHexTest, ShippedImageIsWellFormed) {
    const HexCheck check = checkIntelHex(readFile(shippedFirmware()));
    EXPECT_TRUE(check.ok) << check.error;
    EXPECT_GT(check.dataBytes, 0u);
}

// What the common loaders accept: line ends, blanks, comments, anything after the end.
TEST(IntelHexTest, AcceptsImagesAsMakersShipThem) {
    for (const char* image :
         {":0100000041BE\n:00000001FF\n", ":0100000041BE\r\n:00000001FF\r\n\r\n",
          ":0100000041be\n:020000040000FA\n:00000001FF",
          "# built 2026\n:0100000041BE \t\n\n:00000001FF\n", ":0100000041BE\n:00000001FF\n\x1a",
          ":0100000041BE\n:00000001FF\n:0100000041BF\n"})
        EXPECT_TRUE(checkIntelHex(image).ok) << image;
}

TEST(IntelHexTest, YieldsDataRecordsAtTheirAbsoluteAddresses) {
    const HexCheck check = checkIntelHex(
        ":0100000041BE\n:020000020100FB\n:02001000AABB89\n:020000040001F9\n:0100020055A8\n"
        ":00000001FF\n");
    ASSERT_TRUE(check.ok) << check.error;
    ASSERT_EQ(check.records.size(), 3u);
    EXPECT_EQ(check.records[0].address, 0x0000u);
    EXPECT_EQ(check.records[1].address, 0x1010u);
    EXPECT_EQ(check.records[1].bytes, (std::vector<uint8_t>{0xAA, 0xBB}));
    EXPECT_EQ(check.records[2].address, 0x10002u);
}

TEST(IntelHexTest, RejectsEachKindOfDamageWithItsLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {":0100000041BF\n:00000001FF\n", "line 1: checksum"},
        {"0100000041BE\n:00000001FF\n", "line 1: a record must start"},
        {":0100000041BE\n:0000001FF\n", "line 2: odd number"},
        {":01000000G1BE\n:00000001FF\n", "line 1: not a hex digit"},
        {":0200000041BD\n:00000001FF\n", "line 1: byte count"},
        {":0100000041BE\n", "no end record"},
        {":0100000641B8\n:00000001FF\n", "line 1: unknown record type"},
        {":00000001FF\n", "no data"},
        {":0100000141BD\n", "line 1: end record carries data"},
        {":0100000400FB\n:00000001FF\n", "line 1: segment or linear"},
        {"", "no end record"},
    };
    for (const auto& [text, why] : cases) {
        const HexCheck check = checkIntelHex(text);
        EXPECT_FALSE(check.ok) << text;
        EXPECT_NE(check.error.find(why), std::string::npos) << check.error << " for " << text;
    }
}

using FirmwareTest = SimTest;

TEST_F(FirmwareTest, MissingOrMalformedImageFailsAndNothingReachesTheChip) {
    SimulatedBoard board(options(), clock);
    EXPECT_EQ(board.LoadFirmWare((dir / "QUARNELFW.Hex").c_str()), kFirmwareUnreadable);
    EXPECT_EQ(warnings.size(), 1u);
    writeFile(dir / "bad.hex", ":0100000041BF\n:00000001FF\n");
    EXPECT_EQ(board.LoadFirmWare((dir / "bad.hex").c_str()), kFirmwareMalformed);
    EXPECT_NE(warnings.back().find("checksum"), std::string::npos);
    EXPECT_NE(writeReg(board, 0x25, 0x01), 0);
    EXPECT_NE(writePort(board, 3, 0x04), 0);
    EXPECT_EQ(board.peekRegister(0x25), 0x64);
    EXPECT_EQ(board.portImage(), powerOnPorts());
    EXPECT_EQ(board.LoadFirmWare(nullptr), kFirmwareUnreadable);

    // A good image after a bad one brings the board up; a bad one takes it down again.
    EXPECT_EQ(board.LoadFirmWare(shippedFirmware().c_str()), 0);
    EXPECT_EQ(writeReg(board, 0x25, 0x01), 0);
    EXPECT_EQ(board.LoadFirmWare((dir / "bad.hex").c_str()), kFirmwareMalformed);
    EXPECT_NE(writeReg(board, 0x25, 0x02), 0);
    EXPECT_EQ(board.peekRegister(0x25), 0x01);
}

TEST(SimOptionsTest, AddressInEverySpelling) {
    EXPECT_EQ(parseSimAddress("48"), 0x48);
    EXPECT_EQ(parseSimAddress("0x4A"), 0x4A);
    EXPECT_EQ(parseSimAddress("0X49"), 0x49);
    EXPECT_EQ(parseSimAddress("4Bh"), 0x4B);
    EXPECT_EQ(parseSimAddress("4bH"), 0x4B);
    for (const char* bad : {"47", "4C", "0x", "h", "", "zz", "0x48h", "148", "72", "4 8"}) {
        try {
            parseSimAddress(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const SimOptionError& e) {
            EXPECT_NE(std::string(e.what()).find("--sim-address"), std::string::npos);
            EXPECT_NE(std::string(e.what()).find(std::string("\"") + bad + "\""), std::string::npos)
                << e.what();
        }
    }
}

TEST(SimOptionsTest, FaultsAndTheirCounts) {
    SimFaults f;
    parseSimFault("firmware", f);
    parseSimFault("bus-select=3", f);
    parseSimFault("cable=0", f);
    EXPECT_TRUE(f.firmwareFails);
    EXPECT_EQ(f.failingBusSelections, 3);
    EXPECT_EQ(f.cableAfter, 0);
    for (const char* bad : {"bus-select", "cable=-1", "cable=x", "cable=", "firmware=2", "smoke",
                            "cable=99999999999"}) {
        EXPECT_THROW(parseSimFault(bad, f), SimOptionError) << bad;
    }
    try {
        parseSimFault("bus-select", f);
    } catch (const SimOptionError& e) {
        EXPECT_STREQ(e.what(), "--sim-fault bus-select needs a count, e.g. bus-select=3");
    }
}

TEST(SimOptionsTest, ApplyByOptionName) {
    SimOptions o;
    EXPECT_TRUE(applySimOption("--sim-address", "0x4B", o));
    EXPECT_TRUE(applySimOption("--sim-state", "/tmp/b.json", o));
    EXPECT_TRUE(applySimOption("--sim-fault", "cable=9", o));
    EXPECT_TRUE(applySimOption("--sim-seed", "42", o));
    EXPECT_FALSE(applySimOption("--interval", "5", o));
    EXPECT_EQ(o.chipAddress, 0x4B);
    EXPECT_EQ(o.statePath, "/tmp/b.json");
    EXPECT_EQ(o.faults.cableAfter, 9);
    EXPECT_EQ(o.seed, 42u);
    EXPECT_THROW(applySimOption("--sim-state", "", o), SimOptionError);
    EXPECT_THROW(applySimOption("--sim-seed", "-1", o), SimOptionError);
    EXPECT_EQ(o.statePath, "/tmp/b.json");  // a bad value changes nothing
}

TEST(SimOptionsTest, LatencyAndStallTakeNumbersFromZero) {
    SimOptions o;
    EXPECT_TRUE(applySimOption("--sim-latency", "0.5", o));
    EXPECT_TRUE(applySimOption("--sim-fault", "stall=1.5", o));
    for (const std::string bad : {"", "-1", "-0", "x", "2ms", "inf", "nan", "1e999"}) {
        EXPECT_THROW(applySimOption("--sim-latency", bad, o), SimOptionError) << bad;
        EXPECT_THROW(applySimOption("--sim-fault", "stall=" + bad, o), SimOptionError) << bad;
    }
    EXPECT_THROW(applySimOption("--sim-latency", "10000.5", o), SimOptionError);
    EXPECT_THROW(applySimOption("--sim-fault", "stall", o), SimOptionError);
    EXPECT_EQ(o.latencyMs, 0.5);  // refusals change nothing
    EXPECT_EQ(o.faults.stallAfter, 1.5);
}

TEST(SimOptionsTest, DefaultStatePathFollowsXdgStateHome) {
    const char* savedXdg = std::getenv("XDG_STATE_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string xdg = savedXdg ? savedXdg : "";
    const std::string home = savedHome ? savedHome : "";
    setenv("XDG_STATE_HOME", "/x/state", 1);
    EXPECT_EQ(defaultStatePath(), "/x/state/quarnel/board.json");
    setenv("XDG_STATE_HOME", "relative", 1);
    setenv("HOME", "/h", 1);
    EXPECT_EQ(defaultStatePath(), "/h/.local/state/quarnel/board.json");
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(defaultStatePath(), "/h/.local/state/quarnel/board.json");
    if (savedXdg) setenv("XDG_STATE_HOME", xdg.c_str(), 1);
    if (savedHome) setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace quarnel::sim::test
