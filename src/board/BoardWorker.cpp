// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/BoardWorker.h"

#include <algorithm>
#include <type_traits>

#include "board/Overloaded.h"
#include "device/Conversions.h"
#include "link/BoardSwitches.h"
#include "monitor/LogFile.h"
#include "monitor/Startup.h"

namespace quarnel::board {
namespace {

// Start-up progress as events.
class PublishedProgress final : public StartupProgress {
  public:
    PublishedProgress(const EventSink& publish, int barWidthTwips)
        : publish_(publish), barWidthTwips_(barWidthTwips) {}
    int initialBarWidthTwips() const override { return barWidthTwips_; }
    void showProgress() override {
        publish_(StartupStep{StartupStep::Kind::ShowProgress, 0.0, {}});
    }
    void setBarWidthTwips(double twips) override {
        publish_(StartupStep{StartupStep::Kind::Bar, twips, {}});
    }
    void setProgressText(const std::string& text) override {
        publish_(StartupStep{StartupStep::Kind::Text, 0.0, text});
    }
    void setStatusText(const std::string& text) override {
        publish_(StartupStep{StartupStep::Kind::Status, 0.0, text});
    }

  private:
    const EventSink& publish_;
    int barWidthTwips_;
};

}  // namespace

void BoardWorker::EventNotifier::message(const std::string& text, Icon icon) {
    worker_.publish_(Message{text, icon});
}

BoardWorker::BoardWorker(Orvalink& board, Clock& clock, EventSink publish)
    : clock_(clock),
      publish_(publish ? std::move(publish) : [](const Event&) {}),
      session_(board, clock, notifier_, [this](int code) { onLinkFailure(code); }),
      poll_(session_) {
    session_.link.stopRequested = [this] { return stopping(); };
    session_.link.registerWritten = [this](int32_t reg, int32_t value) { onWritten(reg, value); };
    session_.layoutChanged = [this](bool graphs, bool limits) { onLayout(graphs, limits); };
}

BoardWorker::~BoardWorker() {
    stop();
}

bool BoardWorker::stopping() const {
    return stop_ || (stopRequested && stopRequested());
}

bool BoardWorker::waitUntil(double due) {
    while (!stopping() && clock_.monotonic() < due) clock_.sleep(due - clock_.monotonic());
    return !stopping();
}

void BoardWorker::onLinkFailure(int code) {
    const std::string cause = failureCause ? failureCause() : std::string();
    if (lost_) return;  // a try to reopen the board that failed: the wait goes on
    if (reconnect_ && connected_) {
        lost_ = true;
        session_.readings = CurrentReadings{};  // none of them is current any more
        publish_(BoardLost{code, clock_.timeOfDay(), cause});
        return;
    }
    failed_ = true;
    publish_(LinkFailed{code, cause});
}

void BoardWorker::connect(const std::string& applicationDir, bool quick, int barWidthTwips) {
    applicationDir_ = applicationDir;
    quick_ = quick;
    barWidthTwips_ = barWidthTwips;
    PublishedProgress progress(publish_, barWidthTwips);
    try {
        RunConnectionSequence(session_, progress, applicationDir, quick);
    } catch (const StartupCancelled&) {
        publish_(StartupStopped{});
        throw;
    }
    connected_ = true;
    publish_(Connected{session_.device.state, session_.link.DeviceAddress, clock_.monotonic()});
}

bool BoardWorker::reconnect() {
    double wait = kFirstReconnectWait;
    for (;;) {
        publish_(Reconnecting{wait});
        if (!waitUntil(clock_.monotonic() + wait)) return false;
        // The connection sequence sets the interval back to its start value.
        const int32_t interval = session_.device.state.LogIntervalMs;
        try {
            SilentProgress progress(barWidthTwips_);
            RunConnectionSequence(session_, progress, applicationDir_, quick_);
            session_.device.state.LogIntervalMs = interval;
            warmUp();
        } catch (const LinkFailure&) {
            wait = std::min(wait * 2, kLongestReconnectWait);
            continue;
        } catch (const StartupCancelled&) {
            return false;
        }
        poll_.PollState = 0;
        lost_ = false;
        publish_(
            Reconnected{session_.device.state, session_.link.DeviceAddress, clock_.timeOfDay()});
        if (limitsSubscribed_) publishLimits();
        if (session_.logging.LoggingActive) {
            // The log goes on in a run of its own, so every reader sees the gap.
            std::string error;
            if (!ContinueLogging(session_, &error)) {
                publish_(Message{LogWriteFailedText(session_.logging.LogFilePath, error),
                                 Notifier::Icon::Error});
                publish_(LoggingChanged{session_.logging, interval, {}, 0, 0});
            }
        }
        return true;
    }
}

// Ends the stretch in which posted commands wait for runQueued.
struct BoardWorker::StepGuard {
    BoardWorker& worker;
    ~StepGuard() {
        std::lock_guard lock(worker.mutex_);
        worker.inStep_ = false;
    }
};

void BoardWorker::step() {
    if (failed_) return;
    {
        std::lock_guard lock(mutex_);
        inStep_ = true;
    }
    StepGuard done{*this};
    runQueued();
    if (!failed_) tick();
    // Commands the tick's events gave rise to run before the next tick.
    runQueued();
}

void BoardWorker::warmUp() {
    // Two whole cycles before anything is logged again: no reading of the
    // board that was lost, nor a 0 not yet read, goes into a log.
    const bool logging = session_.logging.LoggingActive;
    session_.logging.LoggingActive = false;
    struct Restore {
        LoggingState& logging;
        bool active;
        ~Restore() { logging.LoggingActive = active; }
    } restore{session_.logging, logging};
    double due = clock_.monotonic();
    for (int i = 0; i < 2 * kPollStates && !stopping(); ++i) {
        tick();
        due += kTickSeconds;
        waitUntil(due);
    }
}

bool BoardWorker::run(const std::function<bool()>& done, double period) {
    double due = clock_.monotonic();
    while (!stopping()) {
        try {
            step();
        } catch (const LinkFailure&) {
            if (!lost_) throw;
            if (!reconnect()) return false;
            due = clock_.monotonic();
            continue;
        }
        if (failed_) return true;
        if (done && done()) return true;
        // Ticks evenly spaced, without drift; after a stall, from now on.
        due += period;
        const double now = clock_.monotonic();
        if (due < now) due = now;
        waitUntil(due);
    }
    return false;
}

void BoardWorker::start(std::string applicationDir, bool quick, int barWidthTwips) {
    {
        std::lock_guard lock(mutex_);
        threaded_ = true;
    }
    thread_ = std::thread([this, dir = std::move(applicationDir), quick, barWidthTwips] {
        try {
            connect(dir, quick, barWidthTwips);
            run();
        } catch (const LinkFailure&) {
            // Published by the failure handler; the thread ends.
        } catch (const StartupCancelled&) {
            // Published by connect.
        }
    });
}

void BoardWorker::stop() {
    stop_ = true;
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void BoardWorker::post(Command command) {
    if (failed_) return;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(command));
        if (threaded_ || inStep_) return;
        inStep_ = true;
    }
    // No thread and no tick running: between ticks now.
    StepGuard done{*this};
    try {
        runQueued();
    } catch (const LinkFailure&) {
        // Published by the failure handler.
    }
}

