#include <unistd.h>

#include <functional>
#include <memory>

#include "link/BoardLink.h"
#include "link/IntelHex.h"
#include "monitor/MasterPoll.h"
#include "monitor/Startup.h"
#include "support/EmulatedUsbBoard.h"
#include "unit/sim/SimTestSupport.h"

namespace quarnel::usb::test {
namespace {

using quarnel::test::EmulatedUsbBoard;
using quarnel::test::SetupPacket;
using Fault = EmulatedUsbBoard::Fault;

// 1104 bytes from 0000h in 16-byte records, and 3 bytes at 3000h.
const std::string kImage = QUARNEL_SOURCE_DIR "/tests/unit/usb/image.hex";

// A USB board on an emulated board with the simulated board behind it.
class UsbTest : public sim::test::SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        auto o = options();
        o.requireFirmware = false;  // the emulated board runs no firmware until downloaded
        simulated = std::make_unique<sim::SimulatedBoard>(o, clock);
    }
    void TearDown() override {
        board.reset();  // lets go of the board while the emulated one still answers
        emulated.reset();
        simulated.reset();
        SimTest::TearDown();
    }
    void plugIn(EmulatedUsbBoard::Options o = {}) {
        board.reset();  // one testbed at a time
        emulated.reset();
        emulated = std::make_unique<EmulatedUsbBoard>(*simulated, o);
        board = std::make_unique<UsbBoard>(
            UsbOptions{o.ids, EmulatedUsbBoard::kCpucs, 5.0, 50,
                       [this](const std::string& line) { diagnostics.push_back(line); }},
            usbClock);
    }

    std::unique_ptr<sim::SimulatedBoard> simulated;
    std::unique_ptr<EmulatedUsbBoard> emulated;
    std::unique_ptr<UsbBoard> board;
    ManualClock usbClock;  // the re-enumeration wait
    std::vector<std::string> diagnostics;
};

TEST_F(UsbTest, DownloadHoldsTheCpuWritesTheImageInChunksRunsItAndClaimsTheNewBoard) {
    plugIn();
    ASSERT_EQ(board->LoadFirmWare(kImage.c_str()), 0) << testing::PrintToString(diagnostics);
    const auto setups = emulated->setups();
    ASSERT_EQ(setups.size(), 5u);
    EXPECT_EQ(setups.front(), (SetupPacket{0x40, 0xA0, 0xE600, 0, 1, {0x01}}));
    EXPECT_EQ(setups.back(), (SetupPacket{0x40, 0xA0, 0xE600, 0, 1, {0x00}}));
    for (auto [i, address, length] : {std::tuple{1, 0x0000, 1023}, {2, 0x03FF, 81}, {3, 0x3000, 3}})
        EXPECT_TRUE(setups[i].value == address && setups[i].length == length) << i;
    std::map<uint32_t, uint8_t> image;
    for (const HexRecord& r : checkIntelHex(sim::test::readFile(kImage)).records)
        for (size_t i = 0; i < r.bytes.size(); ++i) image[r.address + i] = r.bytes[i];
    EXPECT_EQ(emulated->ram(), image);
    EXPECT_EQ(board->location()->device, 8);  // re-enumerated with the second id
    // Only the second id is present now: the firmware runs and is not sent again.
    ASSERT_EQ(board->LoadFirmWare(kImage.c_str()), 0);
    EXPECT_EQ(emulated->setups().size(), 5u);
    EXPECT_EQ(board->location()->device, 8);
    EXPECT_TRUE(diagnostics.empty());
}

TEST_F(UsbTest, EachRequestIsOneControlTransferWithTheDocumentedSetupPacket) {
    plugIn({.firmwareRunning = true});
    ASSERT_EQ(board->LoadFirmWare(kImage.c_str()), 0);
    BoardLink link(*board, clock, [](int code) { FAIL() << code; });
    const std::vector<std::pair<std::function<void()>, SetupPacket>> cases = {
        {[&] { EXPECT_EQ(link.ReadRegister(0x48, 0x4E), 0x41); }, {0xC0, 0xDE, 0x0148, 0x004E, 1}},
        {[&] { EXPECT_EQ(link.ReadRegister(0x4A, 0x4E), 0xFF); }, {0xC0, 0xDE, 0x014A, 0x004E, 1}},
        {[&] { link.WriteRegister(0x48, 0x26, 300); }, {0x40, 0xDE, 0x0148, 0xFF26, 0}},
        {[&] { link.WriteRegister(0x48, 0x26, -55); }, {0x40, 0xDE, 0x0148, 0xC926, 0}},
        {[&] { EXPECT_EQ(link.ReadPorts(), 0); }, {0xC0, 0xDD, 0x0000, 0x0000, 6}},
        {[&] { EXPECT_EQ(link.WritePort(3, 0x04, 0x5A), 0); }, {0x40, 0xDD, 0x0003, 0x5A04, 0}},
        {[&] { link.ReadAuxiliaryByte(); }, {0xC0, 0xDA, 0x0000, 0x0000, 1}},
        {[&] { EXPECT_EQ(board->VendorIORequest(218, 0x12345, -2, 1, 0, nullptr), 0); },
         {0xC0, 0xDA, 0x2345, 0xFFFE, 0}},
    };
    for (const auto& [run, expected] : cases) {
        const size_t before = emulated->setups().size();
        run();
        ASSERT_EQ(emulated->setups().size(), before + 1);
        EXPECT_EQ(emulated->setups().back(), expected);
    }
    EXPECT_EQ(simulated->peekRegister(0x26), 0xC9);
    EXPECT_EQ(link.LinkBuffer[0], sim::kAuxiliaryByte);
    EXPECT_TRUE(diagnostics.empty());
}

