// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/logreview/frmLogReview.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <algorithm>
#include <cmath>
#include <limits>

#include "monitor/LogFile.h"
#include "monitor/Session.h"
#include "ui_frmLogReview.h"
#include "widgets/PlotImage.h"
#include "windows/logreview/ColumnTrace.h"

namespace quarnel {
namespace {

const char* const kGroupTitles[] = {"Temperatures", "Vdd", "Ain1 to Ain8"};
const QColor kColors[] = {
    Qt::red,   Qt::blue,    Qt::darkGreen,   Qt::magenta,         Qt::darkCyan, Qt::darkYellow,
    Qt::black, Qt::darkRed, Qt::darkMagenta, QColor(255, 128, 0), Qt::darkBlue, Qt::gray};

// The chart group of a LogChannels() position.
int groupOf(int channel) {
    const LogChannel& c = LogChannels()[size_t(channel)];
    return c.temperature ? 0 : channel == 2 ? 1 : 2;
}

}  // namespace

frmLogReview::frmLogReview(const QString& path, Notifier& notifier, FileChooser chooseFile,
                           WindowHost& host, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::frmLogReview>()),
      path_(path),
      notifier_(notifier),
      chooseFile_(std::move(chooseFile)),
      host_(host) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QFileInfo(path).fileName());
    shown_.fill(true);
    for (int i = 0; i < kLogChannelCount; ++i) {
        boxes_[i] = new QCheckBox(QString::fromLatin1(LogChannels()[size_t(i)].label), this);
        boxes_[i]->setObjectName(QStringLiteral("chkShow_%1").arg(i));
        boxes_[i]->setChecked(true);
        boxes_[i]->hide();
        ui->layChannels->addWidget(boxes_[i], i / 2, i % 2);
        connect(boxes_[i], &QCheckBox::toggled, this,
                [this, i](bool on) { setChannelShown(i, on); });
    }
    connect(ui->cmdFit, &QPushButton::clicked, this, &frmLogReview::fitAll);
    connect(ui->cmdCancel, &QPushButton::clicked, this, [this] { cancel_ = true; });
    connect(ui->lstRuns, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row - 1 != run_) showRun(row - 1);
    });
    ui->cmdFit->setEnabled(false);

    const std::string file = path.toStdString();
    worker_ = std::thread([this, file] {
        LogReadResult result = ReadLogFile(file, &cancel_, [this](double fraction) {
            QMetaObject::invokeMethod(
                this, [this, fraction] { progress(fraction); }, Qt::QueuedConnection);
        });
        auto shared = std::make_shared<LogReadResult>(std::move(result));
        QMetaObject::invokeMethod(
            this, [this, shared] { finished(std::move(*shared)); }, Qt::QueuedConnection);
    });
}

frmLogReview::~frmLogReview() {
    // The worker posts to this window: it must end first.
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}

void frmLogReview::progress(double fraction) {
    ui->prgLoad->setValue(int(fraction * 1000));
}

void frmLogReview::finished(LogReadResult result) {
    finished_ = true;
    ui->prgLoad->hide();
    ui->cmdCancel->hide();
    if (result.status == LogReadResult::Status::Cancelled) {
        ui->lblDamaged->setText(QStringLiteral("Loading cancelled."));
        emit loadFinished();
        return;
    }
    if (!result.ok()) {
        notifier_.message(result.error, Notifier::Icon::Error);
        emit loadFinished();
        host_.closeFrame(this);
        return;
    }
    log_ = std::move(result);
    if (log_.damagedLines > 0)
        ui->lblDamaged->setText(QStringLiteral("%1 damaged line(s) skipped, the first is line %2.")
                                    .arg(log_.damagedLines)
                                    .arg(log_.firstDamagedLine));
    const QSignalBlocker block(ui->lstRuns);
    ui->lstRuns->clear();
    ui->lstRuns->addItem(QString::fromLatin1(kAllRunsText));
    for (size_t i = 0; i < log_.runs.size(); ++i) {
        const LogRun& r = log_.runs[i];
        ui->lstRuns->addItem(QStringLiteral("Run %1: %2 lines, %3 channels%4")
                                 .arg(i + 1)
                                 .arg(r.time.size())
                                 .arg(r.channels.size())
                                 .arg(r.fahrenheit ? QStringLiteral(", \u00B0F") : QString()));
    }
    ui->cmdFit->setEnabled(true);
    showRun(-1);
    emit loadFinished();
}

