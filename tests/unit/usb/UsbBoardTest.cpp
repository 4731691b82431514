// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "link/BoardLink.h"
#include "link/IntelHex.h"
#include "support/EmulatedUsbBoard.h"
#include "unit/sim/SimTestSupport.h"
#include "usb/UsbCheck.h"

namespace quarnel::usb::test {
namespace {

using quarnel::test::EmulatedUsbBoard;
using quarnel::test::SetupPacket;
using Fault = EmulatedUsbBoard::Fault;
using sim::test::readFile;
namespace fs = std::filesystem;

// 1104 bytes from 0000h in 16-byte records, and 3 bytes at 3000h.
const std::string kImage = QUARNEL_SOURCE_DIR "/tests/unit/usb/image.hex";
const std::string kShipped = QUARNEL_SOURCE_DIR "/resources/QUARNELFW.Hex";

// A USB board on an emulated board with the simulated board behind it.
class UsbTest : public sim::test::SimTest {
  protected:
    void SetUp() override {
        auto o = options();
        o.requireFirmware = false;  // the emulated board runs no firmware until downloaded
        simulated = std::make_unique<sim::SimulatedBoard>(o, clock);
    }
    void TearDown() override {
        board.reset();  // lets go of the board while the emulated one still answers
        emulated.reset();
    }
    // A board that comes back late or leaves late is waited for on the real clock.
    void plugIn(EmulatedUsbBoard::Options o = {}, UsbOptions u = {.reenumerationSeconds = 1}) {
        board.reset();  // one testbed at a time
        emulated.reset();
        emulated = std::make_unique<EmulatedUsbBoard>(*simulated, o);
        if (u.ids.before.vendor == 0)
            u.ids = o.ids.before.vendor == 0x1209 ? o.ids : UsbIds{{0x1209, 1}, {0x1209, 2}};
        u.transferTimeoutMs = 1000;  // the emulation answers from a thread that may be busy
        u.diagnostic = [this](const std::string& line) { diagnostics.push_back(line); };
        const bool late = o.returnSeconds > 0 || o.lingerSeconds > 0;
        board = std::make_unique<UsbBoard>(u, late ? static_cast<Clock&>(realClock) : usbClock);
    }

