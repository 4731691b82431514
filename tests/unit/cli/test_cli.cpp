// SPDX-License-Identifier: GPL-3.0-or-later
// quarnelctl in-process: what it parses and refuses, what it prints, and how
// monitor and log stop. The simulated board gets a state file per test and a
// manual clock, so nothing waits.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QuarnelVersion.h"
#include "board/BoardOptions.h"
#include "cli/Cli.h"
#include "cli/CommandText.h"
#include "cli/LineOutput.h"
#include "device/RegisterTable.h"
#include "link/Clock.h"
#include "monitor/Startup.h"
#include "support/TempDir.h"

namespace quarnel::cli {
namespace {

TEST(CommandText, RegisterAddressesAndValues) {
    EXPECT_EQ(ParseRegisterAddress("25"), 0x25);
    EXPECT_EQ(ParseRegisterAddress("0x4e"), 0x4E);
    EXPECT_EQ(ParseRegisterAddress("FFh"), 0xFF);
    EXPECT_EQ(ParseRegisterAddress("0"), 0);
    for (const char* bad : {"100", "", "h", "0x", "-1", "2 5", "0x1FF", "99999999999999999999"})
        EXPECT_THROW(ParseRegisterAddress(bad), UsageError) << bad;

    EXPECT_EQ(ParseRegisterValue("80"), 80);
    EXPECT_EQ(ParseRegisterValue("0x50"), 0x50);
    EXPECT_EQ(ParseRegisterValue("255"), 255);
    for (const char* bad : {"256", "-1", "50h", "0x100", "1.5", ""})
        EXPECT_THROW(ParseRegisterValue(bad), UsageError) << bad;
}

TEST(CommandText, ChannelListsByName) {
    const auto selected = ParseChannelList("internal,VDD,varno,ain1,ain8");
    std::array<bool, kLogChannelCount> expected{};
    for (int i : {0, 2, 7, 3, 11}) expected[i] = true;
    EXPECT_EQ(selected, expected);
    EXPECT_THROW(ParseChannelList("internal,,vdd"), UsageError);
    EXPECT_THROW(ParseChannelList("ain9"), UsageError);
    EXPECT_EQ(ChannelName(7), "varno");
}

TEST(CommandText, RegisterLinesLineUp) {
    RegisterTable table;
    EXPECT_EQ(FormatRegisterLine(table, 0x25, 80),
              "25h  Internal High Limit     50h   80  01010000  7:6:5:4:3:2:1:0");
    EXPECT_EQ(FormatRegisterLine(table, 0x03, 0x0E),
              "3h   Internal Temp LSBs      Eh    14  00001110  -:-:-:-:-:-:1:0");
    EXPECT_EQ(FormatRegisterLine(table, 0xC0, 255),
              "C0h  Unknown                 FFh  255  11111111  7:6:5:4:3:2:1:0");
}

// The settings file's [Board] keys choose what no option chooses; a bad key is refused.
TEST(BoardOptions, SettingsGiveWayToOptionsAndABadKeyIsRefused) {
    const board::BoardSettings usb{"1209:1/1209:2", "E000", "fw.hex", "q.conf"}, none;
    using Args = std::vector<std::string>;
    const std::vector<std::tuple<Args, board::BoardSettings, std::string>> cases = {
        {{}, usb, "1209:0002 E000h fw.hex"},
        {{"--usb", "1209:3", "--usb-cpucs", "7F00", "--firmware", "my"}, usb, "1209:0003 7F00h my"},
        {{"--sim-seed", "2"}, usb, "simulated fw.hex"},
        {{"--sim-seed", "2"}, {"", "E6000"}, "the settings file , [Board] UsbCpucs: \"E6000\""},
        {{}, {"1209"}, "the settings file , [Board] Usb: \"1209\" is not VID:PID"},
        {{"--usb-cpucs", "E600"}, none, "--usb-cpucs is an option of the USB board"},
        {{"--usb-wait", "20"}, none, "--usb-wait is an option of the USB board"},
        {{"--usb", "1209:3"}, none, "the USB board needs its maker's firmware image"},
        {{}, {"1209:3"}, "the USB board needs its maker's firmware image"},
        {{"--usb-port", "1-0.2"}, usb, "--usb-port: \"1-0.2\" is not a USB port path"},
        {{"--usb-wait", "0.05"}, usb, "--usb-wait: \"0.05\" is not a number of seconds"},
        {{}, {"1209:3", "", "f", "", "1-2", "x"}, "the settings file , [Board] UsbWait: \"x\""},
        {{"--usb-ram", "0-FF,E000"}, usb, "--usb-ram: \"E000\" is not a RAM range"}};
    for (auto [args, settings, expected] : cases) {
        CLI::App app;
        board::BoardArguments typed;
        board::addBoardOptions(app, typed);
        app.parse(std::vector(args.rbegin(), args.rend()));
        std::string chosen;
        try {
            const auto o = board::parseBoardOptions(typed, settings);
            chosen = (o.usb ? usb::formatUsbId(o.usb->after) + " " + HexAddressText(o.usbCpucs)
                            : "simulated") +
                     " " + o.firmware;
        } catch (const std::invalid_argument& e) {
            chosen = e.what();
        }
        EXPECT_EQ(chosen.substr(0, expected.size()), expected);
    }
}

// Sets the stop flag after a number of sleeps, as Ctrl-C would.
class StoppingClock final : public Clock {
  public:
    volatile std::sig_atomic_t stop = 0;
    int sleepsBeforeStop = -1;
    int signal = SIGINT;
    double timeOfDay() const override { return 43200.0 + now_; }
    double monotonic() const override { return now_; }
    void sleep(double seconds) override {
        now_ += seconds;
        if (sleepsBeforeStop >= 0 && --sleepsBeforeStop < 0) stop = signal;
    }

