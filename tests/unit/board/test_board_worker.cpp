// SPDX-License-Identifier: GPL-3.0-or-later
// The board worker's ordering and lifetime on its own thread and without one:
// commands between ticks, a stop during start-up, a failure, the shutdown.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "board/BoardWorker.h"
#include "link/TracingBoard.h"
#include "sim/SimulatedBoard.h"
#include "support/TempDir.h"

namespace quarnel::board {
namespace {

// Events as the worker published them, waited on from the test's thread.
struct EventLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Event> events;
    std::function<void(const Event&)> onEvent;  // runs on the worker's thread

    EventSink sink() {
        return [this](const Event& e) {
            if (onEvent) onEvent(e);
            std::lock_guard lock(mutex);
            events.push_back(e);
            changed.notify_all();
        };
    }
    template <class T>
    int count() {
        std::lock_guard lock(mutex);
        return static_cast<int>(std::count_if(events.begin(), events.end(), [](const Event& e) {
            return std::holds_alternative<T>(e);
        }));
    }
    template <class T>
    bool waitFor(int n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(30), [&] {
            return std::count_if(events.begin(), events.end(),
                                 [](const Event& e) { return std::holds_alternative<T>(e); }) >= n;
        });
    }
};

// The simulated board with every request traced, on the manual clock (its sleeps
// pass at once, so a running worker ticks as fast as it can).
struct Rig {
    explicit Rig(std::optional<int> cableAfter = std::nullopt) : cableAfter_(cableAfter) {}
    std::optional<int> cableAfter_;  // every request after the first N fails
    test::TempDir dir;
    ManualClock clock{36000.0};
    sim::SimulatedBoard sim{options(), clock};
    TracingBoard traced{sim, dir.file("trace.txt"), {}};
    EventLog log;
    std::unique_ptr<BoardWorker> owned = std::make_unique<BoardWorker>(traced, clock, log.sink());
    BoardWorker& worker = *owned;

    sim::SimOptions options() const {
        sim::SimOptions o;
        o.statePath = dir.file("board.json");
        o.faults.cableAfter = cableAfter_;
        return o;
    }
    void start(bool quick = true) { worker.start(QUARNEL_SOURCE_DIR "/resources", quick, 3000); }
    // Register requests (222) as "R<reg>" or "W<reg>", in wire order.
    std::vector<std::string> accesses() {
        std::vector<std::string> out;
        std::istringstream lines(test::readFile(dir.file("trace.txt")));
        for (std::string line; std::getline(lines, line);) {
            unsigned value = 0, index = 0;
            int request = 0, direction = 0;
            if (std::sscanf(line.c_str(), "%d 0x%x 0x%x %d", &request, &value, &index,
                            &direction) != 4 ||
                request != kRequestRegister)
                continue;
            std::ostringstream text;
            text << (direction == kDirectionIn ? 'R' : 'W') << std::hex << (index & 0xFF);
            out.push_back(text.str());
        }
        return out;
    }
};

TEST(BoardWorker, CommandsRunBetweenTicksInTheOrderTheyCame) {
    Rig rig;
    rig.start();
    ASSERT_TRUE(rig.log.waitFor<Connected>(1));
    ASSERT_TRUE(rig.log.waitFor<Readings>(5));
    for (int value : {1, 2, 3}) rig.worker.post(WriteRegister{0x2D, value});
    ASSERT_TRUE(rig.log.waitFor<Written>(3));
    rig.worker.stop();

    const auto wire = rig.accesses();
    std::vector<size_t> writes;
    for (size_t i = 0; i < wire.size(); ++i)
        if (wire[i] == "W2d") writes.push_back(i);
    ASSERT_EQ(writes.size(), 3u);
    // Each tick reads two registers: a write that came mid-tick would split a pair.
    const auto firstTick = static_cast<size_t>(std::find(wire.begin(), wire.end(), "R3") -
                                               wire.begin());  // internal LSBs, state 0
    for (size_t at : writes) {
        const auto reads = std::count_if(wire.begin() + firstTick, wire.begin() + at,
                                         [](const std::string& a) { return a[0] == 'R'; });
        EXPECT_EQ(reads % 2, 0) << "write at " << at;
    }
    EXPECT_EQ(rig.worker.session().link.ReadRegister(0x48, 0x2D), 3);
}

TEST(BoardWorker, WithoutAThreadACommandFromATickWaitsForTheTickToEnd) {
    Rig rig;
    rig.worker.connect(QUARNEL_SOURCE_DIR "/resources", true);
    rig.log.onEvent = [&](const Event& e) {
        if (std::holds_alternative<Readings>(e)) rig.worker.post(WriteRegister{0x2D, 9});
    };
    const size_t before = rig.accesses().size();
    rig.worker.step();
    const auto wire = rig.accesses();
    ASSERT_EQ(wire.size(), before + 3);
    EXPECT_EQ(wire.back(), "W2d");  // after both reads of the tick
    rig.log.onEvent = nullptr;
    rig.worker.post(WriteRegister{0x2D, 4});  // between ticks: at once
    EXPECT_EQ(rig.accesses().back(), "W2d");
}

TEST(BoardWorker, AStopDuringStartUpEndsItAtTheNextWait) {
    Rig rig;
    size_t atStop = 0;
    rig.log.onEvent = [&](const Event& e) {
        const auto* step = std::get_if<StartupStep>(&e);
        if (step && step->text == "Enumerating...") {
            atStop = rig.accesses().size();
            rig.worker.requestStop();
        }
    };
    rig.start(false);  // with its settling delays
    ASSERT_TRUE(rig.log.waitFor<StartupStopped>(1));
    rig.worker.stop();
    EXPECT_EQ(rig.log.count<Connected>(), 0);
    EXPECT_EQ(rig.log.count<Readings>(), 0);
    EXPECT_EQ(rig.accesses().size(), atStop);
}

TEST(BoardWorker, AFailureIsToldOnceAndNothingRunsAfterIt) {
    Rig rig(300);  // the cable pulled some ticks after the start-up
    rig.start();
    ASSERT_TRUE(rig.log.waitFor<LinkFailed>(1));
    EXPECT_GT(rig.log.count<Readings>(), 0);
    rig.worker.post(WriteRegister{0x2D, 1});  // racing the thread's end
    rig.worker.stop();
    EXPECT_TRUE(rig.worker.failed());
    EXPECT_EQ(rig.log.count<LinkFailed>(), 1);
    EXPECT_EQ(std::get<LinkFailed>(rig.log.events.back()).code, kCommsInterrupted);
    const auto wire = rig.accesses();
    EXPECT_EQ(std::count(wire.begin(), wire.end(), "W2d"), 0);
}

TEST(BoardWorker, DestroyedWhileRunningItStopsItsThreadFirst) {
    Rig rig;
    rig.start();
    ASSERT_TRUE(rig.log.waitFor<Readings>(2));
    rig.owned.reset();  // joins: no event may arrive after this
    const auto events = rig.log.events.size();
    const auto requests = rig.accesses().size();
    rig.clock.advance(1.0);
    EXPECT_EQ(rig.log.events.size(), events);
    EXPECT_EQ(rig.accesses().size(), requests);
}

}  // namespace
}  // namespace quarnel::board
