// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/BoardConnection.h"

#include "monitor/Startup.h"
#include "sim/SimulatedBoard.h"
#include "usb/UsbBoard.h"

namespace quarnel::board {

BoardConnection::BoardConnection(const BoardOptions& options, Clock& clock, ConnectionSinks sinks)
    : options_(options),
      clock_(clock),
      sinks_(std::move(sinks)),
      board_(options, clock, sinks_.warn, sinks_.usbDiagnostic),
      session_(board_.link(), clock, sinks_.notifier, sinks_.onFailure),
      poll_(session_) {
    session_.link.stopRequested = [this] { return stopRequested(); };
    session_.link.FirmwareFile = options.firmware;
    board_.waitWith(session_.link);
}

void BoardConnection::connect(const std::string& applicationDir) {
    SilentProgress progress;
    RunConnectionSequence(session_, progress, applicationDir, options_.quick);
}

BoardFacts BoardConnection::facts() const {
    if (const auto* simulated = board_.simulated()) return {simulated->statePath()};
    BoardFacts facts{"", usb::formatUsbId(board_.usb()->options().ids.after)};
    if (const auto at = board_.usb()->location()) facts.busDevice = {at->bus, at->device};
    return facts;
}

void BoardConnection::warmUp() {
    for (int i = 0; i < 2 * kPollStates && !stopRequested(); ++i) tick();
}

void BoardConnection::tick() {
    poll_.Tick(nullptr);
    clock_.sleep(kTickSeconds);
}

bool BoardConnection::completeCycle() {
    do {
        if (stopRequested()) return false;
        tick();
    } while (poll_.PollState != 0);
    return true;
}

}  // namespace quarnel::board
