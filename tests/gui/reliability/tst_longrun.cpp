// SPDX-License-Identifier: GPL-3.0-or-later
// A day of the board worker's ticks on the simulated board and the manual
// clock: 8,640,000 ticks of 10 ms across midnight, logging every second, the
// graphs window (never shown, so never drawn) fed by its own rate limit. The chart
// history stays bounded, the log holds one whole line per second with the
// right time column, and the board's state file is left alone.

#include <sys/stat.h>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <limits>
#include <memory>

#include "gui/reliability/ReliabilitySupport.h"
#include "gui/support/RecordingHost.h"
#include "gui/support/WorkerFeed.h"
#include "monitor/LogFile.h"
#include "monitor/MasterPoll.h"
#include "sim/SimulatedBoard.h"
#include "support/RecordingNotifier.h"
#include "support/TempDir.h"
#include "widgets/StripChart.h"
#include "windows/graphs/frmGraphing.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

constexpr double kTick = 0.01;
constexpr int64_t kTicksPerDay = 8'640'000;
constexpr double kStartOfDay = 12 * 3600.0;  // noon: midnight comes half way
constexpr int kIntervalMs = 1000;

// Changes whenever the file is written or replaced.
std::pair<ino_t, int64_t> identityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {0, 0};
    return {info.st_ino, int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec};
}

}  // namespace

class LongRunTest : public QObject {
    Q_OBJECT
  private slots:
    void aDayOfTicks_boundedHistoryAndAWholeLog() {
        TempDir dir;
        ManualClock clock(kStartOfDay);
        sim::SimOptions options;
        options.statePath = dir.file("board.json");
        sim::SimulatedBoard board(options, clock);
        RecordingNotifier notifier;
        WorkerFeed wired(board, clock, notifier);
        board::BoardWorker& worker = wired.worker;
        BoardFeed& feed = wired.feed;
        const Session& session = worker.session();
        worker.connect(QUARNEL_SOURCE_DIR "/resources", true);
        QVERIFY(wired.failures.empty());

        RecordingHost host;
        feed.setGraphingEnabled(true);
        const QDateTime opened(QDate(2024, 6, 11), QTime(12, 0));
        frmGraphing graphs(feed, notifier, host, {}, nullptr, opened);
        QVERIFY(!graphs.isVisible());
        std::string status;  // the last status text a tick set
        QObject::connect(&feed, &BoardFeed::readingsTaken, &feed,
                         [&status](const board::Readings& e) {
                             if (e.status) status = e.status;
                         });

        std::array<bool, kLogChannelCount> boxes{};
        int checked = 0;
        for (int i = 0; i < kLogChannelCount; ++i)
            if ((boxes[i] = LogChannelEnabled(i, feed.deviceState()))) ++checked;
        const std::string logPath = dir.file("day.csv");
        feed.setLogIntervalMs(kIntervalMs);
        feed.post(board::StartLogging{feed.newTicket(), logPath, boxes});
        QVERIFY(session.logging.LoggingActive);
        const auto stateFile = identityOf(options.statePath);
        QVERIFY(stateFile.first != 0);

        const StripChart* ain = graphs.chart(3);
        // Every ten minutes (the charts' history span) the samples Ain8 holds.
        int maxHeld = 0, minHeld = std::numeric_limits<int>::max();
        bool crossedMidnight = false;
        int64_t linesBeforeMidnight = 0;
        QElapsedTimer elapsed;
        elapsed.start();
        for (int64_t tick = 1; tick <= kTicksPerDay; ++tick) {
            const double before = clock.timeOfDay();
            clock.advance(kTick);
            worker.step();
            if (clock.timeOfDay() < before) {
                crossedMidnight = true;
                linesBeforeMidnight = session.logging.LoggedCount;
            }
            if (tick % 60'000 == 0) {
                maxHeld = std::max(maxHeld, ain->sampleCount(8));
                minHeld = std::min(minHeld, ain->sampleCount(8));
            }
        }
        const qint64 ms = elapsed.elapsed();
        qInfo("24 h of ticks: %lld ms", static_cast<long long>(ms));

        QVERIFY(wired.failures.empty());
        QVERIFY(notifier.messages.empty());
        QVERIFY(crossedMidnight);
        QVERIFY(session.logging.LoggingActive);
        QCOMPARE(status, std::string(kStatusLoggingText));

        // Charts: fed about ten times a second on both sides of midnight (every
        // ten minutes' span held more than 9 samples a second), never drawn,
        // holding their history span and no more.
        const int bound = static_cast<int>(ain->historySeconds() * 10) + 2;
        QVERIFY2(minHeld > bound * 9 / 10 && maxHeld <= bound,
                 qPrintable(QStringLiteral("%1 to %2").arg(minHeld).arg(maxHeld)));
        // Never drawn: a replot would have moved the time axis to the samples.
        for (int i = 0; i < kGraphCount; ++i) QCOMPARE(graphs.chart(i)->timeAxisUpper(), 60.0);
        for (int i : {0, 1, 3}) {
            const StripChart* chart = graphs.chart(i);
            for (int channel = 1; channel <= chart->channelCount(); ++channel) {
                if (!chart->channelShown(channel)) continue;  // takes no samples
                QVERIFY(chart->sampleCount(channel) > bound * 9 / 10);
                QVERIFY(chart->sampleCount(channel) <= bound);
            }
        }
        // The samples' times run from the window's opening, a whole day on.
        const qint64 span = opened.msecsTo(graphs.sampleTime());
        QVERIFY2(std::abs(span - 86'400'000) <= 1, qPrintable(QString::number(span)));

        // Log: a line whenever more than a second passed, and one at midnight.
        const int64_t lines = session.logging.LoggedCount;
        QVERIFY2(lines > 85'000 && lines <= 86'401, qPrintable(QString::number(lines)));
        QVERIFY(linesBeforeMidnight > 42'500 && lines - linesBeforeMidnight > 42'500);
        const QString problem =
            checkLogFile(QString::fromStdString(logPath), lines, checked + 1, kIntervalMs);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QFile log(QString::fromStdString(logPath));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray bytes = log.readAll();
        const QByteArray last = bytes.mid(bytes.lastIndexOf("\r\n", bytes.size() - 3) + 2);
        QCOMPARE(last.left(last.indexOf(',')), QByteArray::number(lines - 1));

        // Reads change nothing the board keeps: its file was never rewritten.
        QVERIFY(identityOf(options.statePath) == stateFile);
    }
};

QTEST_MAIN(LongRunTest)
#include "tst_longrun.moc"