  private:
    double now_ = 0.0;
};

class Cli : public ::testing::Test {
  protected:
    test::TempDir dir;
    StoppingClock clock;
    std::ostringstream out, err;

    std::string path(const std::string& name) const { return dir.file(name); }

    int run(std::vector<std::string> args, const std::string& state = "board.json") {
        out.str({});
        err.str({});
        args.insert(args.end(), {"--sim-state", path(state), "--trace", path("trace")});
        CliEnvironment env{out, err, clock, QUARNEL_BIN_DIR, &clock.stop, true};
        env.wallClock = [] { return std::time_t{1710000000}; };
        return RunCli(args, env);
    }
    std::vector<std::string> outLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::string file(const std::string& name) const { return test::readFile(path(name)); }
};

TEST_F(Cli, RefusedInputTouchesNoBoard) {
    const std::vector<std::vector<std::string>> refused = {
        {"write", "100", "1"},
        {"write", "25", "256"},
        {"read", "xyz"},
        {"monitor", "--count", "0"},
        {"log", path("l.csv"), "--channels", "foo"},
        {"log", path("l.csv"), "--interval", "-5"},
        {"--sim-address", "4C", "info"},
        {"--sim-fault", "melt", "info"},
        {"monitor", "--count", ""},
        {"log", path("l.csv"), "--interval", ""},
        {"log", path("l.csv"), "--channels", ""},
        {"log", ""},
        {"info", "--sim-seed", ""},
        {"serve", "--listen", "9761"},
        {"serve", "--interval", "11"},
        {"frobnicate"},
        {}};
    for (const auto& args : refused) {
        EXPECT_EQ(run(args), kExitUsage) << args.size();
        EXPECT_FALSE(err.str().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(path("trace"))) << "no request was made";
    EXPECT_FALSE(std::filesystem::exists(path("l.csv")));
    run({"frob"});
    EXPECT_EQ(err.str(),
              "quarnelctl: unknown command 'frob' (commands: info, read, write, dump, monitor, "
              "log, profile, serve, sim, usb)\n");
}

// serve listens before it opens the board: a taken port costs no start-up. Once
// serving, a signal ends it with 0, also while it waits for a board pulled out;
// a board missing at the start ends it with 3, like any command.
TEST_F(Cli, ServeEndsByTakenPortSignalOrPulledCable) {
    const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;  // a second exporter would share such a port, were it to ask
    ::setsockopt(taken, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&at), size), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    ::getsockname(taken, reinterpret_cast<sockaddr*>(&at), &size);
    const std::string port = std::to_string(ntohs(at.sin_port));
    clock.sleepsBeforeStop = 300;  // ends a serve that should not have started
    EXPECT_EQ(run({"--quick", "serve", "--listen", "127.0.0.1:" + port}), kExitFailed);
    EXPECT_NE(err.str().find("cannot listen on 127.0.0.1:" + port), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path("trace")));
    ::close(taken);