    std::unique_ptr<sim::SimulatedBoard> simulated;
    std::unique_ptr<EmulatedUsbBoard> emulated;
    std::unique_ptr<UsbBoard> board;
    ManualClock usbClock;  // the re-enumeration wait
    SystemClock realClock;
    std::vector<std::string> diagnostics;
};

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

// What LoadFirmWare meets on the bus, and what the board's requests meet once it runs:
// each failure keeps one line for its caller, and only a long wait or a board that
// moved is told at once.
TEST_F(UsbTest, EachOutcomeHasItsStatusAndEachFailureOneDiagnostic) {
    using O = EmulatedUsbBoard::Options;
    struct Case {
        O emulation;
        int16_t expected;
        std::string text;        // in the diagnostic; on success where the board is
        std::string image = {};  // its text; empty: the test image
        Fault fault = Fault::kNone;
        UsbOptions usb = {.reenumerationSeconds = 1};
        std::string told = {};  // what was told at once
    };
    const UsbOptions wait10{.reenumerationSeconds = 10};
    const std::string moved = "the board came back on port ";
    const O running{.firmwareRunning = true};
    const std::string denied =
        "no permission to open /dev/bus/usb/001/007: install the udev rule (quarnelctl usb "
        "udev-rule) and re-plug the board; its uaccess tag serves only the user at the local seat";
    const UsbIds same{{0x1209, 3}, {0x1209, 3}};
    const std::vector<std::pair<UsbId, std::string>> second = {{{0x1209, 2}, "1-2"}};
    const UsbOptions brief{.reenumerationSeconds = 0.3};
    const O returnsAs5{.ids = {{0x1209, 1}, {0x1209, 5}}};
    const UsbOptions askFor2{.ids = {{0x1209, 1}, {0x1209, 2}}, .reenumerationSeconds = 1};
    const std::vector<Case> cases = {
        {{}, 0, "1/8"},
        {{.releaseError = 0}, 0, "1/8"},
        {{.releaseError = EPROTO}, 0, "1/8"},
        {{.kernelDriver = "qtestdrv"}, 0, "1/8"},
        {{.returnPort = "2-1"}, 0, "2/8", {}, {}, {.reenumerationSeconds = 1}, moved + "2-1, not"},
        {{.returnSeconds = 0.3, .strayPort = "1-4"}, 0, "1/8", {}, {}, wait10},
        {{.uevents = false}, 0, "1/8"},
        {{.ids = same, .firmwareRunning = true}, 0, "1/7"},
        {{.others = second}, 0, "1/8", {}, {}, {.port = "1-1"}},
        {{.ids = same, .returnPort = "1-3", .lingerSeconds = 0.3},
         0,
         "1/8",
         {},
         {},
         {.reenumerationSeconds = 1},
         moved},
        {{.returnSeconds = 2.5}, 0, "1/8", {}, {}, wait10, "waiting up to 10 s for the board"},
        {{.returnSeconds = 1.5}, kReenumerationTimeout, "within 0.3 s", {}, {}, brief},
        {returnsAs5, kReenumerationTimeout, "1209:0005 on port 1-1", {}, {}, askFor2},
        {{.returnPort = "2-1"},
         kReenumerationTimeout,
         "port 1-1 that --usb-port names, but 1209:0002 on port 2-1 (bus 002 device 008) appeared",
         {},
         {},
         {.port = "1-1", .reenumerationSeconds = 1}},
        {{.ids = {{1, 1}, {1, 2}}}, kNoBoard, "no USB board 1209:0001 or 1209:0002 found"},
        {{.others = second},
         kSeveralBoards,
         "found: 1209:0001 on port 1-1 (bus 001 device 007), 1209:0002 on port 1-2 (bus 001 "
         "device 020); choose one with --usb-port"},
        {{.denyOpen = true}, kNoPermission, denied},
        {{.busy = true}, kBoardInUse, "/dev/bus/usb/001/007 is in use by another"},
        {{.kernelDriver = "qtestdrv", .driverStays = true}, kBoardInUse, "driver qtestdrv holds"},
        {{.unconfigured = true}, kUsbError, "lack of power; plug it into a powered hub"},
        {{.comesBack = false},
         kReenumerationTimeout,
         "back as 1209:0002 on port 1-1 within 1 s of its firmware download (appeared meanwhile: "
         "none): check "
         "the ids given to --usb, the firmware image and --usb-cpucs (E600h)"},
        {{.comesBack = false, .lingerSeconds = 60},
         kReenumerationTimeout,
         "still on",
         {},
         {},
         brief},
        {{.releaseError = EPIPE}, kTransferStalled, "that lets the CPU run: check --usb-cpucs"},
        {{}, kFirmwareInvalid, "not a valid Intel HEX image: line 1: checksum", ":0100000041BF\n"},
        {{}, kFirmwareInvalid, "beyond the 64 KiB", ":020000040001F9\n:0100000041BE\n"},
        {{}, kFirmwareInvalid, "at 4000h outside the board's RAM", ":01400000417E\n"},
        {{}, kFirmwareInvalid, "at E5FFh that covers the CPU control", ":02E5FF00414297\n"},
        {{}, kFirmwareInvalid, "QUARNELFW.Hex is the simulated board's placeholder", kShipped},
        {running, kTransferStalled, "stalled request 222 (value 0x0148, index", {}, Fault::kStall},
        {running, kTransferTimedOut, "index 0x004E) within 1000 ms", {}, Fault::kTimeout},
        {running, kBoardGone, "the board on /dev/bus/usb/001/007 is gone", {}, Fault::kUnplug},
        {running, kBoardGone, "the board on /dev/bus/usb/001/007 is gone", {}, Fault::kUnplugIo},
        {running, kUsbError, "failed: Input/Output Error", {}, Fault::kIoError},
        {running, kShortTransfer, "moved 0 of 1 bytes of request 222", {}, Fault::kShort},
    };
    // The no-permission case reads the image as another user (still in root's group):
    // a copy it can reach wherever the checkout lies.
    const std::string readable = (dir / "readable.hex").string();
    fs::copy_file(kImage, readable);
    const auto add = fs::perm_options::add;
    fs::permissions(dir, fs::perms::group_exec | fs::perms::others_exec, add);
    fs::permissions(readable, fs::perms::group_read | fs::perms::others_read, add);
    uint8_t byte = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        plugIn(c.emulation, c.usb);
        diagnostics.clear();
        std::string image = c.image.empty() ? readable : (dir / "image.hex").string();
        if (c.image == kShipped)
            image = kShipped;
        else if (!c.image.empty())
            sim::test::writeFile(image, c.image + ":00000001FF\n");
        // Root opens a device node whatever its mode, so this case runs as another user.
        const bool switchUser = c.emulation.denyOpen && geteuid() == 0;
        ASSERT_TRUE(!switchUser || seteuid(65534) == 0);
        int16_t status = board->LoadFirmWare(image.c_str());
        ASSERT_TRUE(!switchUser || seteuid(0) == 0);
        if (c.fault != Fault::kNone) {
            ASSERT_EQ(status, 0);
            emulated->failNext(c.fault, 0, 2);  // the transfer and its one retry
            status = board->VendorIORequest(222, 0x148, 0x4E, 1, 1, &byte);
        }
        const std::string failure = board->takeFailure();
        EXPECT_EQ(status, c.expected) << failure;
        EXPECT_EQ(diagnostics.size(), c.told.empty() ? 0u : 1u);
        EXPECT_TRUE(diagnostics.empty() || diagnostics[0].starts_with(c.told)) << diagnostics[0];
        const auto at = board->location();
        if (c.expected == 0) {
            ASSERT_TRUE(at.has_value());
            EXPECT_EQ(std::to_string(at->bus) + "/" + std::to_string(at->device), c.text);
            EXPECT_EQ(failure, "");
            EXPECT_EQ(board->VendorIORequest(222, 0x148, 0x4E, 1, 1, &byte), 0);
            continue;
        }
        EXPECT_NE(failure.find(c.text), std::string::npos) << failure;
        EXPECT_EQ(at.has_value(), c.fault != Fault::kNone);
        EXPECT_TRUE(c.image.empty() || emulated->setups().empty()) << "nothing sent";
    }
    // One failed transfer of a board still on the bus is tried once more, silently.
    for (const Fault once : {Fault::kStall, Fault::kIoError}) {
        plugIn(running);
        ASSERT_EQ(board->LoadFirmWare(readable.c_str()), 0);
        diagnostics.clear();
        const size_t before = emulated->setups().size();
        emulated->failNext(once);
        EXPECT_EQ(board->VendorIORequest(222, 0x148, 0x4E, 1, 1, &byte), 0);
        EXPECT_EQ(emulated->setups().size(), before + 2);
        EXPECT_TRUE(diagnostics.empty());
        EXPECT_EQ(board->takeFailure(), "");
    }
    emulated->failNext(Fault::kStall, 0, 2);  // after the board answered it: not the image
    EXPECT_EQ(board->VendorIORequest(222, 0x148, 0x4E, 1, 1, &byte), kTransferStalled);
    EXPECT_NE(board->takeFailure().find(", which it had answered before: the chip or the board"),
              std::string::npos);
    // One id for both: firmware that runs answers the probe and keeps running, unless
    // a download is asked for.
    for (const bool reload : {false, true}) {
        plugIn({.ids = same, .firmwareRunning = true}, {.reload = reload});
        ASSERT_EQ(board->LoadFirmWare(readable.c_str()), 0);
        const auto sent = emulated->setups();
        EXPECT_EQ(
            std::count_if(sent.begin(), sent.end(), [](auto& s) { return s.request == 0xA0; }),
            reload ? 5 : 0);
    }
    // A stop request ends the wait at once, without a word.
    plugIn({.comesBack = false});
    int asked = 0;
    board->waitWith(usbClock, [&] { return ++asked > 2; });
    const double start = usbClock.monotonic();
    diagnostics.clear();
    EXPECT_EQ(board->LoadFirmWare(kImage.c_str()), kWaitCancelled);
    EXPECT_LT(usbClock.monotonic() - start, 1.0);
    EXPECT_TRUE(diagnostics.empty());
    // Nothing is sent without a board open, nor with arguments out of range.
    EXPECT_EQ(board->VendorIORequest(222, 0, 0, 1, 1, &byte), kNotOpen);
    const size_t sent = emulated->setups().size();
    EXPECT_EQ(board->VendorIORequest(256, 0, 0, 1, 1, &byte), kBadRequest);
    EXPECT_EQ(board->VendorIORequest(222, 0, 0, 2, 1, &byte), kBadRequest);
    EXPECT_EQ(board->VendorIORequest(222, 0, 0, 1, -1, &byte), kBadRequest);
    EXPECT_EQ(board->VendorIORequest(222, 0, 0, 1, 1, nullptr), kBadRequest);
    EXPECT_EQ(emulated->setups().size(), sent);
}

// usb check: every obstacle is one "fail" line with its remedy, and the session
// would not start; what is merely worth knowing is a "warn" line.
TEST_F(UsbTest, UsbCheckNamesEachObstacleAndWhetherASessionWouldStart) {
    using O = EmulatedUsbBoard::Options;
    const std::string uaccess =
        R"(ATTR{idVendor}=="1209", ATTR{idProduct}=="000?", TAG+="uaccess")";
    const std::string shipped =
        readFile(QUARNEL_SOURCE_DIR "/resources/udev/70-quarnel-eval.rules");
    const struct {
        O emulation;
        std::string port, line;  // DIR: where the rule files are
        bool starts;
        std::vector<std::pair<std::string, std::string>> rules = {};  // file under DIR, text
    } cases[] = {
        {{}, "", "warn  no udev rule for 1209:0001 or 1209:0002: quarnelctl usb udev-rule", true},
        {{},
         "",
         "ok    udev rule for 1209:0001 or 1209:0002 in DIR/etc/70-quarnel-eval.rules\n",
         true,
         {{"etc/70-quarnel-eval.rules", shipped}}},
        {{},
         "",
         "warn  udev rule for 1209:0001 or 1209:0002 in DIR/etc/70-q.rules (line 2) is commented "
         "out: remove the '#'",
         true,
         {{"etc/70-q.rules", "# written by hand\n  #" + uaccess}}},
        {{},
         "",
         "warn  udev rule for 1209:0001 or 1209:0002 in DIR/lib/99-q.rules takes no effect: its "
         "TAG+=\"uaccess\" works only in a file that sorts before 73-seat-late.rules; rename it to "
         "a number below 73, e.g. 70-q.rules",
         true,
         {{"lib/99-q.rules", uaccess}}},
        {{},
         "",
         "ok    udev rule for 1209:0001 or 1209:0002 in DIR/lib/99-q.rules\n",
         true,
         {{"lib/99-q.rules",
           "SUBSYSTEMS==\"usb\", ATTRS{idVendor}==\"1209\", \\\n  ATTRS{idProduct}==\"000[12]\", "
           "MODE=\"0666\""}}},
        {{},
         "",
         "warn  no udev rule for 1209:0001 or 1209:0002",
         true,
         {{"etc/70-q.rules", "# hides the one in lib"}, {"lib/70-q.rules", shipped}}},
        {{}, "1-2", "fail  no device 1209:0001 or 1209:0002 on port 1-2: plug the board in", false},
        {{.unconfigured = true}, "", "fail  the device has no configuration", false},
        {{.denyOpen = true}, "", "fail  no permission to open /dev/bus/usb/001/007", false},
        {{.kernelDriver = "usbfs"}, "", "fail  interface 0 is claimed by another program", false},
        {{.kernelDriver = "ftdi_sio"}, "", "ok    kernel driver ftdi_sio is bound", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        plugIn(c.emulation);
        const fs::path root = dir / std::to_string(&c - cases);
        for (const auto& [file, text] : c.rules) {
            fs::create_directories((root / file).parent_path());
            sim::test::writeFile(root / file, text + "\n");
        }
        // Root opens a device node whatever its mode, so that case runs as another user.
        const bool switchUser = c.emulation.denyOpen && geteuid() == 0;
        ASSERT_TRUE(!switchUser || seteuid(65534) == 0);
        const CheckReport report = checkUsbBoard(
            {{0x1209, 1}, {0x1209, 2}}, c.port, {(root / "etc").string(), (root / "lib").string()});
        ASSERT_TRUE(!switchUser || seteuid(0) == 0);
        std::string lines, line = c.line;
        for (const CheckStep& step : report.steps) lines += checkLine(step) + "\n";
        if (const size_t at = line.find("DIR"); at != std::string::npos) line.replace(at, 3, root);
        EXPECT_NE(lines.find(line), std::string::npos) << lines;
        EXPECT_EQ(report.sessionWouldStart(), c.starts) << lines;
    }
}

// The built quarnelctl on the emulated board, which the testbed and the preload
// library reach through the environment: the download, the commands, the polling,
// and a board pulled while logging.
TEST_F(UsbTest, QuarnelctlUsesTheBoardAndEndsWithStatus3WhenItIsPulled) {
    plugIn({.serial = "Q17"});
    const auto path = [&](const char* name) { return (dir / name).string(); };
    std::string out, err;
    const auto run = [&](const std::string& args) {
        const int raw = std::system(
            (QUARNEL_BIN_DIR "/quarnelctl --quick --usb 1209:1/1209:2 --firmware " + kImage + " " +
             args + " --trace " + path("trace") + " >" + path("out") + " 2>" + path("err"))
                .c_str());
        out = readFile(path("out"));
        err = readFile(path("err"));
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"info", 0,
         "Device address: 48h\nDevice ID: 51h\nCompany ID: 41h\nRevision: 2h\nChannel function: "
         "Ain1/Ain2\nADC reference: 2.28 V\nBoard: USB 1209:0002, bus 001 device 008, serial "
         "Q17\n"},
        {"info --json", 0,
         "\"usbId\": \"1209:0002\",\n  \"bus\": 1,\n  \"device\": 8,\n  \"serial\": \"Q17\"\n"},
        {"write 25 80", 0, "25h  Internal High Limit     50h   80"},
        {"read 25h", 0, "25h  Internal High Limit     50h   80"},
        {"--sim-seed 2 info", 2, "--sim-seed is an option of the simulated board"},
        {"usb list", 0,
         "Bus 001 Device 008: ID 1209:0002 Quarnel test Emulated evaluation board (port 1-1, "
         "serial Q17)\n"},
        {"--usb-serial Q17 read 25", 0, "25h  Internal High Limit"},
        {"--usb-serial Q18 info", 3, "no USB board 1209:0001 or 1209:0002 with serial number Q18"},
        {"usb check 1209:1/1209:2", 0, "ok    the firmware runs: no download needed\n"},
        {"--usb-port 1-2 info", 3, "no USB board 1209:0001 or 1209:0002 on port 1-2 found"},
        {"usb udev-rule 1209/1", 2, "is not VID:PID"},
        {"usb udev-rule 1209:1/1209:2", 0, "ATTR{idProduct}==\"0001\", TAG+=\"uaccess\"\n"},
    };
    for (const auto& [args, status, expected] : cases) {
        EXPECT_EQ(run(args), status) << args << err;
        EXPECT_NE((out + err).find(expected), std::string::npos) << args << out << err;
    }
    // The first start's trace is the one the board gave before it learnt to wait and choose.
    std::string trace = readFile(path("trace"));
    trace = trace.substr(0, trace.find("LoadFirmWare", 1)).replace(14, kImage.size(), "IMAGE");
    EXPECT_EQ(trace, readFile(QUARNEL_SOURCE_DIR "/tests/unit/usb/happy.trace"));
    const std::string shipped =
        readFile(QUARNEL_SOURCE_DIR "/resources/udev/70-quarnel-eval.rules");
    EXPECT_TRUE(shipped.ends_with(out.substr(out.find("# 1209:0001")))) << shipped;
    // The download: hold the CPU, the image in chunks of at most 1023 bytes, run. Then
    // the board came back with its second id, and no later start sent the image again.
    std::vector<uint8_t> data;
    for (const HexRecord& r : checkIntelHex(readFile(kImage)).records)
        data.insert(data.end(), r.bytes.begin(), r.bytes.end());
    const auto write = [](uint16_t address, std::vector<uint8_t> bytes) {
        return SetupPacket{0x40, 0xA0, address, 0, uint16_t(bytes.size()), bytes};
    };
    const auto part = [&](int at, int n) {
        return std::vector(data.begin() + at, data.begin() + at + n);
    };
    const auto setups = emulated->setups();
    EXPECT_EQ(
        std::vector(setups.begin(), setups.begin() + 5),
        (std::vector{write(0xE600, {1}), write(0, part(0, 1023)), write(0x3FF, part(1023, 81)),
                     write(0x3000, part(1104, 3)), write(0xE600, {0})}));
    EXPECT_EQ(
        std::count_if(setups.begin(), setups.end(), [](auto& s) { return s.request == 0xA0; }), 5);

    // A cycle more is twelve ticks more, and must cost 24 transfers more: two a tick.
    std::vector<size_t> sent;
    for (const char* count : {"1", "2"}) {
        const size_t before = emulated->setups().size();
        EXPECT_EQ(run(std::string("monitor --count ") + count), 0) << err;
        sent.push_back(emulated->setups().size() - before);
    }
    EXPECT_EQ(sent[1] - sent[0], 24u);

    emulated->failNext(Fault::kUnplug, 300);  // while it logs
    EXPECT_EQ(run("log " + path("log.csv") + " --interval 0"), 3);
    const std::string gone = "the board on /dev/bus/usb/001/008 is gone";
    EXPECT_NE(err.find("usb: " + gone), std::string::npos) << err;
    EXPECT_NE(err.find("Communications Interrupted"), std::string::npos) << err;
    EXPECT_NE(readFile(path("trace")).find("# " + gone), std::string::npos);
    // Every line logged before is there and whole: preamble, header, data lines.
    std::istringstream log(readFile(path("log.csv")));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    ASSERT_GT(lines.size(), 4u + 20u);
    const auto fields = [&](size_t i) { return std::count(lines[i].begin(), lines[i].end(), ','); };
    for (size_t i = 4; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].ends_with(",\r") && fields(i) == fields(3)) << i << lines[i];

