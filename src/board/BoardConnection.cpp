// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/BoardConnection.h"

#include "sim/SimulatedBoard.h"
#include "usb/UsbBoard.h"

namespace quarnel::board {

BoardConnection::BoardConnection(const BoardOptions& options, Clock& clock, ConnectionSinks sinks)
    : options_(options),
      clock_(clock),
      sinks_(std::move(sinks)),
      board_(options, clock, sinks_.warn, sinks_.usbDiagnostic),
      worker_(board_.link(), clock, [this](const Event& event) {
          if (const auto* message = std::get_if<Message>(&event)) {
              sinks_.notifier.message(message->text, message->icon);
          } else if (const auto* failed = std::get_if<LinkFailed>(&event)) {
              failure_ = failed->code;
              if (!failed->cause.empty() && !stopRequested() && sinks_.usbDiagnostic)
                  sinks_.usbDiagnostic(failed->cause);
              if (sinks_.onFailure) sinks_.onFailure(failed->code);
          } else if (const auto* lost = std::get_if<BoardLost>(&event)) {
              if (!lost->cause.empty() && sinks_.usbDiagnostic) sinks_.usbDiagnostic(lost->cause);
          }
          std::visit(
              [&](const auto& e) {
                  if constexpr (requires { e.ticket; })
                      if (e.ticket == ticket_) answer_ = event;
              },
              event);
          if (sinks_.events) sinks_.events(event);
          if (observer_) observer_(event);
      }) {
    worker_.stopRequested = [this] { return stopRequested(); };
    worker_.failureCause = [this] { return board_.takeFailure(); };
    worker_.session().link.FirmwareFile = options.firmware;
    board_.waitWith(worker_.session().link);
}

void BoardConnection::connect(const std::string& applicationDir) {
    worker_.connect(applicationDir, options_.quick);
}

BoardFacts BoardConnection::facts() const {
    if (const auto* simulated = board_.simulated()) return {simulated->statePath()};
    BoardFacts facts{"", usb::formatUsbId(board_.usb()->options().ids.after)};
    if (const auto at = board_.usb()->location()) {
        facts.busDevice = {at->bus, at->device};
        facts.serial = at->serial;
    }
    return facts;
}

bool BoardConnection::run(const std::function<bool()>& done, double period) {
    return worker_.run(done, period);
}

template <class Answer, class Command>
Answer BoardConnection::ask(Command command) {
    ticket_ = command.ticket = worker_.newTicket();
    answer_.reset();
    // No thread runs the worker here: the command runs at once.
    worker_.post(std::move(command));
    if (failure_ >= 0) throw LinkFailure(failure_);
    return std::get<Answer>(answer_.value());
}

std::vector<int> BoardConnection::readRegisters(const std::vector<int>& registers) {
    return ask<RegisterValues>(ReadRegisters{0, registers}).values;
}

ProfileRead BoardConnection::readProfile(const std::string& savedAt) {
    return ask<ProfileRead>(ReadProfile{0, savedAt});
}

ProfileRead BoardConnection::compareProfile(const Profile& profile) {
    return ask<ProfileRead>(CompareProfile{0, profile});
}

ProfileWritten BoardConnection::writeProfile(const Profile& profile,
                                             const std::vector<RegisterChange>& changes) {
    return ask<ProfileWritten>(WriteProfile{0, profile, changes});
}

void BoardConnection::writeRegister(int reg, int32_t value) {
    worker_.post(WriteRegister{reg, value});
    if (failure_ >= 0) throw LinkFailure(failure_);
}

void BoardConnection::warmUp() {
    int ticks = 0;
    run([&ticks] { return ++ticks >= 2 * kPollStates; });
}

bool BoardConnection::completeCycle() {
    if (stopRequested()) return false;
    return run([this] { return worker_.poll().PollState == 0; });
}

}  // namespace quarnel::board
