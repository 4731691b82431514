// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of USB requests against an emulated board (umockdev, the simulated board
// behind it): one register read, and one tick of the board worker. Runs under
// umockdev-wrapper; the figures are the emulation's, a real bus adds its frames.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "board/BoardWorker.h"
#include "link/Clock.h"
#include "sim/SimulatedBoard.h"
#include "support/EmulatedUsbBoard.h"
#include "usb/UsbBoard.h"

namespace {

// A connected board worker on a USB board whose firmware already runs.
struct UsbRig {
    explicit UsbRig(const std::string& dir) {
        quarnel::sim::SimOptions o;
        o.statePath = dir + "/board.json";
        o.requireFirmware = false;
        simulated = std::make_unique<quarnel::sim::SimulatedBoard>(o, clock);
        emulated = std::make_unique<quarnel::test::EmulatedUsbBoard>(
            *simulated, quarnel::test::EmulatedUsbBoard::Options{.firmwareRunning = true});
        quarnel::usb::UsbOptions u;
        u.ids = {{0x1209, 0x0001}, {0x1209, 0x0002}};
        board = std::make_unique<quarnel::usb::UsbBoard>(u, clock);
        worker = std::make_unique<quarnel::board::BoardWorker>(*board, clock,
                                                               quarnel::board::EventSink{});
        worker->session().link.FirmwareFile = QUARNEL_USB_IMAGE;
        worker->connect({}, true);
    }
    quarnel::ManualClock clock{36000.0};
    std::unique_ptr<quarnel::sim::SimulatedBoard> simulated;
    std::unique_ptr<quarnel::test::EmulatedUsbBoard> emulated;
    std::unique_ptr<quarnel::usb::UsbBoard> board;
    std::unique_ptr<quarnel::board::BoardWorker> worker;
};

void runWithRig(benchmark::State& state, void (*body)(benchmark::State&, UsbRig&)) {
    std::string dir = (std::filesystem::temp_directory_path() / "quarnel-bench-XXXXXX").string();
    if (!::mkdtemp(dir.data())) return state.SkipWithError("no temporary directory");
    try {
        UsbRig rig(dir);
        body(state, rig);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
    std::filesystem::remove_all(dir);
}

void BM_UsbRegisterRead(benchmark::State& state) {
    runWithRig(state, [](benchmark::State& s, UsbRig& rig) {
        quarnel::BoardLink& link = rig.worker->session().link;
        for (auto _ : s) benchmark::DoNotOptimize(link.ReadRegister(0x48, 0x07));
    });
}
BENCHMARK(BM_UsbRegisterRead)->UseRealTime();

void BM_UsbTick(benchmark::State& state) {
    runWithRig(state, [](benchmark::State& s, UsbRig& rig) {
        const size_t before = rig.emulated->setups().size();
        for (auto _ : s) {
            rig.clock.advance(0.01);
            rig.worker->step();
        }
        s.counters["transfers/tick"] =
            double(rig.emulated->setups().size() - before) / double(s.iterations());
    });
}
BENCHMARK(BM_UsbTick)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
