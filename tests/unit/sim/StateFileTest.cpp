// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "SimTestSupport.h"

namespace quarnel::sim::test {
namespace {

using StateFileTest = SimTest;

bool mentions(const std::vector<std::string>& warnings, const std::string& text) {
    for (const auto& w : warnings)
        if (w.find(text) != std::string::npos) return true;
    return false;
}

std::set<std::string> namesIn(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

TEST_F(StateFileTest, RegistersPortsAndLockOutliveTheBoardObjectButLatchesDoNot) {
    writeFile(statePath() + ".tmp-a1B2c3", "left by a save that was killed");
    {
        auto board = makeBoard();
        board->setInputs([](double) { return fixedInputs(); });
        writeReg(*board, 0x25, 20);  // internal high limit below the die
        writeReg(*board, 0x18, 0x09);
        clock.advance(1);
        board->interruptPinActive();
        EXPECT_NE(board->peekRegister(0x00), 0);
        writePort(*board, 2, 0x03, 0x7E);
        writePort(*board, 3, 0x04);
        readReg(*board, 0x4E, 0x48, 2);  // locks SPI
    }
    auto board = makeBoard();
    EXPECT_EQ(board->peekRegister(0x25), 20);
    EXPECT_EQ(board->peekRegister(0x18), 0x09);
    EXPECT_EQ(board->peekRegister(0x00), 0);
    EXPECT_EQ(board->portImage(), (PortImage{0, 0, 0x03, 0x7E, 0x04, 0}));
    EXPECT_TRUE(board->spiLocked());
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(namesIn(dir), (std::set<std::string>{"board.json", "board.json.lock"}));
}

TEST_F(StateFileTest, RewrittenAfterChangingRequestsOnly) {
    auto board = makeBoard();
    writeReg(*board, 0x25, 0x50);
    ASSERT_TRUE(std::filesystem::exists(statePath()));
    std::filesystem::remove(statePath());
    readReg(*board, 0x25);
    writeReg(*board, 0x25, 0x50);  // same value: nothing changed
    uint8_t image[6];
    board->VendorIORequest(221, 0, 0, 1, 6, image);
    EXPECT_FALSE(std::filesystem::exists(statePath()));
    writePort(*board, 2, 0x01);
    ASSERT_TRUE(std::filesystem::exists(statePath()));
    const auto j = nlohmann::json::parse(readFile(statePath()));
    EXPECT_EQ(j["registers"][0x25], 0x50);
    EXPECT_EQ(j["ports"][2], 0x01);
    EXPECT_EQ(j["spiLock"], false);
}

TEST_F(StateFileTest, AFileHoldingNoStateIsKeptAsideAndTheBoardStartsFresh) {
    const std::string sound = stateToJson(powerOnState());
    const struct {
        std::string text;
        bool ours;
    } cases[] = {{"my notes\n", false},
                 {std::string("\x00\xFF garbage", 10), false},
                 {sound.substr(0, 60), true},
                 {sound.substr(0, sound.size() - 2) + "x}", true},
                 {sound + std::string(kMaxStateFileBytes, ' '), true}};  // too long to read
    for (const auto& c : cases) {
        writeFile(statePath(), c.text);
        warnings.clear();
        auto board = makeBoard();
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_TRUE(mentions(warnings, c.ours ? " is damaged (" : " is not a simulated board's"))
            << warnings[0];
        EXPECT_EQ(board->peekRegister(0x18), 0x08);
        writeReg(*board, 0x25, 0x33);  // the next change leaves a sound file
        std::string error;
        EXPECT_TRUE(stateFromJson(readFile(statePath()), error).has_value()) << error;
        int kept = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            if (!std::regex_match(name, std::regex(R"(board\.json\.damaged-\d{8}-\d{6})")))
                continue;
            EXPECT_EQ(readFile(entry.path()), c.text);
            std::filesystem::remove(entry.path());
            ++kept;
        }
        EXPECT_EQ(kept, 1);
    }
}

TEST_F(StateFileTest, APathHoldingNoFileIsRefusedAndLeftAlone) {
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder");
    for (const char* name : {"fifo", "folder"}) {
        const std::string path = (dir / name).string();
        const auto type = std::filesystem::status(path).type();
        EXPECT_TRUE(checkStatePath(path).has_value()) << name;
        auto o = options();
        o.statePath = path;
        auto board = makeBoard(o);
        writeReg(*board, 0x25, 0x33);
        board.reset();
        EXPECT_TRUE(SimulatedBoard::powerCycle(path, o.warn).has_value());
        EXPECT_EQ(std::filesystem::status(path).type(), type) << name;
    }
    EXPECT_EQ(checkStatePath(statePath()), std::nullopt) << "a missing file is made";
}

TEST_F(StateFileTest, NothingPlantedBesideTheStateFileIsWrittenThrough) {
    std::filesystem::create_symlink(dir / "victim1", statePath() + ".tmp");
    std::filesystem::create_symlink(dir / "victim2", statePath() + ".lock");
    writeReg(*makeBoard(), 0x25, 0x33);
    EXPECT_EQ(loadStateFile(statePath()).state.registers[0x25], 0x33);
    EXPECT_EQ(namesIn(dir),
              (std::set<std::string>{"board.json", "board.json.tmp", "board.json.lock"}));
}

TEST_F(StateFileTest, OutOfRangeValuesAreDamageNotData) {
    auto state = powerOnState();
    auto j = nlohmann::json::parse(stateToJson(state));
    j["ports"][3] = 256;
    std::string error;
    EXPECT_FALSE(stateFromJson(j.dump(), error).has_value());
    EXPECT_NE(error.find("ports"), std::string::npos);
    j = nlohmann::json::parse(stateToJson(state));
    j["spiLock"] = 1;
    EXPECT_FALSE(stateFromJson(j.dump(), error).has_value());
    j = nlohmann::json::parse(stateToJson(state));
    j["registers"][0x4E] = 0x00;  // the ID comes from the chip, not the file
    writeFile(statePath(), j.dump());
    auto board = makeBoard();
    EXPECT_EQ(board->peekRegister(0x4E), 0x41);
}

TEST_F(StateFileTest, UnwritableStateFileWarnsAndTheBoardStillWorks) {
    writeFile(dir / "blocker", "a file where a folder should be");
    auto o = options();
    o.statePath = (dir / "blocker" / "board.json").string();
    auto board = makeBoard(o);
    EXPECT_FALSE(warnings.empty());
    warnings.clear();
    EXPECT_EQ(writeReg(*board, 0x25, 0x44), 0);
    EXPECT_EQ(writeReg(*board, 0x26, 0x45), 0);
    EXPECT_EQ(readReg(*board, 0x25), 0x44);
    EXPECT_EQ(warnings.size(), 1u);  // once, not once per request
    EXPECT_TRUE(mentions(warnings, "not kept"));
}

TEST_F(StateFileTest, OneProgramHoldsTheBoardAtATime) {
    auto first = makeBoard();
    SimulatedBoard second(options(), clock);
    EXPECT_EQ(second.LoadFirmWare(shippedFirmware().c_str()), kBoardInUse);
    EXPECT_TRUE(mentions(warnings, "in use by another program"));
    uint8_t byte = 0;
    EXPECT_NE(second.VendorIORequest(222, 0x148, 0x4E, 1, 1, &byte), 0);
    EXPECT_TRUE(SimulatedBoard::powerCycle(statePath()).has_value());

    writeReg(*first, 0x25, 0x12);
    first.reset();  // the first program ends
    EXPECT_EQ(second.LoadFirmWare(shippedFirmware().c_str()), 0);
    EXPECT_EQ(second.peekRegister(0x25), 0x12);  // and the second sees its board
}

TEST_F(StateFileTest, AnotherProcessCannotHoldTheBoard) {
    auto board = makeBoard();
    const std::string path = statePath();
    const std::string firmware = shippedFirmware();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ManualClock childClock;
        SimOptions o;
        o.statePath = path;
        o.warn = [](const std::string&) {};
        SimulatedBoard other(o, childClock);
        _exit(other.LoadFirmWare(firmware.c_str()) == kBoardInUse ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(StateFileTest, PowerCycleResetsTheStateFile) {
    {
        auto board = makeBoard();
        writeReg(*board, 0x25, 0x12);
        writePort(*board, 3, 0x04);
        readReg(*board, 0x00, 0x48, 2);
        EXPECT_TRUE(board->spiLocked());
    }
    EXPECT_EQ(SimulatedBoard::powerCycle(statePath()), std::nullopt);
    auto board = makeBoard();
    EXPECT_EQ(board->peekRegister(0x25), 0x64);
    EXPECT_EQ(board->portImage(), powerOnPorts());
    EXPECT_FALSE(board->spiLocked());
    EXPECT_EQ(readReg(*board, 0x4E), 0x41);
}

}  // namespace
}  // namespace quarnel::sim::test
