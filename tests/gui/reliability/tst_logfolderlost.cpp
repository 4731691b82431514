// SPDX-License-Identifier: GPL-3.0-or-later
// The log file's folder lost while the program logs (removed, or replaced by
// something no file can be created in), or its medium full. One message,
// logging stops (status text and both windows' captions say so), the program
// runs on and a new log can be started elsewhere.

#include <QFileInfo>
#include <QLabel>

#include <csignal>

#include "gui/app/AppTestSupport.h"
#include "gui/reliability/ReliabilitySupport.h"
#include "monitor/MasterPoll.h"
#include "support/FileSizeLimit.h"
#include "windows/graphs/frmGraphing.h"
#include "windows/logging/frmSave.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

constexpr int kIntervalMs = 100;

}  // namespace

class LogFolderLostTest : public QObject {
    Q_OBJECT

    std::optional<QString> answer_;
    std::unique_ptr<AppHarness> h_;
    QString folder_, logPath_;
    QWidget* logging_ = nullptr;
    QWidget* graphs_ = nullptr;
    int checked_ = 0;

    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            if (!tick(h_->clock, *h_->app)) QFAIL("the link failed");
    }
    QString loggingCaption() const { return control<QPushButton>(logging_, "cmdLog")->text(); }
    QString graphsCaption() const { return control<QPushButton>(graphs_, "cmdLog")->text(); }
    const LoggingState& state() const { return h_->app->worker().session().logging; }

    // The program runs with the logging window open and a log started in
    // `folder_`, a few lines written.
    void startLogging() {
        HarnessOptions options;
        options.createWindow = realWindowsAnswering(answer_);
        h_ = std::make_unique<AppHarness>(options);
        folder_ = h_->file("logs");
        logPath_ = folder_ + QStringLiteral("/run.csv");
        QVERIFY(QDir().mkpath(folder_));
        answer_ = logPath_;
        QVERIFY(h_->app->StartApplication());
        h_->main().openWindow(ToolWindow::Logging);
        logging_ = openForm(h_->main(), ToolWindow::Logging);
        graphs_ = openForm(h_->main(), ToolWindow::Graphs);
        QVERIFY(logging_ && graphs_);
        checked_ = startLoggingThroughWindow(logging_, QString::number(kIntervalMs));
        QVERIFY(state().LoggingActive);
        ticks(100);
        QVERIFY(state().LoggedCount >= 5);
        QCOMPARE(h_->main().statusText(), QString::fromLatin1(kStatusLoggingText));
        QCOMPARE(loggingCaption(), QString::fromLatin1(kStopLoggingCaption));
        QCOMPARE(graphsCaption(), QString::fromLatin1(kLoggingText));
        QVERIFY(h_->notifier.messages.empty());
    }

    // The next due line fails: one message naming the file, logging off, the
    // program still polling, and a log in a new folder starts and writes.
    void expectStoppedAndRunningOn() {
        const int64_t written = state().LoggedCount;
        ticks(20);
        QCOMPARE(h_->notifier.messages.size(), size_t(1));
        const std::string& text = h_->notifier.messages[0].text;
        QVERIFY2(text.find(logPath_.toStdString()) != std::string::npos, text.c_str());
        QCOMPARE(h_->notifier.messages[0].icon, Notifier::Icon::Error);
        QVERIFY(!state().LoggingActive);
        QCOMPARE(state().LoggedCount, written);
        QCOMPARE(h_->main().statusText(), QString::fromLatin1(kStatusIdleText));
        QCOMPARE(loggingCaption(), QString::fromLatin1(kLogDataCaption));

        const int requests = h_->counting->requests;
        const int16_t pollState = h_->app->worker().poll().PollState;
        ticks(250);  // the graphs window refreshes too
        QCOMPARE(h_->counting->requests, requests + 500);
        QCOMPARE(h_->app->worker().poll().PollState, static_cast<int16_t>((pollState + 250) % 12));
        QCOMPARE(graphsCaption(), QString::fromLatin1(kLogDataText));
        QCOMPARE(h_->notifier.messages.size(), size_t(1));
        QVERIFY(h_->endStatuses.empty());
        QVERIFY(!h_->main().closed());
        QCOMPARE(h_->main().statusText(), QString::fromLatin1(kStatusIdleText));

        // The user picks another folder and logs on.
        const QString again = h_->file("again.csv");
        answer_ = again;
        control<QPushButton>(logging_, "cmdLog")->click();
        QVERIFY(state().LoggingActive);
        ticks(100);
        QVERIFY(state().LoggedCount >= 5);
        const QString problem = checkLogFile(again, state().LoggedCount, checked_ + 1, kIntervalMs);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(h_->notifier.messages.size(), size_t(1));
    }

  private slots:
    void init() { clearSettings(); }
    void cleanup() { h_.reset(); }

    void folderRemoved() {
        startLogging();
        QVERIFY(QDir(folder_).removeRecursively());
        expectStoppedAndRunningOn();
    }

    // The program runs as root here, where taking the write permission away
    // stops nothing; a regular file standing where the folder was refuses
    // every new file as surely. The folder moved aside keeps the log to check.
    void folderReplacedByAFile() {
        startLogging();
        const QString aside = folder_ + QStringLiteral(".moved");
        QVERIFY(QDir().rename(folder_, aside));
        QFile blocker(folder_);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const int64_t written = state().LoggedCount;

        expectStoppedAndRunningOn();
        const QString problem =
            checkLogFile(aside + QStringLiteral("/run.csv"), written, checked_ + 1, kIntervalMs);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // A medium that takes no more bytes: the open succeeds, the write fails
    // part-way, and the part written is cut back off.
    void mediumFull() {
        startLogging();
        const int64_t written = state().LoggedCount;
        {
            FileSizeLimit full(QFileInfo(logPath_).size() + 5);
            ticks(20);
        }
        QVERIFY(!state().LoggingActive);
        QCOMPARE(state().LoggedCount, written);
        expectStoppedAndRunningOn();
        const QString problem = checkLogFile(logPath_, written, checked_ + 1, kIntervalMs);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QUARNEL_APP_TEST_MAIN(LogFolderLostTest)
#include "tst_logfolderlost.moc"