void frmLogReview::showRun(int run) {
    run_ = run;
    const QSignalBlocker block(ui->lstRuns);
    ui->lstRuns->setCurrentRow(run + 1);
    rebuild();
}

void frmLogReview::rebuild() {
    for (QCustomPlot* chart : charts_) chart->deleteLater();
    charts_.clear();
    cursors_.clear();
    traces_.clear();
    // A temperature channel logged in both units gets a trace per unit.
    std::array<ColumnTrace*, 2 * kLogChannelCount> traces{};
    std::array<int, 3> chartOfGroup{-1, -1, -1};
    double offset = 0;
    const size_t first = run_ < 0 ? 0 : size_t(run_);
    const size_t last = run_ < 0 ? log_.runs.size() : first + 1;
    for (size_t r = first; r < last; ++r) {
        const LogRun& run = log_.runs[r];
        for (size_t col = 0; col < run.channels.size(); ++col) {
            const int channel = run.channels[col];
            const int group = groupOf(channel);
            if (chartOfGroup[group] < 0) {
                chartOfGroup[group] = int(charts_.size());
                auto* plot = new QCustomPlot(ui->fraCharts);
                plot->setObjectName(QStringLiteral("pltGroup_%1").arg(group));
                plot->plotLayout()->insertRow(0);
                plot->plotLayout()->addElement(
                    0, 0, new QCPTextElement(plot, QString::fromLatin1(kGroupTitles[group])));
                plot->xAxis->setLabel(QStringLiteral("Time (s)"));
                plot->legend->setVisible(true);
                plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
                plot->axisRect()->setRangeDrag(Qt::Horizontal);
                plot->axisRect()->setRangeZoom(Qt::Horizontal);
                plot->setContextMenuPolicy(Qt::CustomContextMenu);
                connect(plot, &QWidget::customContextMenuRequested, this,
                        [this, plot](const QPoint& pos) { contextMenu(plot, pos); });
                connect(plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
                        [this](const QCPRange& range) { syncTimeRange(range.lower, range.upper); });
                connect(plot, &QCustomPlot::mouseMove, this, [this, plot](QMouseEvent* event) {
                    setCursorTime(plot->xAxis->pixelToCoord(event->position().x()));
                });
                // The legend in a row under the chart, off the traces.
                plot->axisRect()->insetLayout()->take(plot->legend);
                plot->plotLayout()->addElement(2, 0, plot->legend);
                plot->plotLayout()->setRowStretchFactor(2, 0.001);
                plot->legend->setFont(QFont(font().family(), 8));
                plot->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
                plot->legend->setWrap(4);
                cursors_.emplace_back(plot).moveTo(cursor_);
                charts_.push_back(plot);
                ui->layCharts->addWidget(plot);
            }
            const bool fahrenheit = group == 0 && run.fahrenheit;
            ColumnTrace*& trace = traces[size_t(2 * channel + (fahrenheit ? 1 : 0))];
            if (!trace) {
                QCustomPlot* plot = charts_[size_t(chartOfGroup[group])];
                trace = new ColumnTrace(plot->xAxis, plot->yAxis);
                trace->setPen(QPen(kColors[channel], 1, fahrenheit ? Qt::DashLine : Qt::SolidLine));
                const QString label = QString::fromStdString(run.columns[col]);
                trace->setName(label);
                traces_.push_back({channel, label, chartOfGroup[group], trace});
            }
            trace->addSegment(run.time, run.values[col], offset);
        }
        if (!run.time.empty()) offset += run.time.back() + (run.time.size() > 1 ? run.time[1] : 1);
    }
    std::stable_sort(traces_.begin(), traces_.end(),
                     [](const Trace& a, const Trace& b) { return a.channel < b.channel; });
    for (int i = 0; i < kLogChannelCount; ++i) {
        boxes_[i]->setVisible(traces[size_t(2 * i)] || traces[size_t(2 * i + 1)]);
        for (ColumnTrace* trace : {traces[size_t(2 * i)], traces[size_t(2 * i + 1)]})
            if (trace) trace->setVisible(shown_[i]);
    }
    fitAll();
}

