// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/Board.h"

#include <cxxabi.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "device/Profile.h"
#include "link/LinkFailure.h"
#include "monitor/JsonOutput.h"
#include "monitor/LogFile.h"
#include "monitor/Startup.h"
#include "python/Conversions.h"
#include "python/Errors.h"
#include "python/Gil.h"
#include "python/InterruptibleClock.h"

namespace quarnel::python {

// The session's messages join the board's warnings.
class Board::NoteTaker final : public Notifier {
  public:
    explicit NoteTaker(std::vector<std::string>& notes) : notes_(notes) {}
    void message(const std::string& text, Icon) override { notes_.push_back(text); }

  private:
    std::vector<std::string>& notes_;
};

struct Board::State {
    std::mutex mutex;                      // one call at a time; taken without the GIL
    std::atomic<std::thread::id> owner{};  // the thread whose call holds mutex
    InterruptibleClock clock;
    std::vector<std::string> notes;  // the board's warnings during the present call
    NoteTaker notifier{notes};
    std::unique_ptr<board::BoardConnection> connection;
    double openedAt = 0.0;  // monotonic; readings' time counts from here
    bool warmedUp = false;
    std::optional<std::string> stateFile;  // the simulated board's, while held
    bool usb = false;
};

// One call at a time, taken without the GIL. A call made during another on the same
// thread (from a signal handler run in a wait) would wait for itself: it is refused.
class Board::Turn {
  public:
    // With the GIL: raises RuntimeError for a call inside a call.
    static void check(const State& state) {
        if (state.owner == std::this_thread::get_id())
            throw std::runtime_error("the board is busy with the call this one interrupted");
    }
    // Without the GIL.
    explicit Turn(State& state) : state_(state), lock_(state.mutex) {
        state_.owner = std::this_thread::get_id();
    }
    ~Turn() { state_.owner = std::thread::id(); }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

