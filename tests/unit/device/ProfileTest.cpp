// SPDX-License-Identifier: GPL-3.0-or-later
// Register profiles on the simulated board: which registers, the order a load
// writes them in (through the hook), and every way a file is refused unwritten.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "DeviceTestSupport.h"
#include "device/Profile.h"
#include "support/CountingBoard.h"
#include "unit/sim/SimTestSupport.h"

namespace quarnel {
namespace {

using sim::test::readFile;
using sim::test::writeFile;
using ::testing::HasSubstr;

// A connected chip on a board with its own state file.
struct Bench {
    Bench(sim::SimOptions options, Clock& clock)
        : board(std::move(options), clock), counting(board), link(counting, clock, [](int) {}) {
        EXPECT_EQ(board.LoadFirmWare(sim::test::shippedFirmware().c_str()), 0);
        link.DeviceAddress = 0x48;
    }
    void write(int reg, int value) { link.WriteRegister(0x48, reg, value); }
    sim::SimulatedBoard board;
    test::CountingBoard counting;
    BoardLink link;
    test::DeviceEvents events;
    Device device{link, events, events};
};

class ProfileTest : public sim::test::SimTest {
  protected:
    std::unique_ptr<Bench> bench(const std::string& state) {
        auto o = options();
        o.statePath = (dir / state).string();
        return std::make_unique<Bench>(o, clock);
    }
    std::string path(const char* name) const { return (dir / name).string(); }
    RegisterTable table;
};

TEST_F(ProfileTest, HoldsTheUserSettingsInASafeWriteOrder) {
    std::set<int> expected;
    for (int a = 0x10; a <= 0x28; ++a) expected.insert(a);  // DAC, configuration .. limits
    for (int a = 0x2B; a <= 0x38; ++a) expected.insert(a);  // Ain2 to Ain8 limits
    std::vector<int> order;
    for (const RegisterInfo& r : ProfileRegisters(table)) order.push_back(r.Address);
    EXPECT_EQ(std::set<int>(order.begin(), order.end()), expected);
    EXPECT_EQ(order.size(), expected.size()) << "each address once";
    EXPECT_EQ(order.front(), 0x23);  // limits first
    EXPECT_EQ(order.back(), 0x18);   // Configuration 1 last
    const auto at = [&](int a) { return std::find(order.begin(), order.end(), a) - order.begin(); };
    EXPECT_LT(at(0x38), at(0x1D));  // limits before masks
    EXPECT_LT(at(0x1E), at(0x1F));  // masks before offsets
    EXPECT_LT(at(0x22), at(0x19));  // offsets before configuration
}

TEST_F(ProfileTest, ASavedProfileLoadedIntoAnotherBoardLeavesNoDifference) {
    auto a = bench("a.json");
    for (auto [reg, value] : {std::pair{0x25, 0x50}, {0x1D, 0x81}, {0x33, 0x07}, {0x18, 0x05}})
        a->write(reg, value);
    const Profile saved = ReadProfile(a->link, table, "2024-03-09T14:05:30+01:00");
    ASSERT_EQ(WriteProfileFile(path("p.json"), saved), std::nullopt);
    a.reset();

    auto b = bench("b.json");
    const Profile loaded = ReadProfileFile(path("p.json"), table);
    EXPECT_EQ(loaded.savedAt, saved.savedAt);
    EXPECT_EQ(loaded.registers.size(), 39u);
    const auto changes = CompareWithChip(b->link, loaded);
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[0].name, "Configuration 1");
    b->counting.clear();
    EXPECT_TRUE(WriteChanges(b->link, table, loaded, changes).empty());
    EXPECT_EQ(b->counting.writes, (std::vector<int>{0x25, 0x33, 0x1D, 0x18}));
    EXPECT_TRUE(CompareWithChip(b->link, loaded).empty());
    EXPECT_EQ(b->device.state.ChannelMode, ChannelFunction::ExternalTemp)
        << "the hook followed Configuration 1";
    EXPECT_EQ(b->device.state.IntMask1, 0x81);
}

TEST_F(ProfileTest, ABadFileIsRefusedNamingTheProblem) {
    auto a = bench("a.json");
    const std::string good = ProfileToJson(ReadProfile(a->link, table, "now"));
    const auto edited = [&](const char* pointer, nlohmann::json value) {
        auto j = nlohmann::ordered_json::parse(good);
        j[nlohmann::ordered_json::json_pointer(pointer)] = value;
        return j.dump();
    };
    const std::pair<std::string, std::string> cases[] = {
        {"hello", "not JSON (syntax error at byte 1)"},
        {good.substr(0, good.size() / 2), "the file ends too early"},
        {"", "the file is empty"},
        {edited("/format", "other"), "not a register profile"},
        {edited("/version", 2), "profile version 2 is not one this program reads"},
        {edited("/chip/deviceId", "51h"), "chip: \"deviceId\" must be a whole number"},
        {edited("/registers", nlohmann::json::object()), "holds no \"registers\""},
        {edited("/registers/25h/value", 300),
         "register 25h (Internal High Limit): value 300 is "
         "outside 0 to 255"},
        {edited("/registers/25h/value", "80"), "\"value\" must be a whole number"},
        {edited("/registers/5h", {{"value", 1}}), "register 5h is not a register of the chip"},
        {edited("/registers/7Fh", {{"value", 1}}), "7Fh (SPI Lock Status) is not a setting"},
        {edited("/registers/7h", {{"value", 1}}), "7h (Internal Temp MSBs) is not a setting"},
        {edited("/registers/0x25", {{"value", 1}}), "key \"0x25\" is not an address like 18h"},
        {edited("/registers/25H", {{"value", 1}}), "register 25h appears twice"},
        {edited("/registers/19h/value", 0x80), "sets RST, which would reset the chip"},
        {edited("/registers/18h/value", 0x0B), "selects no valid External Temp/Ain1-2 function"},
        {edited("/registers/18h/value", 0x04), "clears MON (bit 0)"},
        {R"({"format": 1e400})", "a number too large"},
        {std::string(100000, '[') + std::string(100000, ']'), "nested deeper than a profile"},
        {R"({"format": "x", "format": "quarnel-register-profile"})", "\"format\" appears twice"},
        {std::string(good).insert(good.find("\"registers\": {") + 14, R"("25h": {"value": 1},)"),
         "\"25h\" appears twice"},
    };
    const auto refusal = [&](const std::string& file) -> std::string {
        try {
            ReadProfileFile(file, table);
            return "accepted";
        } catch (const ProfileError& e) {
            return e.what();
        }
    };
    for (const auto& [text, message] : cases) {
        writeFile(path("bad.json"), text);
        EXPECT_THAT(refusal(path("bad.json")), HasSubstr(message));
    }
    EXPECT_THAT(refusal(path("missing")), HasSubstr("there is no such file"));
}

TEST_F(ProfileTest, SavingReplacesAPlantedLinkAndNeverWritesThroughIt) {
    auto a = bench("a.json");
    const Profile profile = ReadProfile(a->link, table, "now");
    writeFile(path("target"), "keep me");
    std::filesystem::create_symlink(path("target"), path("link.json"));
    ASSERT_EQ(WriteProfileFile(path("link.json"), profile), std::nullopt);
    EXPECT_EQ(readFile(path("target")), "keep me");
    EXPECT_TRUE(
        std::filesystem::is_regular_file(std::filesystem::symlink_status(path("link.json"))));
    std::filesystem::create_directory(dir / "folder.json");
    EXPECT_TRUE(WriteProfileFile(path("folder.json"), profile).has_value());
    EXPECT_TRUE(WriteProfileFile(path("no/such/dir.json"), profile).has_value());

    // Never over the program's own files, however named; a save cut short by a kill
    // leaves a temporary file the next save removes, unless a running save holds it.
    const std::vector<std::string> own = {path("a.json"), path("a.json.lock")};
    for (const auto& name : {path("a.json"), (dir / "." / "a.json.lock").string()})
        EXPECT_THAT(WriteProfileFile(name, profile, own).value_or(""), HasSubstr("for itself"));
    writeFile(path("p.json.tmp-Xk3a9Q"), "{\"format\"");
    writeFile(path("p.json.tmp-held00"), "{");
    const int held = ::open(path("p.json.tmp-held00").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ASSERT_EQ(WriteProfileFile(path("p.json"), profile, own), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(path("p.json.tmp-Xk3a9Q")));
    EXPECT_TRUE(std::filesystem::exists(path("p.json.tmp-held00")));
    ::close(held);
}

TEST_F(ProfileTest, OnlyAnotherKindOfChipIsAMismatch) {
    const ChipIdentity chip{0x48, 0x51, 0x41, 2};
    EXPECT_EQ(IdentityMismatch(chip, {0x4B, 0x51, 0x41, 3}), std::nullopt);
    EXPECT_EQ(IdentityMismatch(chip, {0x48, 0x52, 0x41, 2}),
              "the profile is from a chip with Device ID 52h, this chip's is 51h");
    EXPECT_NE(IdentityMismatch(chip, {0x48, 0x51, 0x40, 2}), std::nullopt);
}

}  // namespace
}  // namespace quarnel
