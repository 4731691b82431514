// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the reliability tests: the program's own windows with a file
// chooser that answers without a dialog, and a byte-level check of a log file.

#include <QByteArray>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QString>
#include <cmath>
#include <optional>

#include "app/Application.h"
#include "app/WindowFactory.h"
#include "app/frmMain.h"
#include "link/Clock.h"
#include "link/LinkFailure.h"

namespace quarnel::test {

// The program's window factory; the logging window's file dialog answers
// with whatever `answer` holds when it is asked.
inline WindowFactory realWindowsAnswering(const std::optional<QString>& answer) {
    return [&answer](ToolWindow which, const WindowContext& c) {
        FileChooser chooser = [&answer](QWidget*, const QString&, const QString&, const QString&) {
            return answer;
        };
        const WindowContext context{c.feed,    c.notifier, c.table,         c.host,
                                    c.openUrl, chooser,    c.applicationDir};
        return CreateToolWindow(which, context);
    };
}

// The clock 10 ms on and one tick of the program's board worker; false when
// the link failed in it.
inline bool tick(ManualClock& clock, Application& app) {
    clock.advance(0.01);
    try {
        app.worker().step();
    } catch (const LinkFailure&) {
        return false;
    }
    return true;
}

// The widget inside the open window's frame, or nullptr.
inline QWidget* openForm(const frmMain& main, ToolWindow which) {
    QMdiSubWindow* sub = main.subWindow(which);
    return sub ? sub->widget() : nullptr;
}

template <class T>
T* control(QWidget* form, const char* name) {
    return form ? form->findChild<T*>(QLatin1String(name)) : nullptr;
}

// In the logging window: every enabled box ticked, the interval typed, and
// the log started (the chooser answers).
inline int startLoggingThroughWindow(QWidget* logging, const QString& intervalMs) {
    int checked = 0;
    for (int i = 0; i < kLogChannelCount; ++i) {
        auto* box = control<QCheckBox>(logging, qPrintable(QStringLiteral("chkLog_%1").arg(i)));
        if (!box || !box->isEnabled()) continue;
        box->setChecked(true);
        ++checked;
    }
    control<QLineEdit>(logging, "txtLogInt")->setText(intervalMs);
    control<QPushButton>(logging, "cmdLog")->click();
    return checked;
}

// Empty when the file is the preamble, one header of `fields` columns and
// exactly `lines` data lines of `fields` columns, each whole and ended by
// CR LF, the time column of line i being i x interval. Otherwise what is wrong.
inline QString checkLogFile(const QString& path, int64_t lines, int fields, int intervalMs) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("cannot read ") + path;
    const QByteArray bytes = file.readAll();
    const QByteArray preamble = "\r\nQUARNEL Log File\r\n\r\n";
    if (!bytes.startsWith(preamble)) return QStringLiteral("no preamble");
    if (!bytes.endsWith("\r\n")) return QStringLiteral("the last line is not ended by CR LF");
    qsizetype at = preamble.size();
    int64_t row = -1;  // the header
    while (at < bytes.size()) {
        const qsizetype end = bytes.indexOf("\r\n", at);
        const QByteArray line = bytes.mid(at, end - at);
        at = end + 2;
        const QString where = QStringLiteral("line %1: ").arg(row);
        if (line.contains('\r') || line.contains('\n'))
            return where + QStringLiteral("a stray line break");
        // Every field ends with a comma.
        if (!line.endsWith(',') || line.count(',') != fields)
            return where + QStringLiteral("%1 fields, not %2: ").arg(line.count(',')).arg(fields) +
                   QString::fromLatin1(line);
        if (row < 0) {
            if (!line.startsWith("Time(s) ,")) return where + QStringLiteral("no header");
        } else {
            bool ok = false;
            const double seconds = line.left(line.indexOf(',')).toDouble(&ok);
            const double expected = static_cast<double>(row) * intervalMs / 1000.0;
            if (!ok || std::abs(seconds - expected) > 1e-6)
                return where + QStringLiteral("time %1, expected %2")
                                   .arg(QString::fromLatin1(line.left(line.indexOf(','))))
                                   .arg(expected);
        }
        ++row;
    }
    if (row != lines) return QStringLiteral("%1 data lines, expected %2").arg(row).arg(lines);
    return QString();
}

}  // namespace quarnel::test
