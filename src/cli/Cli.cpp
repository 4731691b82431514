// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Cli.h"

#include <CLI/CLI.hpp>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "board/BoardConnection.h"
#include "board/BoardOptions.h"
#include "cli/CommandText.h"
#include "cli/ProfileCommands.h"
#include "cli/ServeCommand.h"
#include "device/ChipRegisters.h"
#include "device/Conversions.h"
#include "link/LinkFailure.h"
#include "monitor/JsonOutput.h"
#include "monitor/LogFile.h"
#include "monitor/MasterPoll.h"
#include "monitor/Session.h"
#include "monitor/Startup.h"
#include "sim/SimulatedBoard.h"
#include "usb/UsbBoard.h"
#include "usb/UsbCheck.h"
#include "usb/UsbDevices.h"

namespace quarnel::cli {
namespace {

constexpr int kJsonIndent = 2;

// Line breaks in the program's messages are CR LF; a terminal wants LF.
std::string terminalText(std::string text) {
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

class StderrNotifier final : public Notifier {
  public:
    explicit StderrNotifier(std::ostream& err) : err_(err) {}
    void message(const std::string& text, Icon icon) override {
        const char* prefix = icon == Icon::Error     ? "quarnelctl: error: "
                             : icon == Icon::Warning ? "quarnelctl: warning: "
                                                     : "quarnelctl: ";
        err_ << prefix << terminalText(text) << std::endl;
    }

  private:
    std::ostream& err_;
};

// The commands' options as typed; nullopt when not given (an empty value is refused).
struct Options {
    std::string readAddress;
    std::string writeAddress, writeValue;
    std::string logFile;
    std::optional<std::string> logInterval, logChannels;
    std::optional<std::string> count;  // monitor and log share the option
    bool fahrenheit = false;
    bool json = false;       // info, read, write, dump, monitor
    bool reconnect = false;  // monitor, log
};

// The shell's status for a program ended by a signal: 130 for SIGINT, 143 for SIGTERM.
int cancelledStatus(const CliEnvironment& env) {
    return 128 + *env.stop;
}

bool stopped(const CliEnvironment& env) {
    return env.stop && *env.stop != 0;
}

// Standard output failed with `error`. A full disk or a closed descriptor is an
// error. A reader that went away (| head) is not worth a word: it ends a stream
// (monitor) as Ctrl+C does, a one-shot command's output with status 1. A signal
// that interrupted the write ends the program as the signal does.
int outputFailed(CliEnvironment& env, int error, int status, bool stream) {
    env.out.clear();
    if (stopped(env)) return stream ? status : cancelledStatus(env);
    if (error == EPIPE) return stream ? status : kExitFailed;
    env.err << "quarnelctl: cannot write to standard output"
            << (error ? std::string(": ") + std::strerror(error) : "") << std::endl;
    return kExitFailed;
}

int finishOutput(CliEnvironment& env, int status) {
    if (env.out.flush()) return status;
    return outputFailed(env, errno, status, false);
}

// CLI11 says "A subcommand is required" for "quarnelctl frob"; say what was wrong.
std::optional<std::string> missingCommandText(const CLI::App& app) {
    const CLI::App* level = &app;
    while (!level->get_subcommands().empty()) level = level->get_subcommands().front();
    if (level->get_require_subcommand_min() == 0 || !level->get_subcommands().empty())
        return std::nullopt;
    std::string names;
    for (const CLI::App* command : level->get_subcommands({}))
        names += (names.empty() ? "" : ", ") + command->get_name();
    for (const std::string& arg : app.remaining())
        if (arg.empty() || arg[0] != '-')
            return "unknown command '" + arg + "' (commands: " + names + ")";
    return "a command is needed (commands: " + names + ")";
}

DiagnosticSink warnings(CliEnvironment& env) {
    return [&env](const std::string& text) {
        env.err << "quarnelctl: warning: " << text << std::endl;
    };
}

// "14:03:07" of seconds since midnight.
std::string clockText(double timeOfDay) {
    const auto s = static_cast<long>(timeOfDay);
    char text[16];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", s / 3600 % 24, s / 60 % 60, s % 60);
    return text;
}

// With --reconnect: a line on stderr when the board is lost and when it is back.
void tellReconnection(CliEnvironment& env, const board::Event& event) {
    if (const auto* lost = std::get_if<board::BoardLost>(&event))
        env.err << "quarnelctl: " << clockText(lost->timeOfDay) << " board lost ("
                << terminalText(LinkFailureMessage(lost->code))
                << "); trying again from 1 s to every 30 s" << std::endl;
    else if (const auto* back = std::get_if<board::Reconnected>(&event))
        env.err << "quarnelctl: " << clockText(back->timeOfDay) << " board back, going on"
                << std::endl;
}

// A connected board, with its messages on stderr.
class Connection {
  public:
    Connection(const board::BoardOptions& options, CliEnvironment& env)
        : env_(env),
          notifier_(env.err),
          connection_(options, env.clock,
                      {notifier_, warnings(env),
                       [&env](const std::string& text) {
                           env.err << "quarnelctl: usb: " << text << std::endl;
                       },
                       [&env](int code) {
                           // Ctrl+C during a transfer that hung is the user's stop.
                           if (stopped(env)) return;
                           env.err << "quarnelctl: " << terminalText(LinkFailureMessage(code))
                                   << std::endl;
                       },
                       [&env] { return env.stop && *env.stop != 0; },
                       [&env](const board::Event& event) { tellReconnection(env, event); }}) {}

    void connect() { connection_.connect(env_.applicationDir); }

    Session& session() { return connection_.session(); }
    MasterPoll& poll() { return connection_.poll(); }
    const board::ChosenBoard& board() const { return connection_.board(); }
    BoardFacts facts() const { return connection_.facts(); }
    bool stopRequested() const { return connection_.stopRequested(); }
    void warmUp() { connection_.warmUp(); }
    board::BoardConnection& connection() { return connection_; }
    // The worker's drift-free loop until done() holds after a tick.
    bool run(const std::function<bool()>& done, double period = board::kTickSeconds) {
        return connection_.run(done, period);
    }

  private:
    CliEnvironment& env_;
    StderrNotifier notifier_;
    board::BoardConnection connection_;
};

std::string degreeText(const std::string& text1252, bool utf8) {
    return utf8 ? Windows1252ToUtf8(text1252) : text1252;
}

std::string statusByteText(int16_t value) {
    return " " + HexAddressText(value & 0xFF) + ",";
}

int runInfo(Connection& c, CliEnvironment& env, bool json) {
    Session& s = c.session();
    BoardLink& link = s.link;
    if (json) {
        env.out << InfoJson(ReadChipIdentity(link), s.device.state, c.facts()).dump(kJsonIndent)
                << "\n";
        return kExitOk;
    }
    const int32_t device = link.DeviceAddress;
    std::ostream& out = env.out;
    const auto ids =
        c.connection().readRegisters({chip::kDeviceId, chip::kCompanyId, chip::kRevision});
    out << "Device address: " << HexAddressText(device) << "\n";
    out << "Device ID: " << HexAddressText(ids.at(0)) << "\n";
    out << "Company ID: " << HexAddressText(ids.at(1)) << "\n";
    out << "Revision: " << HexAddressText(ids.at(2)) << "\n";
    const DeviceState& state = s.device.state;
    out << "Channel function: "
        << (state.ChannelMode == ChannelFunction::ExternalTemp ? "External temperature"
                                                               : "Ain1/Ain2")
        << "\n";
    out << "ADC reference: " << TrimmedNumberText(state.ReferenceVoltage) << " V\n";
    out << "Board: " << c.board().description() << "\n";
    return kExitOk;
}

int runRead(Connection& c, CliEnvironment& env, int address, bool json) {
    Session& s = c.session();
    const int value = c.connection().readRegisters({address}).at(0);
    env.out << (json ? RegisterJson(s.device.table, address, value).dump(kJsonIndent)
                     : FormatRegisterLine(s.device.table, address, value))
            << "\n";
    return kExitOk;
}

int runWrite(Connection& c, CliEnvironment& env, int address, int value, bool json) {
    Session& s = c.session();
    const int written = value;
    c.connection().writeRegister(address, value);
    const int readBack = c.connection().readRegisters({address}).at(0);
    env.out << (json ? WriteJson(s.device.table, address, written, readBack).dump(kJsonIndent)
                     : FormatRegisterLine(s.device.table, address, readBack))
            << "\n";
    return kExitOk;
}

int runDump(Connection& c, CliEnvironment& env, bool json) {
    Session& s = c.session();
    const RegisterTable& table = s.device.table;
    std::vector<int> addresses;
    for (int i = 0; i < table.size(); ++i) addresses.push_back(table[i].Address);
    const std::vector<int> values = c.connection().readRegisters(addresses);
    for (int i = 0; !json && i < table.size(); ++i)
        env.out << FormatRegisterLine(table[i].Address, table[i].Name, values[i],
                                      table[i].BitLabels)
                << "\n";
    if (json) env.out << DumpJson(table, s.link.DeviceAddress, values).dump(kJsonIndent) << "\n";
    return kExitOk;
}

int runMonitor(Connection& c, CliEnvironment& env, std::optional<long long> count, bool fahrenheit,
               bool json) {
    Session& s = c.session();
    s.ShowFahrenheit = fahrenheit;
    const auto channels = EnabledLogChannels(s.device.state);
    if (!json)
        env.out << degreeText(BuildLogHeader(channels, fahrenheit), env.utf8Terminal)
                << "IntStatus1 ,IntStatus2 ," << std::endl;
    if (!env.out) return outputFailed(env, errno, kExitOk, true);

    c.warmUp();
    const double start = env.clock.monotonic();
    long long lines = 0;
    bool broken = false;
    int outputErrno = 0;
    // A line per complete cycle of readings, on the worker's one loop.
    c.run([&] {
        if (c.poll().PollState != 0) return false;
        if (count && lines >= *count) return true;
        // The time column is the measured time since the start, in milliseconds / 1000.
        const auto elapsedMs = static_cast<int64_t>((env.clock.monotonic() - start) * 1000.0);
        if (json)
            env.out
                << MonitorJson(channels, fahrenheit, elapsedMs, s.readings, s.device.table).dump()
                << std::endl;
        else
            env.out << BuildLogLine(channels, 1, elapsedMs, s.readings)
                    << statusByteText(s.readings.IntStatus1)
                    << statusByteText(s.readings.IntStatus2) << std::endl;
        broken = !env.out;
        outputErrno = errno;
        ++lines;
        return broken || (count && lines >= *count);
    });
    if (broken) return outputFailed(env, outputErrno, kExitOk, true);
    // Ended while waiting for a lost board: no line was missed, the wait was cut.
    if (c.connection().worker().boardLost()) return cancelledStatus(env);
    return kExitOk;
}

int runLog(Connection& c, CliEnvironment& env, const Options& o,
           std::optional<std::array<bool, kLogChannelCount>> requested,
           std::optional<long long> interval, std::optional<long long> count) {
    Session& s = c.session();
    const DeviceState& state = s.device.state;
    std::array<bool, kLogChannelCount> channels = EnabledLogChannels(state);
    if (requested) {
        for (int i = 0; i < kLogChannelCount; ++i) {
            if ((*requested)[i] && !LogChannelEnabled(i, state)) {
                env.err << "quarnelctl: channel " << ChannelName(i)
                        << " cannot be logged while the shared pins are set to "
                        << (state.ChannelMode == ChannelFunction::ExternalTemp
                                ? "the external temperature"
                                : "Ain1/Ain2")
                        << std::endl;
                return kExitUsage;
            }
        }
        channels = *requested;
    }
    if (interval) s.device.state.LogIntervalMs = static_cast<int32_t>(*interval);
    s.ShowFahrenheit = o.fahrenheit;

    c.warmUp();
    if (c.stopRequested()) return cancelledStatus(env);  // before the file is touched

    std::string error;
    if (!StartLogging(s, o.logFile, channels, &error)) {
        // A signal ended the wait for a FIFO's reader: nothing was written.
        if (c.stopRequested()) return cancelledStatus(env);
        env.err << "quarnelctl: cannot write the log file \"" << o.logFile << "\": " << error
                << std::endl;
        return kExitFailed;
    }
    if (!count || s.logging.LoggedCount < *count)
        c.run(
            [&] { return !s.logging.LoggingActive || (count && s.logging.LoggedCount >= *count); });
    // A failed write stopped logging; the notifier has said why. A FIFO's
    // reader that went away ends the log as Ctrl+C does.
    if (!s.logging.LoggingActive) return s.logging.StopError == EPIPE ? kExitOk : kExitFailed;
    StopLogging(s);
    return kExitOk;
}

serve::BoardInfo serveBoardInfo(Connection& c) {
    const board::ChosenBoard& board = c.board();
    serve::BoardInfo info{board.simulated() ? "simulated" : "usb", "", "",
                          ReadChipIdentity(c.session().link)};
    if (const auto* usb = board.usb()) {
        info.usbId = usb::formatUsbId(usb->options().ids.after);
        if (const auto at = usb->location()) {
            info.port = at->port;
            info.serial = at->serial;
        }
    }
    return info;
}

int runUsbList(CliEnvironment& env) {
    std::string error;
    const auto devices = usb::listUsbDevices(error);
    if (!error.empty()) {
        env.err << "quarnelctl: " << error << std::endl;
        return kExitLinkFailure;
    }
    // On stderr, so that a script reading the list still gets an empty one.
    if (devices.empty()) env.err << "quarnelctl: no USB devices found" << std::endl;
    for (const auto& device : devices) env.out << usb::describe(device) << "\n";
    return kExitOk;
}

int runUsbCheck(CliEnvironment& env, const usb::UsbIds& ids, const std::string& port) {
    const usb::CheckReport report = usb::checkUsbBoard(ids, port, usb::kUdevRuleDirectories);
    for (const usb::CheckStep& step : report.steps) env.out << usb::checkLine(step) << "\n";
    if (report.sessionWouldStart()) return kExitOk;
    return report.severalBoards ? kExitSeveralBoards : kExitLinkFailure;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    CLI::App app{"QUARNEL evaluation board from the command line", "quarnelctl"};
    board::addVersionFlag(app, "quarnelctl");
    app.require_subcommand(1);
    // Board options are taken before or after the command: the commands pass what
    // they do not know on to here.
    app.fallthrough();
    board::BoardArguments typed;
    board::addBoardOptions(app, typed);
    Options o;

    auto* info = app.add_subcommand("info", "show the chip's identity and configuration");
    auto* read = app.add_subcommand("read", "read one register");
    read->add_option("ADDR", o.readAddress, "register address in hex (25, 0x25 or 25h)")
        ->required();
    auto* write = app.add_subcommand("write", "write one register and read it back");
    write->add_option("ADDR", o.writeAddress, "register address in hex (25, 0x25 or 25h)")
        ->required();
    write->add_option("VALUE", o.writeValue, "value, decimal unless 0x hex, 0 to 255")->required();
    auto* dump = app.add_subcommand("dump", "read every register of the register table");
    auto* monitor = app.add_subcommand("monitor", "print the readings, one line per cycle");
    monitor->add_option("--count", o.count, "stop after N lines")->type_name("N");
    monitor->add_flag("--fahrenheit", o.fahrenheit, "temperatures in degrees F");
    auto* log = app.add_subcommand("log", "append readings to a log file");
    log->add_option("FILE", o.logFile, "the log file (appended to)")->required();
    log->add_option("--interval", o.logInterval, "milliseconds between lines (default 250)")
        ->type_name("MS");
    log->add_option("--channels", o.logChannels,
                    "internal,external,vdd,varno,ain1..ain8 (default: every channel the pin "
                    "mode allows)")
        ->type_name("LIST");
    log->add_option("--count", o.count, "stop after N data lines")->type_name("N");
    log->add_flag("--fahrenheit", o.fahrenheit, "temperatures in degrees F");
    for (CLI::App* command : {monitor, log})
        command->add_flag("--reconnect", o.reconnect,
                          "when the board fails, wait for it (1 s, then up to 30 s between tries) "
                          "and go on; a log goes on in a new run");
    for (CLI::App* command : {info, read, write, dump, monitor})
        command->add_flag("--json", o.json, "print JSON (monitor: one object per line)");
    ProfileArguments profile;
    AddProfileCommands(app, profile);
    ServeArguments serveArgs;
    auto* serveCommand = AddServeCommand(app, serveArgs);
    auto* simCommand = app.add_subcommand("sim", "simulated board");
    simCommand->require_subcommand(1);
    auto* replug = simCommand->add_subcommand("replug", "power-cycle the simulated board");
    auto* usbCommand = app.add_subcommand("usb", "USB devices");
    usbCommand->require_subcommand(1);
    auto* usbList = usbCommand->add_subcommand("list", "list the USB devices, like lsusb");
    std::string ruleIds;
    auto* udevRule = usbCommand->add_subcommand(
        "udev-rule", "print a udev rule that lets the desktop user open the board");
    udevRule->add_option("IDS", ruleIds, "the board's ids, VID:PID[/VID2:PID2] in hex")->required();
    std::optional<std::string> ruleGroup;
    udevRule
        ->add_option("--group", ruleGroup,
                     "also give the node to this group (MODE 0660): for users not at the local "
                     "seat")
        ->type_name("GROUP");
    std::string checkIds;
    auto* usbCheck = usbCommand->add_subcommand(
        "check", "check step by step what a first session with the board needs");
    usbCheck->add_option("IDS", checkIds, "the board's ids, VID:PID[/VID2:PID2] in hex")
        ->required();

    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        const auto text =
            dynamic_cast<const CLI::RequiredError*>(&e) ? missingCommandText(app) : std::nullopt;
        if (text) {
            env.err << "quarnelctl: " << *text << std::endl;
            return kExitUsage;
        }
        std::ostringstream usageOut, usageErr;
        const int code = app.exit(e, usageOut, usageErr);
        env.out << usageOut.str();
        env.err << usageErr.str();
        return finishOutput(env, code == 0 ? kExitOk : kExitUsage);
    }

    // Everything the user typed is checked before the board is touched.
    board::BoardOptions options;
    std::optional<int> address, value;
    std::optional<long long> count, interval;
    std::optional<std::array<bool, kLogChannelCount>> channels;
    std::optional<usb::UsbIds> ruleFor, checkFor;
    std::string checkPort, group;
    std::optional<ServeSettings> serveSettings;
    try {
        // usb check takes the port without --usb: its ids are its own.
        if (usbCheck->parsed() && typed.usbPort) {
            checkPort = usb::parseUsbPort(*typed.usbPort);
            typed.usbPort.reset();
        }
        options = board::parseBoardOptions(typed);
        if (read->parsed()) address = ParseRegisterAddress(o.readAddress);
        if (write->parsed()) {
            address = ParseRegisterAddress(o.writeAddress);
            value = ParseRegisterValue(o.writeValue);
        }
        if (log->parsed() && o.logFile.empty()) throw UsageError("the log file needs a name");
        if (o.count) count = ParseWholeNumber("--count", *o.count, 1, INT64_MAX / 2);
        if (o.logInterval) interval = ParseWholeNumber("--interval", *o.logInterval, 0, INT32_MAX);
        if (o.logChannels) channels = ParseChannelList(*o.logChannels);
        CheckProfileArguments(profile);
        if (serveCommand->parsed()) serveSettings = CheckServeArguments(serveArgs);
        if (udevRule->parsed()) ruleFor = usb::parseUsbIds(ruleIds);
        if (ruleGroup) group = usb::parseGroupName(*ruleGroup);
        if (usbCheck->parsed()) checkFor = usb::parseUsbIds(checkIds);
        if (replug->parsed() && options.usb)
            throw UsageError("sim replug acts on the simulated board: leave out --usb");
    } catch (const std::invalid_argument& e) {  // a board option or USB ids
        env.err << "quarnelctl: " << e.what() << std::endl;
        return kExitUsage;
    } catch (const UsageError& e) {
        env.err << "quarnelctl: " << e.what() << std::endl;
        return kExitUsage;
    }
    if (ruleFor) {
        env.out << usb::udevRule(*ruleFor, group);
        return finishOutput(env, kExitOk);
    }
    if (usbList->parsed()) return finishOutput(env, runUsbList(env));
    if (checkFor) return finishOutput(env, runUsbCheck(env, *checkFor, checkPort));

    if (replug->parsed()) {
        const std::string& statePath = options.sim.statePath;
        // Like a board the program cannot reach: a link failure.
        if (const auto error = sim::SimulatedBoard::powerCycle(statePath, warnings(env))) {
            env.err << "quarnelctl: " << *error << std::endl;
            return kExitLinkFailure;
        }
        env.out << "Simulated board power-cycled (state " << statePath << ")\n";
        return finishOutput(env, kExitOk);
    }

    // Listening before the board is opened: a taken port costs no start-up.
    std::optional<serve::MetricsServer> server;
    if (serveSettings) {
        try {
            server.emplace(serveSettings->listen, serve::ExpositionText({}), serveSettings->web);
        } catch (const std::runtime_error& e) {
            env.err << "quarnelctl: " << e.what() << std::endl;
            return kExitFailed;
        }
        env.err << "quarnelctl: serving " << (serveSettings->web.certPem.empty() ? "http" : "https")
                << "://" << serve::ListenAddressText(server->address()) << "/metrics" << std::endl;
    }

    int status = kExitUsage;
    std::unique_ptr<Connection> board;
    try {
        board = std::make_unique<Connection>(options, env);
        Connection& connection = *board;
        // The exporter outlives the board's failures; monitor and log when asked.
        connection.connection().worker().setReconnect(
            server || ((monitor->parsed() || log->parsed()) && o.reconnect));
        connection.connect();
        // A signal after the start-up's last delay still comes before the command.
        if (connection.stopRequested()) return cancelledStatus(env);
        if (info->parsed()) status = runInfo(connection, env, o.json);
        if (read->parsed()) status = runRead(connection, env, *address, o.json);
        if (write->parsed()) status = runWrite(connection, env, *address, *value, o.json);
        if (dump->parsed()) status = runDump(connection, env, o.json);
        if (monitor->parsed()) status = runMonitor(connection, env, count, o.fahrenheit, o.json);
        if (ProfileCommandGiven(profile))
            status = RunProfileCommand(connection.connection(), env, profile,
                                       connection.board().ownFiles());
        if (log->parsed()) status = runLog(connection, env, o, channels, interval, count);
        if (server)
            status = RunServe(connection.connection(), serveBoardInfo(connection), *serveSettings,
                              *server, env);
    } catch (const StartupCancelled&) {
        return cancelledStatus(env);
    } catch (const LinkFailure&) {
        if (stopped(env)) return cancelledStatus(env);
        // The failure handler has printed the message.
        const usb::UsbBoard* usbBoard = board ? board->board().usb() : nullptr;
        if (usbBoard && usbBoard->lastFailure() == usb::kSeveralBoards) return kExitSeveralBoards;
        return kExitLinkFailure;
    }
    return finishOutput(env, status);
}

}  // namespace quarnel::cli
