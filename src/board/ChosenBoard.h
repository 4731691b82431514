// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The board the options chose, ready for LoadFirmWare: the simulated board or
// the USB board, inside the request trace when --trace was given.
//
//   board::ChosenBoard board(options, clock, warn, diagnostic);
//   Session session(board.link(), clock, notifier, onFailure);
//   board.waitWith(session.link);

#include <memory>
#include <string>
#include <vector>

#include "board/BoardOptions.h"
#include "link/Clock.h"
#include "link/Orvalink.h"
#include "link/TracingBoard.h"

namespace quarnel {
class BoardLink;
}
namespace quarnel::sim {
class SimulatedBoard;
}
namespace quarnel::usb {
class UsbBoard;
}

namespace quarnel::board {

class ChosenBoard {
  public:
    // warn: the simulated board's warnings and a trace file that cannot be opened.
    // diagnostic: what the USB board tells at once (a long wait, a board that moved),
    // also written into the trace, as each failure is.
    ChosenBoard(const BoardOptions& options, Clock& clock, DiagnosticSink warn,
                DiagnosticSink diagnostic);
    ~ChosenBoard();
    ChosenBoard(const ChosenBoard&) = delete;
    ChosenBoard& operator=(const ChosenBoard&) = delete;

    // The USB board's wait for its return after the download runs on the link's clock
    // and ends at the link's stop request (Ctrl+C), as the start-up's delays do.
    void waitWith(BoardLink& link);

    // What the session talks to: the trace when there is one, else the board.
    Orvalink& link();
    // The status bar's board panel: "Simulated board", "USB board 1209:0002".
    std::string name() const;
    // quarnelctl info's: "simulated, state <file>", "USB 1209:0002, bus 001 device 008".
    std::string description() const;
    // The board behind the trace: one of them is set.
    const sim::SimulatedBoard* simulated() const { return simulated_.get(); }
    const usb::UsbBoard* usb() const { return usb_.get(); }
    // The USB board's account of the failure that just ended something ("" when none).
    std::string takeFailure();
    // The files the program keeps for itself: the simulated board's state file and
    // its lock, the trace. Nothing else may write over them.
    std::vector<std::string> ownFiles() const;

  private:
    std::unique_ptr<sim::SimulatedBoard> simulated_;
    std::unique_ptr<usb::UsbBoard> usb_;
    std::unique_ptr<TracingBoard> trace_;
    std::string tracePath_;
};

}  // namespace quarnel::board