TEST_F(UsbTest, EachFailureHasItsStatusAndOneDiagnostic) {
    using O = EmulatedUsbBoard::Options;
    const O running{.firmwareRunning = true};
    // The faults strike a register read once the board runs.
    const std::vector<std::tuple<O, Fault, int16_t, std::string>> cases = {
        {{.plugged = false}, Fault::kNone, kNoBoard, "no USB board 1209:0001 or 1209:0002 found"},
        {{.denyOpen = true},
         Fault::kNone,
         kNoPermission,
         "no permission to open /dev/bus/usb/001/007: install the udev rule (quarnelctl usb "
         "udev-rule) and re-plug the board"},
        {{.busy = true}, Fault::kNone, kBoardInUse, "/dev/bus/usb/001/007 is in use by another"},
        {{.comesBack = false}, Fault::kNone, kReenumerationTimeout, "back as 1209:0002 within 5 s"},
        {{}, Fault::kNone, kFirmwareInvalid, "not a valid Intel HEX image: line 1: checksum"},
        {running, Fault::kStall, kTransferStalled, "stalled request 222 (value 0x0148, index"},
        {running, Fault::kTimeout, kTransferTimedOut, "index 0x004E) within 50 ms"},
        {running, Fault::kUnplug, kBoardGone, "the board on /dev/bus/usb/001/007 is gone"},
    };
    const std::string badImage = (dir / "bad.hex").string();
    sim::test::writeFile(badImage, ":0100000041BF\n:00000001FF\n");
    for (const auto& [emulation, fault, expected, diagnostic] : cases) {
        SCOPED_TRACE(diagnostic);
        plugIn(emulation);
        diagnostics.clear();
        const bool invalid = expected == kFirmwareInvalid;
        // Root opens a device node whatever its mode, so this case runs as another user.
        const bool switchUser = emulation.denyOpen && geteuid() == 0;
        ASSERT_TRUE(!switchUser || seteuid(65534) == 0);
        int16_t status = board->LoadFirmWare((invalid ? badImage : kImage).c_str());
        ASSERT_TRUE(!switchUser || seteuid(0) == 0);
        uint8_t byte = 0;
        if (fault != Fault::kNone) {
            ASSERT_EQ(status, 0);
            emulated->failNext(fault);
            status = board->VendorIORequest(222, 0x148, 0x4E, 1, 1, &byte);
        }
        EXPECT_EQ(status, expected);
        ASSERT_EQ(diagnostics.size(), 1u);
        EXPECT_NE(diagnostics[0].find(diagnostic), std::string::npos) << diagnostics[0];
        EXPECT_EQ(board->location().has_value(), fault != Fault::kNone);
        EXPECT_TRUE(!invalid || emulated->setups().empty()) << "nothing sent";
    }
    EXPECT_GE(usbClock.monotonic(), 5.0);
    // Out-of-range arguments are refused before anything is sent.
    const size_t sent = emulated->setups().size();
    uint8_t byte = 0;
    EXPECT_EQ(board->VendorIORequest(256, 0, 0, 1, 1, &byte), kBadRequest);
    EXPECT_EQ(board->VendorIORequest(222, 0, 0, 2, 1, &byte), kBadRequest);
    EXPECT_EQ(board->VendorIORequest(222, 0, 0, 1, -1, &byte), kBadRequest);
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

class QuietNotifier final : public Notifier {
  public:
    void message(const std::string&, Icon) override {}
};

TEST_F(UsbTest, StartsUpAndPollsWithTwoTransfersPerTickUntilUnplugged) {
    plugIn();
    QuietNotifier notifier;
    std::vector<int> failures;
    Session session(*board, clock, notifier, [&](int code) { failures.push_back(code); });
    SilentProgress progress;
    RunConnectionSequence(session, progress, QUARNEL_SOURCE_DIR "/resources", true);
    EXPECT_EQ(session.link.DeviceAddress, 0x48);
    EXPECT_TRUE(emulated->firmwareRunning());
    MasterPoll poll(session);
    clock.advance(1.0);  // the chip converts in the meantime
    for (int tick = 0; tick < kPollStates; ++tick) {
        const size_t before = emulated->setups().size();
        clock.advance(0.01);
        poll.Tick(nullptr);
        EXPECT_EQ(emulated->setups().size(), before + 2);
    }
    EXPECT_NEAR(session.readings.Vdd, 3.3, 0.1);
    EXPECT_GT(session.readings.InternalTemp, 10.0f);
    EXPECT_TRUE(failures.empty());
    emulated->failNext(Fault::kUnplug);
    EXPECT_THROW(poll.Tick(nullptr), LinkFailure);
    EXPECT_EQ(failures, std::vector<int>{kCommsInterrupted});
}

}  // namespace
}  // namespace quarnel::usb::test