    // Pulled with --reconnect and back as a fresh loader: the image goes in again and
    // the log goes on in a run of its own.
    plugIn({.replugSeconds = 0.2});
    emulated->failNext(Fault::kUnplug, 150);
    EXPECT_EQ(run("log " + path("r.csv") + " --interval 50 --count 40 --reconnect"), 0) << err;
    EXPECT_NE(err.find(" board back, going on"), std::string::npos) << err;
    const auto again = emulated->setups();
    EXPECT_EQ(std::count(again.begin(), again.end(), write(0xE600, {0})), 2);
    std::istringstream runs(readFile(path("r.csv")));
    int starts = 0, dataLines = 0;
    for (std::string line; std::getline(runs, line);) {
        starts += line == "QUARNEL Log File\r";
        dataLines += !line.empty() && (std::isdigit(line[0]) || line[0] == '.');
    }
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(dataLines, 40);

    plugIn({.others = {{{0x1209, 2}, "1-2"}}});  // and a second board, already running
    EXPECT_EQ(run("info"), 4) << err;
    EXPECT_NE(err.find("; choose one with --usb-port"), std::string::npos) << err;
}

#ifdef QUARNEL_PYTHON_DIR
// The Python module on the emulated board: the download, commands, readings, and the
// board pulled (tests/python/usb_emulated.py).
TEST_F(UsbTest, ThePythonModuleUsesTheBoardAndRaisesBoardErrorWhenItIsPulled) {
    plugIn();
    emulated->failNext(Fault::kUnplug, 200);
    const std::string out = (dir / "pytest.out").string();
    const std::string command =
        "cd '" + dir.string() +
        "' && env PYTHONPATH='" QUARNEL_PYTHON_DIR
        "' PYTHONDONTWRITEBYTECODE=1 QUARNEL_TEST_IMAGE='" +
        kImage + "' '" QUARNEL_PYTHON "' -m pytest -q -p no:cacheprovider --noconftest '" +
        QUARNEL_SOURCE_DIR "/tests/python/usb_emulated.py' >'" + out + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << readFile(out);
    EXPECT_GT(emulated->setups().size(), 200u);
}
#endif

}  // namespace
}  // namespace quarnel::usb::test