void BoardWorker::runQueued() {
    for (;;) {
        Command command;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty() || failed_) {
                if (failed_) queue_.clear();
                return;
            }
            command = std::move(queue_.front());
            queue_.pop_front();
        }
        execute(command);
    }
}

void BoardWorker::tick() {
    const double start = clock_.monotonic();
    const bool wasLogging = session_.logging.LoggingActive;
    const int16_t taken = poll_.PollState;
    std::function<void()> watched;
    if (watch_ && watch_->reg) {
        watched = [this] {
            BoardLink& link = session_.link;
            const int value = link.ReadRegister(link.DeviceAddress, *watch_->reg);
            publish_(RegisterValues{watch_->ticket, true, {*watch_->reg}, {value}});
        };
    }
    const char* status = poll_.Tick(watched);
    publish_(Readings{session_.readings, taken, session_.ShowFahrenheit, clock_.monotonic(),
                      clock_.timeOfDay(), status, session_.logging.LoggingActive,
                      session_.logging.LoggedCount, clock_.monotonic() - start});
    if (wasLogging && !session_.logging.LoggingActive)
        publish_(LoggingChanged{session_.logging, session_.device.state.LogIntervalMs, {}, 0, 0});
}

void BoardWorker::publishLimits() {
    limits_ = ReadChipLimits(session_.link);
    publish_(Limits{limits_});
}

void BoardWorker::onWritten(int32_t reg, int32_t value) {
    const int byte = value & 0xFF;
    session_.device.OnRegisterWritten(reg);
    publish_(Written{reg, byte, session_.device.state});
    if (limitsSubscribed_) {
        if (const auto limits = WithLimitRegister(limits_, reg, byte)) {
            limits_ = *limits;
            publish_(Limits{limits_});
        }
    }
}

