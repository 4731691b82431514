// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/Board.h"

#include <ctime>
#include <exception>
#include <optional>
#include <stdexcept>

#include "device/Profile.h"
#include "link/LinkFailure.h"
#include "monitor/JsonOutput.h"
#include "monitor/LogFile.h"
#include "monitor/Startup.h"
#include "python/Conversions.h"
#include "python/Errors.h"

namespace quarnel::python {

// The session's messages join the board's warnings.
class Board::NoteTaker final : public Notifier {
  public:
    explicit NoteTaker(std::vector<std::string>& notes) : notes_(notes) {}
    void message(const std::string& text, Icon) override { notes_.push_back(text); }

  private:
    std::vector<std::string>& notes_;
};

// One call at a time, taken without the GIL. A call made during another on the same
// thread (from a signal handler run in a wait) would wait for itself: it is refused.
class Board::Turn {
  public:
    // With the GIL: raises RuntimeError for a call inside a call.
    static void check(const Board& board) {
        if (board.owner_ == std::this_thread::get_id())
            throw std::runtime_error("the board is busy with the call this one interrupted");
    }
    // Without the GIL.
    explicit Turn(Board& board) : board_(board), lock_(board.mutex_) {
        board_.owner_ = std::this_thread::get_id();
    }
    ~Turn() { board_.owner_ = std::thread::id(); }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

  private:
    Board& board_;
    std::lock_guard<std::mutex> lock_;
};

namespace {

// How a call on the board ended, learnt without the GIL and raised with it.
struct Outcome {
    std::optional<int> failure;  // a link failure's code
    bool closed = false;
    std::exception_ptr error;  // anything else: pybind11 translates it
    std::vector<std::string> notes;
};

// Raises what the outcome holds; else warns of its notes.
void finish(Outcome& outcome) {
    // A KeyboardInterrupt raised by a signal handler during the call comes first.
    if (PyErr_Occurred()) throw py::error_already_set();
    if (outcome.closed) throw py::value_error("the board is closed");
    if (outcome.failure) raiseBoardError(*outcome.failure, outcome.notes);
    if (outcome.error) std::rethrow_exception(outcome.error);
    warn(outcome.notes);
}

}  // namespace

Board::Board(const board::BoardOptions& options, const std::string& applicationDir)
    : notifier_(std::make_unique<NoteTaker>(notes_)) {
    Outcome outcome;
    {
        py::gil_scoped_release released;
        Turn turn(*this);
        try {
            board::ConnectionSinks sinks{
                *notifier_, [this](const std::string& text) { notes_.push_back(text); },
                [this](const std::string& text) { notes_.push_back("usb: " + text); }, [](int) {},
                [this] { return clock_.interrupted(); }};
            connection_ = std::make_unique<board::BoardConnection>(options, clock_, sinks);
            connection_->connect(applicationDir);
            openedAt_ = clock_.monotonic();
        } catch (const LinkFailure& e) {
            outcome.failure = e.code();
        } catch (const StartupCancelled&) {
            // KeyboardInterrupt is pending.
        } catch (...) {
            outcome.error = std::current_exception();
        }
        if (outcome.failure || outcome.error || clock_.interrupted()) connection_.reset();
        outcome.notes = std::move(notes_);
        notes_.clear();
    }
    finish(outcome);
}

Board::~Board() = default;

void Board::run(const std::function<void(board::BoardConnection&)>& work) {
    Turn::check(*this);
    Outcome outcome;
    {
        py::gil_scoped_release released;
        Turn turn(*this);
        clock_.clearInterrupted();
        try {
            if (connection_)
                work(*connection_);
            else
                outcome.closed = true;
        } catch (const LinkFailure& e) {
            outcome.failure = e.code();
        } catch (...) {
            outcome.error = std::current_exception();
        }
        outcome.notes = std::move(notes_);
        notes_.clear();
    }
    finish(outcome);
}

py::object Board::info() {
    OrderedJson json;
    run([&](board::BoardConnection& c) {
        Session& s = c.session();
        json = InfoJson(ReadChipIdentity(s.link), s.device.state, c.facts());
    });
    return toPython(json);
}

int Board::read(int address) {
    int value = 0;
    run([&](board::BoardConnection& c) { value = c.readRegisters({address}).at(0); });
    return value;
}

int Board::write(int address, int value) {
    int readBack = 0;
    run([&](board::BoardConnection& c) {
        c.writeRegister(address, value);
        readBack = c.readRegisters({address}).at(0);
    });
    return readBack;
}

py::object Board::dump() {
    OrderedJson json;
    run([&](board::BoardConnection& c) {
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
    run([&](board::BoardConnection& c) {
        Session& s = c.session();
        s.ShowFahrenheit = fahrenheit;
        if (!warmedUp_) c.warmUp();
        warmedUp_ = true;
        if (!c.completeCycle()) return;  // KeyboardInterrupt is pending
        const auto elapsedMs = static_cast<int64_t>((clock_.monotonic() - openedAt_) * 1000.0);
        json = MonitorJson(EnabledLogChannels(s.device.state), fahrenheit, elapsedMs, s.readings,
                           s.device.table);
    });
    return toPython(json);
}

py::object Board::saveProfile(const std::string& path) {
    Profile profile;
    std::optional<std::string> error;
    run([&](board::BoardConnection& c) {
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
    run([&](board::BoardConnection& c) {
        Session& s = c.session();
        if (const auto mismatch = IdentityMismatch(ReadChipIdentity(s.link), profile->chip)) {
            if (!force) {
                refused = *mismatch + " (force=True loads it anyway)";
                return;
            }
            notes_.push_back(*mismatch);
        }
        changes = CompareWithChip(s.link, *profile);
        if (dryRun) return;
        for (const RegisterChange& r : WriteChanges(s.link, s.device.table, *profile, changes))
            notes_.push_back("register " + RegisterKey(r.address) + " (" + r.name +
                             ") did not take: it reads " + RegisterKey(r.chip) +
                             ", the profile holds " + RegisterKey(r.file));
    });
    if (refused) raise("ProfileError", *refused);
    py::list result;
    for (const RegisterChange& change : changes) result.append(toPython(ChangeJson(change)));
    return result;
}

void Board::close() {
    Turn::check(*this);
    Outcome outcome;
    {
        py::gil_scoped_release released;
        Turn turn(*this);
        try {
            connection_.reset();  // the simulated board saves its state and unlocks it
        } catch (...) {
            outcome.error = std::current_exception();
        }
        outcome.notes = std::move(notes_);
        notes_.clear();
    }
    finish(outcome);
}

bool Board::closed() {
    Turn::check(*this);
    py::gil_scoped_release released;
    Turn turn(*this);
    return !connection_;
}

std::string Board::description() {
    Turn::check(*this);
    py::gil_scoped_release released;
    Turn turn(*this);
    return connection_ ? connection_->board().description() : "closed";
}

}  // namespace quarnel::python
