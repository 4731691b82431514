// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A session on the simulated board with a state file of its own, every
// request traced to a file the test reads back as it grows, and the window
// seams recorded.

#include <QFile>
#include <QTemporaryDir>

#include "gui/support/RecordingHost.h"
#include "gui/support/WorkerFeed.h"
#include "link/TracingBoard.h"
#include "monitor/Startup.h"
#include "sim/SimulatedBoard.h"
#include "support/RecordingNotifier.h"

namespace quarnel::test {

struct SimSessionRig {
    QTemporaryDir dir;
    ManualClock clock{36000.0};
    sim::SimulatedBoard board{options(), clock};  // its warnings on stderr
    TracingBoard traced{board, path("trace.txt"), {}};
    RecordingNotifier notifier;
    WorkerFeed wired{traced, clock, notifier};
    board::BoardWorker& worker = wired.worker;
    BoardFeed& feed = wired.feed;
    Session& session = wired.worker.session();
    std::vector<int>& failures = wired.failures;
    RegisterTable table = WorkerFeed::builtTable();
    RecordingHost host;
    QFile trace{dir.filePath(QStringLiteral("trace.txt"))};

    SimSessionRig() { trace.open(QIODevice::ReadOnly); }
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
    sim::SimOptions options() const {
        sim::SimOptions options;
        options.statePath = path("board.json");
        return options;
    }

    // The firmware in and the chip at 0x48, as the connection sequence leaves them.
    bool downloadFirmware() {
        session.link.DeviceAddress = 0x48;
        return traced.LoadFirmWare(QUARNEL_SOURCE_DIR "/resources/QUARNELFW.Hex") == 0;
    }
    // The whole connection sequence, without its settling delays.
    void connect() { worker.connect(QUARNEL_SOURCE_DIR "/resources", true, 3000); }
    QStringList newTraceLines() {
        return QString::fromLatin1(trace.readAll()).split('\n', Qt::SkipEmptyParts);
    }
};

}  // namespace quarnel::test