void frmLogReview::fitAll() {
    // Each chart fits its own data; the time axis then spans them all.
    QCPRange all;
    bool first = true;
    for (QCustomPlot* plot : charts_) {
        const QSignalBlocker block(plot->xAxis);
        plot->rescaleAxes(true);
        plot->yAxis->scaleRange(1.1);
        all = first ? plot->xAxis->range()
                    : QCPRange(std::min(all.lower, plot->xAxis->range().lower),
                               std::max(all.upper, plot->xAxis->range().upper));
        first = false;
    }
    for (QCustomPlot* plot : charts_) {
        const QSignalBlocker block(plot->xAxis);
        plot->xAxis->setRange(all);
        plot->replot(QCustomPlot::rpQueuedReplot);
    }
    updateStatistics();
}

void frmLogReview::syncTimeRange(double lower, double upper) {
    for (QCustomPlot* plot : charts_) {
        if (plot->xAxis->range() == QCPRange(lower, upper)) continue;
        const QSignalBlocker block(plot->xAxis);
        plot->xAxis->setRange(lower, upper);
        plot->replot(QCustomPlot::rpQueuedReplot);
    }
    updateStatistics();
}

void frmLogReview::setChannelShown(int channel, bool shown) {
    shown_[size_t(channel)] = shown;
    boxes_[size_t(channel)]->setChecked(shown);
    for (const Trace& t : traces_) {
        if (t.channel != channel) continue;
        t.trace->setVisible(shown);
        charts_[size_t(t.chart)]->replot(QCustomPlot::rpQueuedReplot);
    }
    updateStatistics();
}

void frmLogReview::setCursorTime(double seconds) {
    cursor_ = seconds;
    for (ChartCursor& line : cursors_) {
        line.moveTo(seconds);
        line.plot()->replot(QCustomPlot::rpQueuedReplot);
    }
    updateStatistics();
}

void frmLogReview::updateStatistics() {
    QString html = QStringLiteral(
                       "<b>Time %1 s</b><table cellspacing=4>"
                       "<tr><th></th><th>cursor</th><th>min</th><th>max</th>"
                       "<th>mean</th></tr>")
                       .arg(ReadoutNumber(cursor_));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Trace& t : traces_) {
        if (!shown_[size_t(t.channel)]) continue;
        const QCPRange range = charts_[size_t(t.chart)]->xAxis->range();
        const ColumnTrace::Statistics s = t.trace->statistics(range.lower, range.upper);
        html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td></tr>")
                    .arg(t.label.toHtmlEscaped(), ReadoutNumber(t.trace->valueAt(cursor_)),
                         ReadoutNumber(s.count ? s.min : nan), ReadoutNumber(s.count ? s.max : nan),
                         ReadoutNumber(s.count ? s.sum / double(s.count) : nan));
    }
    ui->lblReadout->setText(html + QStringLiteral("</table>"));
}

QString frmLogReview::readoutText() const {
    return ui->lblReadout->text();
}

std::vector<QCustomPlot*> frmLogReview::charts() const {
    return charts_;
}

void frmLogReview::contextMenu(QCustomPlot* plot, const QPoint& pos) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Save Image..."), this, [this, plot] {
        ChooseAndSavePlotImage(plot, this, chooseFile_, [this](const QString& message) {
            notifier_.message(message.toStdString(), Notifier::Icon::Error);
        });
    });
    menu.addAction(QStringLiteral("Copy Image"), this, [plot] { CopyPlotImage(plot); });
    menu.exec(plot->mapToGlobal(pos));
}

}  // namespace quarnel
