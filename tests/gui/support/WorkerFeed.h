// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A board worker without a thread wired to the windows' feed, as the program
// wires them: the board's messages reach the notifier, its failures are recorded.

#include <QObject>
#include <vector>

#include "board/BoardWorker.h"
#include "device/RegisterTable.h"
#include "windows/BoardFeed.h"

namespace quarnel::test {

struct WorkerFeed {
    WorkerFeed(Orvalink& board, Clock& clock, Notifier& notifier)
        : worker(board, clock, [this](const board::Event& e) {
              if (const auto* failed = std::get_if<board::LinkFailed>(&e))
                  failures.push_back(failed->code);
              feed.deliver(e);
          }) {
        QObject::connect(&feed, &BoardFeed::message, &feed, [&notifier](const board::Message& m) {
            notifier.message(m.text, m.icon);
        });
    }
    static RegisterTable builtTable() {
        RegisterTable table;
        table.BuildRegisterTable();
        return table;
    }

    std::vector<int> failures;
    BoardFeed feed{{[this](board::Command c) { worker.post(std::move(c)); },
                    [this] { return worker.newTicket(); }}};
    board::BoardWorker worker;
};

}  // namespace quarnel::test
