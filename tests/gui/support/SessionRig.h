// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A session over the recording board with the chip at a given address, the
// register accesses the board saw, and a finder for a window's controls.

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <QtTest>
#include <vector>

#include "board/BoardWorker.h"
#include "gui/support/RecordingHost.h"
#include "gui/support/WorkerFeed.h"
#include "link/Clock.h"
#include "monitor/Session.h"
#include "support/RecordingBoard.h"
#include "support/RecordingNotifier.h"

namespace quarnel::test {

// One register access (request 222) as the board saw it.
struct Access {
    char kind;  // 'R' or 'W'
    int reg;
    int value;  // W: the data byte; R: 0
    bool operator==(const Access&) const = default;
};

inline Access R(int reg) {
    return {'R', reg, 0};
}
inline Access W(int reg, int value) {
    return {'W', reg, value};
}

// Readable failures of the access-list comparisons ("R26 W1d=5").
inline char* toString(const std::vector<Access>& accesses) {
    QByteArray text;
    for (const Access& a : accesses) {
        text += a.kind + QByteArray::number(a.reg, 16);
        if (a.kind == 'W') text += "=" + QByteArray::number(a.value, 16);
        text += " ";
    }
    return qstrdup(text.trimmed().constData());
}

// The board worker without a thread: a command runs when posted, a tick when
// the test steps it.
struct SessionRig {
    ManualClock clock;
    RecordingBoard board;
    RecordingNotifier notifier;
    WorkerFeed wired{board, clock, notifier};
    board::BoardWorker& worker = wired.worker;
    BoardFeed& feed = wired.feed;
    Session& session = wired.worker.session();
    std::vector<int>& failures = wired.failures;
    RegisterTable table = WorkerFeed::builtTable();
    RecordingHost host;
    QString appDir = QStringLiteral(QUARNEL_BIN_DIR);

    explicit SessionRig(int address, double startSeconds = 36000.0) : clock(startSeconds) {
        session.link.DeviceAddress = address;
    }

    // Register reads and writes since the last clear, in order.
    std::vector<Access> accesses() const {
        std::vector<Access> out;
        for (const RecordedCall& c : board.callsTo(kRequestRegister)) {
            if (c.direction == kDirectionOut)
                out.push_back(W(c.lowByteOfIndex(), c.secondByteOfIndex()));
            else
                out.push_back(R(c.lowByteOfIndex()));
        }
        return out;
    }
    std::vector<Access> writes() const {
        std::vector<Access> out;
        for (const Access& a : accesses())
            if (a.kind == 'W') out.push_back(a);
        return out;
    }
};

template <typename T>
T* control(QWidget* window, const QString& name) {
    T* found = window->findChild<T*>(name);
    if (!found) qFatal("control %s missing", qPrintable(name));
    return found;
}
template <typename T>
T* control(QWidget* window, const char* name) {
    return control<T>(window, QString::fromLatin1(name));
}

}  // namespace quarnel::test