    clock.stop = 0;
    clock.sleepsBeforeStop = 300;
    EXPECT_EQ(run({"--quick", "serve", "--listen", "127.0.0.1:0"}), kExitOk);
    EXPECT_NE(err.str().find("quarnelctl: serving http://127.0.0.1:"), std::string::npos);
    clock.stop = 0;
    clock.sleepsBeforeStop = 600;
    EXPECT_EQ(run({"--quick", "--sim-fault", "cable=300", "serve", "--listen", "127.0.0.1:0"}),
              kExitOk);
    EXPECT_NE(err.str().find(" board lost (Communications Interrupted"), std::string::npos);
    clock.stop = 0;
    clock.sleepsBeforeStop = -1;
    EXPECT_EQ(run({"--quick", "--sim-fault", "cable=5", "serve", "--listen", "127.0.0.1:0"}),
              kExitLinkFailure);
}

TEST_F(Cli, ASignalDuringTheSettlingDelaysCancelsTheCommandBeforeItWrites) {
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, {SIGTERM, 143}}) {
        clock.stop = 0;
        clock.signal = signal;
        clock.sleepsBeforeStop = 5;  // during the enumeration's pauses
        EXPECT_EQ(run({"write", "25", "0x33"}), status);
        EXPECT_TRUE(out.str().empty());
    }
    clock.stop = 0;
    clock.sleepsBeforeStop = -1;
    ASSERT_EQ(run({"read", "25", "--quick"}), kExitOk);
    EXPECT_EQ(out.str().substr(0, 32), "25h  Internal High Limit     64h") << "nothing written";
}

TEST_F(Cli, AFailedWriteToStandardOutputIsAnErrorUnlessItsReaderLeft) {
    // Like a buffered stdout: writing succeeds, the flush fails.
    struct Unflushable : std::streambuf {
        int error = 0;
        int overflow(int c) override { return c; }
        int sync() override { return errno = error, -1; }
    } buffer;
    std::ostream failing(&buffer);
    for (const auto& [error, said] : {std::pair{ENOSPC, true}, {EPIPE, false}}) {
        buffer.error = error;
        err.str({});
        CliEnvironment env{failing, err, clock, QUARNEL_BIN_DIR, &clock.stop, true};
        EXPECT_EQ(RunCli({"info", "--quick", "--sim-state", path("board.json")}, env), kExitFailed);
        EXPECT_EQ(err.str().find("cannot write to standard output") != std::string::npos, said)
            << err.str();
        failing.clear();
    }
}

// A full disk: each flush is one write, and a short one is cut back to whole lines.
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

TEST_F(Cli, WriteGoesThroughTheHookAndReadsBack) {
    ASSERT_EQ(run({"--quick", "write", "0x25", "80"}), kExitOk) << err.str();
    EXPECT_EQ(out.str(), "25h  Internal High Limit     50h   80  01010000  7:6:5:4:3:2:1:0\n");
    ASSERT_EQ(run({"--quick", "read", "25h"}), kExitOk);
    EXPECT_EQ(outLines().at(0).substr(0, 37), "25h  Internal High Limit     50h   80");

    // An invalid pin selection: the hook's message goes to stderr, Ain1/Ain2 restored.
    ASSERT_EQ(run({"--quick", "write", "18", "0x0B"}), kExitOk);
    EXPECT_NE(err.str().find("Invalid value for External Temp /Ain-2 selection\n"),
              std::string::npos);
    EXPECT_EQ(out.str().substr(0, 20), "18h  Configuration 1");
    EXPECT_NE(out.str().find(" 9h     9  00001001"), std::string::npos) << out.str();
}

TEST_F(Cli, InfoAndDump) {
    ASSERT_EQ(run({"--quick", "--sim-address", "0x4B", "write", "18", "0x05"}), kExitOk);
    ASSERT_EQ(run({"--quick", "--sim-seed", "5", "--sim-address", "4Bh", "info"}), kExitOk);
    const auto lines = outLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "Device address: 4Bh");
    EXPECT_EQ(lines[2], "Company ID: 41h");
    EXPECT_EQ(lines[4], "Channel function: External temperature");
    EXPECT_EQ(lines[5], "ADC reference: 2.28 V");
    EXPECT_EQ(lines[6], "Board: simulated, state " + path("board.json"));

    ASSERT_EQ(run({"--quick", "dump"}), kExitOk);
    const auto dump = outLines();
    ASSERT_EQ(dump.size(), static_cast<size_t>(kRegisterCount));
    EXPECT_EQ(dump[2].substr(0, 23), "3h   Internal Temp LSBs");
    EXPECT_EQ(dump[3].substr(0, 13), "3h   Vdd LSBs");
}

