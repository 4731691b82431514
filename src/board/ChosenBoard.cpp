// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/ChosenBoard.h"

#include <cstdio>

#include "link/BoardLink.h"
#include "sim/SimulatedBoard.h"
#include "usb/UsbBoard.h"

namespace quarnel::board {

static_assert(sim::kTransferTimedOut == usb::kTransferTimedOut,
              "a stalled simulated request fails as a timed-out USB transfer does");

ChosenBoard::ChosenBoard(const BoardOptions& options, Clock& clock, DiagnosticSink warn,
                         DiagnosticSink diagnostic) {
    Orvalink* board = nullptr;
    if (options.usb) {
        usb::UsbOptions u;
        u.ids = *options.usb;
        u.cpucsAddress = options.usbCpucs;
        u.port = options.usbPort;
        u.serial = options.usbSerial;
        u.reload = options.usbReload;
        u.ram = options.usbRam;
        u.reenumerationSeconds = options.usbWaitSeconds;
        u.diagnostic = [this, diagnostic](const std::string& line) {
            if (diagnostic) diagnostic(line);
            if (trace_) trace_->note(line);
        };
        u.note = [this](const std::string& line) {
            if (trace_) trace_->note(line);
        };
        usb_ = std::make_unique<usb::UsbBoard>(std::move(u), clock);
        board = usb_.get();
    } else {
        sim::SimOptions s = options.sim;
        s.warn = warn;
        simulated_ = std::make_unique<sim::SimulatedBoard>(std::move(s), clock);
        board = simulated_.get();
    }
    if (!options.tracePath.empty())
        trace_ = std::make_unique<TracingBoard>(*board, options.tracePath, warn);
    tracePath_ = options.tracePath;
}

std::vector<std::string> ChosenBoard::ownFiles() const {
    std::vector<std::string> files;
    if (simulated_)
        files = {simulated_->statePath(), sim::BoardLock::lockPath(simulated_->statePath())};
    if (!tracePath_.empty()) files.push_back(tracePath_);
    return files;
}

ChosenBoard::~ChosenBoard() = default;

std::string ChosenBoard::takeFailure() {
    return usb_ ? usb_->takeFailure() : std::string();
}

void ChosenBoard::waitWith(BoardLink& link) {
    if (usb_)
        usb_->waitWith(link.clock(),
                       [&link] { return link.stopRequested && link.stopRequested(); });
}

Orvalink& ChosenBoard::link() {
    if (trace_) return *trace_;
    if (usb_) return *usb_;
    return *simulated_;
}

std::string ChosenBoard::name() const {
    return usb_ ? "USB board " + usb::formatUsbId(usb_->options().ids.after) : "Simulated board";
}

std::string ChosenBoard::description() const {
    if (!usb_) return "simulated, state " + simulated_->statePath();
    std::string text = "USB " + usb::formatUsbId(usb_->options().ids.after);
    if (const auto at = usb_->location()) {
        char where[48];
        std::snprintf(where, sizeof where, ", bus %03d device %03d", at->bus, at->device);
        text += where;
        if (!at->serial.empty()) text += ", serial " + at->serial;
    }
    return text;
}

}  // namespace quarnel::board