  private:
    State& state_;
    std::lock_guard<std::mutex> lock_;
};

namespace {

// The boards this process holds: a second Board on one of them is told apart from
// another program's hold. Taken with the GIL.
std::set<std::string>& heldStateFiles() {
    static std::set<std::string> held;
    return held;
}
int heldUsbBoards = 0;

// The state file through links, existing or not yet.
std::optional<std::string> fileIdentity(const std::string& path) {
    std::error_code failed;
    const auto resolved = std::filesystem::weakly_canonical(path, failed);
    if (path.empty() || failed) return std::nullopt;
    return resolved.string();
}

[[noreturn]] void raiseHeldHere(const std::string& what) {
    py::dict attributes;
    attributes["status"] = kHeldByThisProcess;
    raise("BoardError",
          "the board is held by this process: a quarnel.Board opened earlier " + what +
              " (close() that one, or go on with it)",
          attributes);
}

// A file the call could not write: an OSError.
struct OsFailure {
    int errorNumber = 0;
    std::string message;
};

// How a call on the board ended, learnt without the GIL and raised with it.
struct Outcome {
    std::optional<int> failure;  // a link failure's code
    bool closed = false;
    std::exception_ptr error;  // anything else: pybind11 translates it
    std::vector<std::string> notes;
    int osErrno = 0;  // an OSError to raise with this errno and message
    std::string osMessage;
    std::optional<std::string> valueError;
};

// Raises what the outcome holds; else warns of its notes.
void finish(Outcome& outcome) {
    // A KeyboardInterrupt raised by a signal handler during the call comes first.
    if (PyErr_Occurred()) throw py::error_already_set();
    if (outcome.closed) throw py::value_error("the board is closed");
    if (outcome.failure) raiseBoardError(*outcome.failure, outcome.notes);
    if (outcome.error) std::rethrow_exception(outcome.error);
    if (outcome.valueError) throw py::value_error(*outcome.valueError);
    if (outcome.osErrno != 0) {
        PyErr_SetObject(PyExc_OSError,
                        py::make_tuple(outcome.osErrno, text(outcome.osMessage)).ptr());
        throw py::error_already_set();
    }
    warn(outcome.notes);
}

}  // namespace

Board::Board(const board::BoardOptions& options, const std::string& applicationDir)
    : state_(std::make_shared<State>()) {
    State& s = *state_;
    const bool simulated = !options.usb;
    const auto identity = simulated ? fileIdentity(options.sim.statePath) : std::nullopt;
    if (identity && heldStateFiles().count(*identity))
        raiseHeldHere("uses the state file \"" + options.sim.statePath + "\"");
    Outcome outcome;
    {
        GilReleased released;
        Turn turn(s);
        try {
            board::ConnectionSinks sinks{
                s.notifier, [&s](const std::string& text) { s.notes.push_back(text); },
                [&s](const std::string& text) { s.notes.push_back("usb: " + text); }, [](int) {},
                [&s] { return s.clock.interrupted(); }};
            s.connection = std::make_unique<board::BoardConnection>(options, s.clock, sinks);
            s.connection->connect(applicationDir);
            s.openedAt = s.clock.monotonic();
        } catch (const LinkFailure& e) {
            outcome.failure = e.code();
        } catch (const StartupCancelled&) {
            // KeyboardInterrupt is pending.
        } catch (abi::__forced_unwind&) {
            released.ending();
            throw;  // pthread_exit: the thread must end
        } catch (...) {
            outcome.error = std::current_exception();
        }
        if (outcome.failure || outcome.error || s.clock.interrupted()) s.connection.reset();
        outcome.notes = std::move(s.notes);
        s.notes.clear();
    }
    if (outcome.failure == kFirmwareFailed && !simulated && heldUsbBoards > 0)
        raiseHeldHere("holds a USB board");
    finish(outcome);
    if (simulated) {
        s.stateFile = identity;
        if (s.stateFile) heldStateFiles().insert(*s.stateFile);
    } else {
        s.usb = true;
        ++heldUsbBoards;
    }
}

Board::~Board() {
    // A call still running (a daemon thread's, at the end) keeps the state alive.
    if (!state_->connection || state_->owner != std::thread::id()) return;
    close();
}

void Board::run(const std::function<void(State&, board::BoardConnection&)>& work) {
    const std::shared_ptr<State> state = state_;
    Turn::check(*state);
    Outcome outcome;
    {
        GilReleased released;
        Turn turn(*state);
        state->clock.clearInterrupted();
        try {
            if (state->connection)
                work(*state, *state->connection);
            else
                outcome.closed = true;
        } catch (const LinkFailure& e) {
            outcome.failure = e.code();
        } catch (const OsFailure& e) {
            outcome.osErrno = e.errorNumber;
            outcome.osMessage = e.message;
        } catch (const py::value_error& e) {
            outcome.valueError = e.what();
        } catch (abi::__forced_unwind&) {
            released.ending();
            throw;  // pthread_exit: the thread must end
        } catch (...) {
            outcome.error = std::current_exception();
        }
        outcome.notes = std::move(state->notes);
        state->notes.clear();
    }
    finish(outcome);
}

void Board::warmUp(State& state, board::BoardConnection& c) {
    if (state.warmedUp) return;
    c.warmUp();
    state.warmedUp = !c.stopRequested();
}

OrderedJson Board::snapshot(State& state, board::BoardConnection& c, bool fahrenheit) {
    const Session& s = c.session();
    const auto elapsedMs =
        static_cast<int64_t>((state.clock.monotonic() - state.openedAt) * 1000.0);
    return MonitorJson(EnabledLogChannels(s.device.state), fahrenheit, elapsedMs, s.readings,
                       s.device.table);
}

py::object Board::info() {
    OrderedJson json;
    run([&](State&, board::BoardConnection& c) {
        Session& s = c.session();
        json = InfoJson(ReadChipIdentity(s.link), s.device.state, c.facts());
    });
    return toPython(json);
}

int Board::read(int address) {
    int value = 0;
    run([&](State&, board::BoardConnection& c) { value = c.readRegisters({address}).at(0); });
    return value;
}

int Board::write(int address, int value) {
    int readBack = 0;
    run([&](State&, board::BoardConnection& c) {
        c.writeRegister(address, value);
        readBack = c.readRegisters({address}).at(0);
    });
    return readBack;
}

py::object Board::dump() {
    OrderedJson json;
    run([&](State&, board::BoardConnection& c) {
        Session& s = c.session();
        std::vector<int> addresses;
        for (int i = 0; i < s.device.table.size(); ++i)
            addresses.push_back(s.device.table[i].Address);
        json = DumpJson(s.device.table, s.link.DeviceAddress, c.readRegisters(addresses));
    });
    return toPython(json["registers"]);
}

py::object Board::readings(bool fahrenheit) {
    OrderedJson json;
    run([&](State& state, board::BoardConnection& c) {
        c.session().ShowFahrenheit = fahrenheit;
        warmUp(state, c);
        if (!c.completeCycle()) return;  // KeyboardInterrupt is pending
        json = snapshot(state, c, fahrenheit);
    });
    return toPython(json);
}

py::object Board::saveProfile(const std::string& path) {
    Profile profile;
    std::optional<std::string> error;
    run([&](State&, board::BoardConnection& c) {
        Session& s = c.session();
        profile = ReadProfile(s.link, s.device.table, ProfileTimeText(std::time(nullptr)));
        error = WriteProfileFile(path, profile);
    });
    if (error) {
        const std::string message = "cannot write the profile \"" + path + "\": " + *error;
        PyErr_SetString(PyExc_OSError, message.c_str());
        throw py::error_already_set();
    }
    return toPython(OrderedJson::parse(ProfileToJson(profile)));
}

py::object Board::loadProfile(const std::string& path, bool dryRun, bool force) {
    std::optional<Profile> profile;
    try {
        profile = ReadProfileFile(path, RegisterTable());
    } catch (const ProfileError& e) {
        raise("ProfileError", "cannot use the profile \"" + path + "\": " + e.what());
    }
    std::optional<std::string> refused;
    std::vector<RegisterChange> changes;
    run([&](State& state, board::BoardConnection& c) {
        Session& s = c.session();
        if (const auto mismatch = IdentityMismatch(ReadChipIdentity(s.link), profile->chip)) {
            if (!force) {
                refused = *mismatch + " (force=True loads it anyway)";
                return;
            }
            state.notes.push_back(*mismatch);
        }
        changes = CompareWithChip(s.link, *profile);
        if (dryRun) return;
        for (const RegisterChange& r : WriteChanges(s.link, s.device.table, *profile, changes))
            state.notes.push_back("register " + RegisterKey(r.address) + " (" + r.name +
                                  ") did not take: it reads " + RegisterKey(r.chip) +
                                  ", the profile holds " + RegisterKey(r.file));
    });
    if (refused) raise("ProfileError", *refused);
    py::list result;
    for (const RegisterChange& change : changes) result.append(toPython(ChangeJson(change)));
    return result;
}

int64_t Board::log(const std::string& path,
                   std::optional<std::array<bool, kLogChannelCount>> channels, double interval,
                   std::optional<int64_t> count, std::optional<double> duration, bool fahrenheit) {
    int64_t logged = 0;
    run([&](State& state, board::BoardConnection& c) {
        Session& s = c.session();
        const DeviceState& pins = s.device.state;
        for (int i = 0; channels && i < kLogChannelCount; ++i)
            if ((*channels)[i] && !LogChannelEnabled(i, pins))
                throw py::value_error("channel " + channelName(i) +
                                      " cannot be logged while the shared pins are set to " +
                                      (pins.ChannelMode == ChannelFunction::ExternalTemp
                                           ? "the external temperature"
                                           : "Ain1/Ain2"));
        // The board's own interval and unit come back afterwards, as the GUI left them.
        const int32_t boardInterval = s.device.state.LogIntervalMs;
        const bool boardFahrenheit = s.ShowFahrenheit;
        s.device.state.LogIntervalMs = static_cast<int32_t>(std::llround(interval * 1000.0));
        s.ShowFahrenheit = fahrenheit;
        struct Restore {
            Session& s;
            int32_t interval;
            bool fahrenheit;
            ~Restore() {
                s.device.state.LogIntervalMs = interval;
                s.ShowFahrenheit = fahrenheit;
            }
        } restore{s, boardInterval, boardFahrenheit};
        warmUp(state, c);
        if (c.stopRequested()) return;  // before the file is touched
        std::string error;
        // A FIFO nobody reads is refused rather than waited on.
        if (!StartLogging(s, path, channels ? *channels : EnabledLogChannels(pins), &error, false))
            throw OsFailure{errno, "cannot write the log file \"" + path + "\": " + error};
        const double end = duration ? state.clock.monotonic() + *duration : 0.0;
        c.run([&] {
            return !s.logging.LoggingActive || (count && s.logging.LoggedCount >= *count) ||
                   (duration && state.clock.monotonic() >= end);
        });
        logged = s.logging.LoggedCount;
        if (!s.logging.LoggingActive && s.logging.StopError != 0) {
            // The notifier's message says it all.
            const std::string message = state.notes.empty() ? path : state.notes.back();
            state.notes.clear();
            throw OsFailure{s.logging.StopError, message};
        }
        StopLogging(s);
    });
    return logged;
}

std::optional<py::object> Board::next(StreamPlan& plan) {
    if ((plan.count && plan.given >= *plan.count)) return std::nullopt;
    OrderedJson json;
    bool through = false;
    run([&](State& state, board::BoardConnection& c) {
        c.session().ShowFahrenheit = plan.fahrenheit;
        warmUp(state, c);
        const double now = state.clock.monotonic();
        if (plan.started < 0) plan.started = plan.due = now;
        if (plan.duration && now >= plan.started + *plan.duration) {
            through = true;
            return;
        }
        const bool ticked = plan.interval
                                ? c.run([&] { return state.clock.monotonic() >= plan.due; })
                                : c.completeCycle();
        if (!ticked) return;  // KeyboardInterrupt is pending
        if (plan.duration && state.clock.monotonic() > plan.started + *plan.duration) {
            through = true;
            return;
        }
        if (plan.interval) {
            // Evenly spaced, without drift; after a stall, from now on.
            plan.due = std::max(plan.due + *plan.interval, state.clock.monotonic());
        }
        json = snapshot(state, c, plan.fahrenheit);
    });
    if (through) return std::nullopt;
    ++plan.given;
    return toPython(json);
}

void Board::close() {
    const std::shared_ptr<State> state = state_;
    Turn::check(*state);
    Outcome outcome;
    {
        GilReleased released;
        Turn turn(*state);
        try {
            state->connection.reset();  // the simulated board saves its state and unlocks it
        } catch (abi::__forced_unwind&) {
            released.ending();
            throw;
        } catch (...) {
            outcome.error = std::current_exception();
        }
        outcome.notes = std::move(state->notes);
        state->notes.clear();
    }
    if (state->stateFile) heldStateFiles().erase(*state->stateFile);
    state->stateFile.reset();
    if (std::exchange(state->usb, false)) --heldUsbBoards;
    finish(outcome);
}

bool Board::closed() {
    const std::shared_ptr<State> state = state_;
    Turn::check(*state);
    GilReleased released;
    Turn turn(*state);
    return !state->connection;
}

std::string Board::description() {
    const std::shared_ptr<State> state = state_;
    Turn::check(*state);
    GilReleased released;
    Turn turn(*state);
    return state->connection ? state->connection->board().description() : "closed";
}

}  // namespace quarnel::python