TEST_F(Cli, MonitorPrintsOneLinePerCycle) {
    ASSERT_EQ(run({"--quick", "monitor", "--count", "3", "--fahrenheit"}), kExitOk);
    const auto lines = outLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 24),
              "Time(s) ,Internal(\xC2\xB0"
              "F) ,");
    EXPECT_EQ(lines[0].substr(lines[0].size() - 24), "IntStatus1 ,IntStatus2 ,");
    // Time, 11 channels and the two status bytes, each ending in a comma.
    EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), ','), 14);
    EXPECT_EQ(lines[3].substr(lines[3].size() - 8), " 0h, 0h,");
}

TEST_F(Cli, CtrlCEndsLoggingWithTheFileWhole) {
    clock.sleepsBeforeStop = 24 + 30;
    EXPECT_EQ(run({"--quick", "log", path("l.csv"), "--interval", "100"}), kExitOk);
    const std::string log = file("l.csv");
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n") << "the last line is whole";
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4 + 3);  // a line per 11 ticks
}

TEST_F(Cli, LogWritesTheProgramsFormatAndRefusesDisabledChannels) {
    ASSERT_EQ(run({"--quick", "log", path("l.csv"), "--count", "2", "--interval", "0", "--channels",
                   "internal,ain8"}),
              kExitOk)
        << err.str();
    const std::string log = file("l.csv");
    const std::string head =
        "\r\nQUARNEL Log File\r\n\r\nTime(s) ,Internal(\xB0"
        "C) ,Ain8(V) ,\r\n0, ";
    EXPECT_EQ(log.substr(0, head.size()), head);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 6);

    // Default channels in Ain mode: everything but the external temperature.
    ASSERT_EQ(run({"--quick", "log", path("d.csv"), "--count", "1"}), kExitOk);
    EXPECT_NE(file("d.csv").find("Time(s) ,Internal(\xB0"
                                 "C) ,Vdd(V) ,VARNO(\xB0"
                                 "C) ,Ain1(V) ,"),
              std::string::npos);

    EXPECT_EQ(run({"--quick", "log", path("x.csv"), "--channels", "external"}), kExitUsage);
    EXPECT_NE(err.str().find("external"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path("x.csv")));

    for (const std::string& unwritable : {path("no/such/dir.csv"), dir.path().string()})
        EXPECT_EQ(run({"--quick", "log", unwritable, "--count", "1"}), kExitFailed) << unwritable;
}

TEST_F(Cli, ReplugClearsTheSpiLockWithoutConnecting) {
    ASSERT_EQ(run({"--quick", "write", "25", "80"}), kExitOk);
    ASSERT_EQ(run({"sim", "replug"}), kExitOk);
    ASSERT_EQ(run({"--quick", "read", "25"}), kExitOk);
    EXPECT_EQ(out.str().find("50h"), std::string::npos) << "power-on value again";
    EXPECT_EQ(run({"--help"}), kExitOk);
    EXPECT_NE(out.str().find("monitor"), std::string::npos);
    EXPECT_EQ(run({"--version"}), kExitOk);
    EXPECT_EQ(out.str(), std::string("quarnelctl ") + kAppVersion + "\n");
}

TEST_F(Cli, AProfileSavedOnOneBoardAndLoadedIntoAnotherLeavesNoDifference) {
    for (const auto& [reg, value] : {std::pair{"25", "80"}, {"18", "5"}, {"33", "7"}})
        ASSERT_EQ(run({"--quick", "write", reg, value}, "a.json"), kExitOk);
    ASSERT_EQ(run({"--quick", "profile", "save", path("p.json")}, "a.json"), kExitOk) << err.str();
    EXPECT_EQ(nlohmann::json::parse(file("p.json"))["savedAt"].get<std::string>().substr(0, 8),
              "2024-03-");

    ASSERT_EQ(run({"--quick", "profile", "diff", path("p.json")}, "b.json"), 1);
    EXPECT_EQ(outLines().size(), 6u);
    EXPECT_EQ(outLines()[0].substr(0, 26), "chip 18h  Configuration 1 ");
    EXPECT_EQ(outLines()[1].substr(0, 37), "file 18h  Configuration 1         5h ");
    ASSERT_EQ(run({"--quick", "profile", "load", "--dry-run", path("p.json")}, "b.json"), kExitOk);
    EXPECT_NE(out.str().find("Would write 3 of 39 registers"), std::string::npos) << out.str();
    ASSERT_EQ(run({"--quick", "profile", "load", path("p.json")}, "b.json"), kExitOk) << err.str();
    ASSERT_EQ(run({"--quick", "profile", "diff", path("p.json")}, "b.json"), kExitOk);
    EXPECT_EQ(out.str(), "");
    ASSERT_EQ(run({"--quick", "info"}, "b.json"), kExitOk);
    EXPECT_EQ(outLines()[4], "Channel function: External temperature");
}

