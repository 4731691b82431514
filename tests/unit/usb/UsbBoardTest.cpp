#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "UsbTestSupport.h"
#include "link/BoardLink.h"
#include "link/IntelHex.h"
#include "usb/UsbDevices.h"

namespace quarnel::usb::test {
namespace {

using Fault = EmulatedUsbBoard::Fault;

TEST_F(UsbTest, DownloadHoldsTheCpuWritesTheImageInChunksRunsItAndClaimsTheNewBoard) {
    plugIn();
    ASSERT_EQ(board->LoadFirmWare(image.c_str()), 0) << testing::PrintToString(diagnostics);
    const auto setups = emulated->setups();
    ASSERT_EQ(setups.size(), 5u);
    EXPECT_EQ(setups.front(), (SetupPacket{0x40, 0xA0, 0xE600, 0, 1, {0x01}}));
    EXPECT_EQ(setups.back(), (SetupPacket{0x40, 0xA0, 0xE600, 0, 1, {0x00}}));
    const std::vector<std::pair<int, int>> chunks = {{0x0000, 1023}, {0x03FF, 81}, {0x3000, 3}};
    for (size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(setups[i + 1].value, chunks[i].first);
        EXPECT_EQ(setups[i + 1].length, chunks[i].second);
    }
    std::map<uint32_t, uint8_t> expected;
    for (const auto& record : checkIntelHex(sim::test::readFile(image)).records)
        for (size_t i = 0; i < record.bytes.size(); ++i)
            expected[record.address + i] = record.bytes[i];
    EXPECT_EQ(emulated->ram(), expected);
    ASSERT_TRUE(board->location());
    EXPECT_EQ(board->location()->device, 8);  // re-enumerated with the second id
    EXPECT_TRUE(diagnostics.empty());
}

TEST_F(UsbTest, RunningFirmwareIsNotDownloadedAgain) {
    plugIn({.firmwareRunning = true});
    EXPECT_EQ(board->LoadFirmWare(image.c_str()), 0);
    EXPECT_TRUE(emulated->setups().empty());
    EXPECT_EQ(board->location()->device, 7);
}

TEST_F(UsbTest, EachRequestIsOneControlTransferWithTheDocumentedSetupPacket) {
    plugIn({.firmwareRunning = true});
    ASSERT_EQ(board->LoadFirmWare(image.c_str()), 0);
    BoardLink link(*board, clock, [](int code) { FAIL() << code; });
    const std::vector<std::pair<std::function<void()>, SetupPacket>> cases = {
        {[&] { EXPECT_EQ(link.ReadRegister(0x48, 0x4E), 0x41); },
         {0xC0, 0xDE, 0x0148, 0x004E, 1, {}}},
        {[&] { EXPECT_EQ(link.ReadRegister(0x4A, 0x4E), 0xFF); },
         {0xC0, 0xDE, 0x014A, 0x004E, 1, {}}},
        {[&] { link.WriteRegister(0x48, 0x26, 300); }, {0x40, 0xDE, 0x0148, 0xFF26, 0, {}}},
        {[&] { link.WriteRegister(0x48, 0x26, -55); }, {0x40, 0xDE, 0x0148, 0xC926, 0, {}}},
        {[&] { EXPECT_EQ(link.ReadPorts(), 0); }, {0xC0, 0xDD, 0x0000, 0x0000, 6, {}}},
        {[&] { EXPECT_EQ(link.WritePort(3, 0x04, 0x5A), 0); }, {0x40, 0xDD, 0x0003, 0x5A04, 0, {}}},
        {[&] { link.ReadAuxiliaryByte(); }, {0xC0, 0xDA, 0x0000, 0x0000, 1, {}}},
        {[&] { EXPECT_EQ(board->VendorIORequest(218, 0x12345, -2, 1, 0, nullptr), 0); },
         {0xC0, 0xDA, 0x2345, 0xFFFE, 0, {}}},
    };
    for (const auto& [run, expected] : cases) {
        const size_t before = emulated->setups().size();
        run();
        const auto setups = emulated->setups();
        ASSERT_EQ(setups.size(), before + 1);
        EXPECT_EQ(setups.back(), expected);
    }
    EXPECT_EQ(simulated->peekRegister(0x26), 0xC9);
    EXPECT_EQ(link.LinkBuffer[0], sim::kAuxiliaryByte);
    EXPECT_TRUE(diagnostics.empty());
}

// Root opens a device node whatever its mode, so the permission case runs as another user.
struct AsUnprivilegedUser {
    AsUnprivilegedUser() { EXPECT_TRUE(geteuid() != 0 || seteuid(65534) == 0); }
    ~AsUnprivilegedUser() { EXPECT_TRUE(getuid() != 0 || seteuid(0) == 0); }
};

TEST_F(UsbTest, LoadFailuresHaveTheirOwnStatusAndOneDiagnostic) {
    struct Case {
        EmulatedUsbBoard::Options board;
        bool badImage;
        int16_t status;
        std::string diagnostic;
    };
    const std::vector<Case> cases = {
        {{.plugged = false}, false, kNoBoard, "no USB board 1209:0001 or 1209:0002 found"},
        {{.denyOpen = true},
         false,
         kNoPermission,
         "no permission to open /dev/bus/usb/001/007: install the udev rule (quarnelctl usb "
         "udev-rule) and re-plug the board"},
        {{.busy = true}, false, kBoardInUse, "/dev/bus/usb/001/007 is in use by another program"},
        {{.comesBack = false},
         false,
         kReenumerationTimeout,
         "did not come back as 1209:0002 within 5 s"},
        {{}, true, kFirmwareInvalid, "is not a valid Intel HEX image: line 1: checksum mismatch"},
    };
    std::filesystem::permissions(dir, std::filesystem::perms(0755));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.diagnostic);
        plugIn(c.board);
        diagnostics.clear();
        if (c.badImage) sim::test::writeFile(image, ":0100000041BF\n:00000001FF\n");
        int16_t status = 0;
        if (c.board.denyOpen) {
            AsUnprivilegedUser user;
            status = board->LoadFirmWare(image.c_str());
        } else {
            status = board->LoadFirmWare(image.c_str());
        }
        EXPECT_EQ(status, c.status);
        ASSERT_EQ(diagnostics.size(), 1u);
        EXPECT_NE(diagnostics[0].find(c.diagnostic), std::string::npos) << diagnostics[0];
        EXPECT_FALSE(board->location());
        if (c.badImage) {
            EXPECT_TRUE(emulated->setups().empty());
        }
        board.reset();
    }
    EXPECT_GE(usbClock.monotonic(), 5.0);
}

