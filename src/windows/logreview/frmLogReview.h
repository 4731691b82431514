// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A log file in charts: its runs (one or all, one after another), the
// channels in the graphs window's groups against time, a cursor readout and
// the statistics of the visible range. The file is read on a worker thread.

#include <QWidget>
#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "monitor/LogReader.h"
#include "widgets/ChartCursor.h"
#include "windows/WindowHost.h"

class QCheckBox;
class QCustomPlot;

namespace Ui {
class frmLogReview;
}

namespace quarnel {

class ColumnTrace;
class Notifier;

inline constexpr const char* kLogReviewFilter = "CSV log files (*.csv);;All files (*)";
inline constexpr const char* kAllRunsText = "All runs";

class frmLogReview : public QWidget {
    Q_OBJECT
  public:
    // Starts reading the file at once. A file that turns out not to be a log
    // is reported through the notifier and the window closes.
    frmLogReview(const QString& path, Notifier& notifier, FileChooser chooseFile, WindowHost& host,
                 QWidget* parent = nullptr);
    ~frmLogReview() override;

    // The data read, once loading finished.
    const LogReadResult& log() const { return log_; }
    bool loading() const { return worker_.joinable() && !finished_; }
    // -1: all runs.
    void showRun(int run);
    void fitAll();
    // The cursor at a time: the readout shows the values there.
    void setCursorTime(double seconds);
    QString readoutText() const;
    // Charts in group order; a group without columns has none.
    std::vector<QCustomPlot*> charts() const;
    void setChannelShown(int channel, bool shown);

  signals:
    void loadFinished();

  private:
    struct Trace {
        int channel;  // LogChannels() position
        QString label;
        int chart;
        ColumnTrace* trace;
    };
    void progress(double fraction);
    void finished(LogReadResult result);
    void rebuild();
    void updateStatistics();
    void syncTimeRange(double lower, double upper);
    void contextMenu(QCustomPlot* plot, const QPoint& pos);

    std::unique_ptr<Ui::frmLogReview> ui;
    QString path_;
    Notifier& notifier_;
    FileChooser chooseFile_;
    WindowHost& host_;
    std::atomic<bool> cancel_{false};
    std::thread worker_;
    bool finished_ = false;
    LogReadResult log_;
    int run_ = -1;
    double cursor_ = 0;
    std::vector<QCustomPlot*> charts_;
    std::vector<ChartCursor> cursors_;
    std::vector<Trace> traces_;
    std::array<QCheckBox*, 12> boxes_{};
    std::array<bool, 12> shown_{};
};

}  // namespace quarnel