TEST_F(Cli, ABadProfileIsRefusedBeforeTheBoardAndAnotherChipNeedsForce) {
    ASSERT_EQ(run({"--quick", "profile", "save", path("p.json")}), kExitOk);
    auto profile = nlohmann::json::parse(file("p.json"));
    const auto saveAs = [&](const std::string& name, const nlohmann::json& j) {
        std::ofstream(path(name)) << j.dump();
    };
    std::filesystem::create_directory(path("folder"));
    std::ofstream(path("cut.json")) << file("p.json").substr(0, 100);
    auto bad = profile;
    bad["registers"]["25h"]["value"] = 300;
    saveAs("300.json", bad);
    bad = profile;
    bad["registers"]["6h"] = {{"value", 1}};
    saveAs("result.json", bad);
    for (const auto& [name, said] : {std::pair{"folder", "is a folder"},
                                     {"cut.json", "ends too early"},
                                     {"300.json", "value 300 is outside 0 to 255"},
                                     {"result.json", "6h (Vdd MSBs) is not a setting"}}) {
        std::filesystem::remove(path("trace"));
        EXPECT_EQ(run({"--quick", "profile", "load", path(name)}), kExitUsage) << name;
        EXPECT_NE(err.str().find(said), std::string::npos) << err.str();
        EXPECT_FALSE(std::filesystem::exists(path("trace"))) << "the board was not touched";
    }

    profile["chip"]["deviceId"] = 0x52;
    profile["registers"]["25h"]["value"] = 0x20;
    saveAs("other.json", profile);
    EXPECT_EQ(run({"--quick", "profile", "load", path("other.json")}), kExitUsage);
    EXPECT_NE(err.str().find("Device ID 52h, this chip's is 51h (--force"), std::string::npos);
    ASSERT_EQ(run({"--quick", "profile", "load", path("other.json"), "--force"}), kExitOk);
    ASSERT_EQ(run({"--quick", "read", "25"}), kExitOk);
    EXPECT_EQ(out.str().substr(0, 32), "25h  Internal High Limit     20h");
}

TEST_F(Cli, JsonOutputParsesAndCarriesNumbers) {
    ASSERT_EQ(run({"--quick", "info", "--json"}), kExitOk);
    const auto info = nlohmann::json::parse(out.str());
    EXPECT_EQ(info["companyId"], 0x41);
    EXPECT_EQ(info["adcReference"], (nlohmann::json{{"value", 2.28}, {"unit", "V"}}));
    ASSERT_EQ(run({"--quick", "write", "25", "0x50", "--json"}), kExitOk);
    const auto written = nlohmann::json::parse(out.str());
    EXPECT_EQ(written["written"], 80);
    EXPECT_EQ(written["value"], 80);
    ASSERT_EQ(run({"--quick", "read", "25", "--json"}), kExitOk);
    EXPECT_EQ(nlohmann::json::parse(out.str())["name"], "Internal High Limit");
    ASSERT_EQ(run({"--quick", "dump", "--json"}), kExitOk);
    const auto dump = nlohmann::json::parse(out.str());
    ASSERT_EQ(dump["registers"].size(), static_cast<size_t>(kRegisterCount));
    EXPECT_EQ(dump["registers"][3]["name"], "Vdd LSBs");

    ASSERT_EQ(run({"--quick", "write", "1E", "0"}), kExitOk);
    ASSERT_EQ(run({"--quick", "write", "23", "0"}), kExitOk);  // Vdd above its high limit
    ASSERT_EQ(run({"--quick", "monitor", "--json", "--count", "3", "--fahrenheit"}), kExitOk);
    const auto lines = outLines();
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) {
        const auto j = nlohmann::json::parse(line);
        EXPECT_TRUE(j["time"].is_number());
        EXPECT_EQ(j["readings"]["Internal"]["unit"],
                  "\xC2\xB0"
                  "F");
        EXPECT_TRUE(j["readings"]["Ain8"]["value"].is_number());
        EXPECT_FALSE(j["readings"].contains("External")) << "not in Ain mode";
    }
    const auto last = nlohmann::json::parse(lines[2]);
    EXPECT_EQ(last["intStatus2"], (nlohmann::json{{"value", 0x10}, {"set", {"VDD"}}}));
}

}  // namespace
}  // namespace quarnel::cli