void BoardWorker::onLayout(bool graphs, bool limits) {
    publish_(Layout{session_.device.state, graphs, limits});
    // The limits as the chip holds them now, read inside the write as ever.
    if (limits && limitsSubscribed_) publishLimits();
}

void BoardWorker::execute(const Command& command) {
    BoardLink& link = session_.link;
    const int32_t device = link.DeviceAddress;
    std::visit(
        Overloaded{
            [&](const ReadRegisters& c) {
                RegisterValues values{c.ticket, false, c.registers, {}};
                for (int reg : c.registers) values.values.push_back(link.ReadRegister(device, reg));
                publish_(values);
            },
            [&](const WriteRegister& c) { link.WriteRegister(device, c.reg, int32_t(c.value)); },
            [&](const WriteBits& c) {
                int32_t base = 0;
                const std::vector<int> reads = c.reads.empty() ? std::vector<int>{c.reg} : c.reads;
                for (int reg : reads) {
                    const int value = link.ReadRegister(device, reg);
                    if (reg == c.reg) base = value;
                }
                link.WriteRegister(device, c.reg, (base & ~c.mask) | (c.bits & c.mask));
            },
            [&](const Watch& c) { watch_ = c; },
            [&](const SubscribeLimits& c) {
                limitsSubscribed_ = c.on;
                if (c.on) publishLimits();
            },
            [&](const ApplyConfiguration& c) {
                link.WriteRegister(device, chip::kConfig1, int32_t(c.config1));
                link.WriteRegister(device, chip::kConfig2, int32_t(c.config2));
                link.WriteRegister(device, chip::kConfig3, int32_t(c.config3));
                // The three writes went over the bus in force before this switch-over.
                if (c.selectSpi) {
                    link.SpiMode = true;
                    SelectSpiInterface(link);
                    publish_(SpiSelected{});
                }
            },
            [&](const SetFahrenheit& c) {
                // The temperatures already taken change unit too: no reading of
                // the next ticks is in the other one.
                if (c.on != session_.ShowFahrenheit) {
                    CurrentReadings& r = session_.readings;
                    for (float* t : {&r.InternalTemp, &r.ExternalTemp, &r.VarnoTemp})
                        *t = c.on ? FahrenheitFromCelsius(*t)
                                  : static_cast<float>((*t - 32.0) * 5.0 / 9.0);
                }
                session_.ShowFahrenheit = c.on;
                // The limits window's temperature scales follow the unit.
                if (limitsSubscribed_) publishLimits();
            },
            [&](const SetLogInterval& c) { session_.device.state.LogIntervalMs = c.ms; },
            [&](const StartLogging& c) {
                std::array<bool, kLogChannelCount> channels = c.channels;
                const auto enabled = EnabledLogChannels(session_.device.state);
                for (int i = 0; i < kLogChannelCount; ++i) channels[i] = channels[i] && enabled[i];
                LoggingChanged changed;
                changed.ticket = c.ticket;
                if (!quarnel::StartLogging(session_, c.path, channels, &changed.startError,
                                           c.waitForReader)) {
                    changed.startErrno = errno;
                    session_.logging.LogFilePath.clear();
                } else {
                    changed.startError.clear();
                }
                changed.logging = session_.logging;
                changed.logIntervalMs = session_.device.state.LogIntervalMs;
                publish_(changed);
            },
            [&](const StopLogging& c) {
                quarnel::StopLogging(session_);
                LoggingChanged changed{
                    session_.logging, session_.device.state.LogIntervalMs, {}, 0, 0};
                changed.ticket = c.ticket;
                publish_(changed);
            },
            [&](const ReadProfile& c) {
                ProfileRead read;
                read.ticket = c.ticket;
                read.profile = quarnel::ReadProfile(link, session_.device.table, c.savedAt);
                read.chip = read.profile.chip;
                publish_(read);
            },
            [&](const CompareProfile& c) {
                ProfileRead read;
                read.ticket = c.ticket;
                read.profile = c.profile;
                read.chip = ReadChipIdentity(link);
                read.changes = CompareWithChip(link, c.profile);
                publish_(read);
            },
            [&](const WriteProfile& c) {
                ProfileWritten written{c.ticket, {}};
                written.notTaken = WriteChanges(link, session_.device.table, c.profile, c.changes);
                // The limits as the profile left them.
                if (limitsSubscribed_) publishLimits();
                publish_(written);
            },
        },
        command);
}

}  // namespace quarnel::board
