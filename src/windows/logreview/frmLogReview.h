// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A log file in charts: its runs (one or all, one after another), the
// channels in the graphs window's groups against time, a cursor readout and
// the statistics of the visible range. The file is read on a worker thread.
// Everything the mouse does has a key too (the charts' menus list them).

#include <QWidget>
#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "monitor/LogReader.h"
#include "widgets/ChartCursor.h"
#include "windows/WindowHost.h"

class QAction;
class QCheckBox;
class QCustomPlot;
class QCPMarginGroup;
class QCPRange;

namespace Ui {
class frmLogReview;
}

namespace quarnel {

class ColumnTrace;
class Notifier;
class ReviewChart;

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
    using Log = BasicLogReadResult<LogDecimal>;  // in small columns
    const Log& log() const { return log_; }
    bool loading() const { return worker_.joinable() && !finished_; }
    // -1: all runs.
    void showRun(int run);
    void fitAll();
    // The cursor at a time: the readout shows the values there.
    void setCursorTime(double seconds);
    double cursorTime() const { return cursor_; }
    // Charts in group order; a group without columns has none.
    std::vector<QCustomPlot*> charts() const;
    void setChannelShown(int channel, bool shown);

  signals:
    void loadFinished();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    struct Trace {
        int channel;  // LogChannels() position
        QString label;
        int chart;
        ColumnTrace* trace;
    };
    void progress(double fraction);
    void finished(Log result);
    void rebuild();
    ReviewChart* addChart(int group);
    void addChartActions(ReviewChart* chart);
    void updateStatistics();
    void updateLegend(QCustomPlot* chart);
    void syncTimeRange(double lower, double upper);
    void setTimeRange(double lower, double upper);
    // Around the cursor when it is in view, else around the middle.
    void zoomTime(double factor);
    void panTime(double fraction);  // of the visible span
    // The cursor to the sample before or after it among the chart's traces.
    void stepCursor(QCustomPlot* chart, int direction);
    // The cursor by a fraction of the visible span, within the chart's shown
    // samples; a page takes the view along, else the view follows it out.
    void moveCursorBy(QCustomPlot* chart, double fraction, bool page);
    // The cursor to the chart's first (direction < 0) or last shown sample.
    void cursorToEnd(QCustomPlot* chart, int direction);
    // The cursor to a time; the view, of its span, follows it out of view.
    void moveCursor(double time, const QCPRange& view);
    // From the first to the last shown sample of the chart; false if none.
    bool shownSpan(QCustomPlot* chart, QCPRange& span) const;
    // A chart whose channels are all hidden is hidden with them.
    void showChartsWithChannels();
    // One Tab order in reading order: the buttons, the charts, the side.
    void orderTabs();
    void contextMenu(ReviewChart* chart, const QPoint& pos);
    ChartCursor* cursorOf(QCustomPlot* chart);  // null for a chart no longer shown
    // Without the cursor line: the picture is of the data.
    void copyImage(QCustomPlot* chart);
    void saveImage(QCustomPlot* chart);
    void releaseColumns();

    std::unique_ptr<Ui::frmLogReview> ui;
    QString path_;
    Notifier& notifier_;
    FileChooser chooseFile_;
    WindowHost& host_;
    std::atomic<bool> cancel_{false};
    std::thread worker_;
    bool finished_ = false;
    Log log_;
    int run_ = -1;
    double cursor_ = 0;
    std::vector<QCustomPlot*> charts_;
    std::vector<ChartCursor> cursors_;
    QCPMarginGroup* margins_;  // one time is one x in every chart
    QAction* fitAction_;
    bool shownOnce_ = false;
    QSize formSize_;  // as laid out in the form, for its font
    std::vector<Trace> traces_;
    std::array<QCheckBox*, 12> boxes_{};
    std::array<bool, 12> shown_{};
};

}  // namespace quarnel
