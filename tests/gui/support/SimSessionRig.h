#pragma once
// A session on the simulated board with a state file of its own, every
// request traced to a file the test reads back as it grows, and the window
// seams recorded.

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "gui/support/RecordingHost.h"
#include "gui/support/RecordingNotifier.h"
#include "link/Clock.h"
#include "link/TracingBoard.h"
#include "monitor/Session.h"
#include "monitor/Startup.h"
#include "sim/SimulatedBoard.h"

namespace quarnel::test {

struct SimSessionRig {
    QTemporaryDir dir;
    ManualClock clock{36000.0};
    std::vector<std::string> warnings;
    sim::SimulatedBoard board{simOptions(), clock};
    TracingBoard traced{board, path("trace.txt"), warn()};
    RecordingNotifier notifier;
    std::vector<int> failures;
    Session session{traced, clock, notifier, [this](int code) { failures.push_back(code); }};
    RecordingHost host;
    QFile traceFile{dir.filePath(QStringLiteral("trace.txt"))};

    SimSessionRig() { traceFile.open(QIODevice::ReadOnly); }

    // The firmware in and the chip at 0x48, as the connection sequence leaves them.
    bool downloadFirmware() {
        session.link.DeviceAddress = 0x48;
        return traced.LoadFirmWare(QUARNEL_SOURCE_DIR "/resources/QUARNELFW.Hex") == 0;
    }
    // The whole connection sequence, without its settling delays.
    void connect() {
        SilentProgress progress(3000);
        RunConnectionSequence(session, progress, QUARNEL_SOURCE_DIR "/resources", true);
    }
    // The trace lines written since the last call.
    QStringList newTraceLines() {
        return QString::fromLatin1(traceFile.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    // The trace lines of register writes among them.
    static QStringList writes(const QStringList& lines) {
        return lines.filter(QRegularExpression(QStringLiteral("^222 \\S+ \\S+ 0 ")));
    }

  private:
    std::string path(const char* name) const {
        return dir.filePath(QLatin1String(name)).toStdString();
    }
    DiagnosticSink warn() {
        return [this](const std::string& message) { warnings.push_back(message); };
    }
    sim::SimOptions simOptions() {
        sim::SimOptions options;
        options.statePath = path("board.json");
        options.warn = warn();
        return options;
    }
};

}  // namespace quarnel::test