TEST_F(UsbTest, RequestFailuresHaveTheirOwnStatusAndOneDiagnostic) {
    const std::vector<std::tuple<Fault, int16_t, std::string>> cases = {
        {Fault::kStall, kTransferStalled,
         "the board stalled request 222 (value 0x0148, index 0x004E)"},
        {Fault::kTimeout, kTransferTimedOut, "did not answer request 222"},
        {Fault::kUnplug, kBoardGone, "the board on /dev/bus/usb/001/007 is gone"},
    };
    plugIn({.firmwareRunning = true});
    ASSERT_EQ(board->LoadFirmWare(image.c_str()), 0);
    uint8_t byte = 0;
    for (const auto& [fault, status, diagnostic] : cases) {
        diagnostics.clear();
        emulated->failNext(fault);
        EXPECT_EQ(board->VendorIORequest(222, 0x148, 0x4E, 1, 1, &byte), status);
        ASSERT_EQ(diagnostics.size(), 1u);
        EXPECT_NE(diagnostics[0].find(diagnostic), std::string::npos) << diagnostics[0];
    }
    EXPECT_EQ(board->VendorIORequest(222, 0x148, 0x4E, 1, 1, &byte), kBoardGone);
    const size_t sent = emulated->setups().size();
    for (auto [request, direction, length] : {std::tuple{256, 1, 1}, {222, 2, 1}, {222, 1, -1}})
        EXPECT_EQ(board->VendorIORequest(int16_t(request), 0, 0, int16_t(direction),
                                         int16_t(length), &byte),
                  kBadRequest);
    EXPECT_EQ(board->VendorIORequest(222, 0, 0, 1, 1, nullptr), kBadRequest);
    EXPECT_EQ(emulated->setups().size(), sent);
}

TEST_F(UsbTest, ListsTheBoardAndWritesItsUdevRule) {
    plugIn();
    std::string error;
    const auto devices = listUsbDevices(error);
    ASSERT_EQ(devices.size(), 1u) << error;
    EXPECT_EQ(describe(devices[0]),
              "Bus 001 Device 007: ID 1209:0001 Quarnel test Emulated evaluation board");
    const std::string rule = udevRule(parseUsbIds("1209:1/1209:0002"));
    const std::string shipped =
        sim::test::readFile(QUARNEL_SOURCE_DIR "/resources/udev/" + std::string(kUdevRuleFileName));
    for (const char* product : {"0001", "0002"}) {
        const std::string line = "ATTR{idVendor}==\"1209\", ATTR{idProduct}==\"" +
                                 std::string(product) + "\", TAG+=\"uaccess\"\n";
        EXPECT_NE(rule.find(line), std::string::npos) << rule;
        EXPECT_NE(shipped.find(line), std::string::npos) << shipped;
    }
    EXPECT_THROW(parseUsbIds("1209:00001"), UsbIdError);
    EXPECT_THROW(parseUsbIds("1209/0001"), UsbIdError);
}

}  // namespace
}  // namespace quarnel::usb::test
