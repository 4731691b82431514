// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/logreview/frmLogReview.h"

#include <qcustomplot.h>

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QFontInfo>
#include <QHeaderView>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QTableWidget>
#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "monitor/LogFile.h"
#include "monitor/Session.h"
#include "ui_frmLogReview.h"
#include "widgets/ChartColours.h"
#include "widgets/PlotImage.h"
#include "windows/logreview/ColumnTrace.h"
#include "windows/logreview/ReviewChart.h"

namespace quarnel {
namespace {

const char* const kGroupTitles[] = {"Temperatures", "Vdd", "Ain1 to Ain8"};
// Six hues that stay apart from each other and readable on light and dark
// grounds alike; a chart's seventh and eighth channels take the first two
// again, dashed (SetTracePen tells them apart).
const QColor kHues[] = {QColor(0, 128, 255), QColor(255, 112, 51), QColor(38, 191, 0),
                        QColor(255, 0, 230), QColor(38, 191, 191), QColor(255, 204, 0)};

// The chart group of a LogChannels() position.
int groupOf(int channel) {
    const LogChannel& c = LogChannels()[size_t(channel)];
    return c.temperature ? 0 : channel == 2 ? 1 : 2;
}

// A channel's hue: by its place in its chart, so each chart starts at the first.
QColor hueOf(int channel) {
    const int group = groupOf(channel);
    const int place = group == 1 ? 0 : group == 2 ? channel - 4 : channel == 3 ? 2 : channel;
    return kHues[place % std::size(kHues)];
}

// A readout number; a dash where there is none.
QString number(double value) {
    return std::isnan(value) ? QStringLiteral("\u2013") : ReadoutNumber(value);
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
    // The form is laid out for a 12-pixel font (9 points at 96 dots an inch):
    // a larger font gets a larger window, or the charts lose their ticks.
    formSize_ = size();
    resize((QSizeF(size()) * std::max(1.0, QFontInfo(font()).pixelSize() / 12.0)).toSize());
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
    margins_ = new QCPMarginGroup(nullptr);
    margins_->setParent(this);
    fitAction_ = new QAction(QStringLiteral("Fit All"), this);
    fitAction_->setObjectName(QStringLiteral("actFitAll"));
    fitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    fitAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    fitAction_->setShortcutVisibleInContextMenu(true);
    fitAction_->setEnabled(false);
    addAction(fitAction_);
    connect(fitAction_, &QAction::triggered, this, &frmLogReview::fitAll);
    connect(ui->cmdFit, &QPushButton::clicked, this, &frmLogReview::fitAll);
    connect(ui->cmdCancel, &QPushButton::clicked, this, [this] { cancel_ = true; });
    connect(ui->lstRuns, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row - 1 != run_) showRun(row - 1);
    });
    ui->cmdFit->setEnabled(false);
    // Rows a line high; number columns wide enough for most readouts from
    // the start, so that moving the cursor seldom widens them.
    QTableWidget* table = ui->tblStatistics;
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table->horizontalHeader()->setMinimumSectionSize(
        fontMetrics().horizontalAdvance(QStringLiteral("-000.0000")));
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    orderTabs();

    const std::string file = path.toStdString();
    worker_ = std::thread([this, file] {
        Log result = ReadCompactLogFile(file, &cancel_, [this](double fraction) {
            QMetaObject::invokeMethod(
                this, [this, fraction] { progress(fraction); }, Qt::QueuedConnection);
        });
        auto shared = std::make_shared<Log>(std::move(result));
        QMetaObject::invokeMethod(
            this, [this, shared] { finished(std::move(*shared)); }, Qt::QueuedConnection);
    });
}

frmLogReview::~frmLogReview() {
    // The worker posts to this window: it must end first.
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
    releaseColumns();
}

void frmLogReview::releaseColumns() {
    // The traces draw from the columns: they go first.
    for (QCustomPlot* chart : charts_) delete chart;
    charts_.clear();
    cursors_.clear();
    traces_.clear();
    log_ = Log();
#if defined(__GLIBC__)
    // The allocator keeps freed columns for reuse; a closed log gives them
    // back to the system.
    ::malloc_trim(0);
#endif
}

void frmLogReview::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    // Grown for the font, but not out of the workspace (nor below the form's size).
    auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (frame && frame->parentWidget())
        frame->resize(frame->size()
                          .boundedTo(frame->parentWidget()->size())
                          .expandedTo(formSize_.grownBy(frame->contentsMargins())));
    // Whichever window holds the focus comes to the front when the main
    // window is next activated (after the file dialog, or at start-up under
    // the help window): a new log window takes it.
    if (loading())
        ui->cmdCancel->setFocus();
    else
        ui->lstRuns->setFocus();
}

void frmLogReview::progress(double fraction) {
    ui->prgLoad->setValue(int(fraction * 1000));
}

void frmLogReview::finished(Log result) {
    finished_ = true;
    const bool focusOnCancel = focusWidget() == ui->cmdCancel;
    ui->prgLoad->hide();
    ui->cmdCancel->hide();
    if (result.status == LogReadResult::Status::Cancelled) {
        host_.showStatusMessage(QStringLiteral("Loading %1 cancelled.").arg(windowTitle()));
        emit loadFinished();
        host_.closeFrame(this);
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
        const auto& r = log_.runs[i];
        ui->lstRuns->addItem(QStringLiteral("Run %1: %2 lines, %3 channels%4")
                                 .arg(i + 1)
                                 .arg(r.time.size())
                                 .arg(r.channels.size())
                                 .arg(r.fahrenheit ? QStringLiteral(", \u00B0F") : QString()));
    }
    ui->cmdFit->setEnabled(true);
    fitAction_->setEnabled(true);
    showRun(-1);
    if (focusOnCancel) {
        const auto shown = std::find_if(charts_.begin(), charts_.end(),
                                        [](QCustomPlot* c) { return !c->isHidden(); });
        (shown == charts_.end() ? static_cast<QWidget*>(ui->lstRuns) : *shown)->setFocus();
    }
    emit loadFinished();
}

void frmLogReview::showRun(int run) {
    run_ = run;
    const QSignalBlocker block(ui->lstRuns);
    ui->lstRuns->setCurrentRow(run + 1);
    rebuild();
}

void frmLogReview::rebuild() {
    for (QCustomPlot* chart : charts_) {
        chart->axisRect()->setMarginGroup(QCP::msLeft | QCP::msRight, nullptr);
        chart->hide();
        chart->deleteLater();
    }
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
        const auto& run = log_.runs[r];
        for (size_t col = 0; col < run.channels.size(); ++col) {
            const int channel = run.channels[col];
            const int group = groupOf(channel);
            if (chartOfGroup[group] < 0) {
                chartOfGroup[group] = int(charts_.size());
                addChart(group);
            }
            const bool fahrenheit = group == 0 && run.fahrenheit;
            ColumnTrace*& trace = traces[size_t(2 * channel + (fahrenheit ? 1 : 0))];
            if (!trace) {
                QCustomPlot* plot = charts_[size_t(chartOfGroup[group])];
                trace = new ColumnTrace(plot->xAxis, plot->yAxis);
                SetTracePen(trace,
                            QPen(hueOf(channel), 1, fahrenheit ? Qt::DashLine : Qt::SolidLine));
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
    for (QCustomPlot* chart : charts_) updateLegend(chart);
    showChartsWithChannels();
    orderTabs();
    fitAll();
}

void frmLogReview::showChartsWithChannels() {
    for (size_t c = 0; c < charts_.size(); ++c)
        charts_[c]->setVisible(std::any_of(traces_.begin(), traces_.end(), [&](const Trace& t) {
            return t.chart == int(c) && shown_[size_t(t.channel)];
        }));
}

void frmLogReview::orderTabs() {
    std::vector<QWidget*> chain{ui->cmdFit, ui->cmdCancel};
    chain.insert(chain.end(), charts_.begin(), charts_.end());
    chain.push_back(ui->lstRuns);
    chain.insert(chain.end(), boxes_.begin(), boxes_.end());
    chain.push_back(ui->tblStatistics);
    for (size_t i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
}

ReviewChart* frmLogReview::addChart(int group) {
    auto* chart = new ReviewChart(QString::fromLatin1(kGroupTitles[group]), ui->fraCharts);
    chart->setObjectName(QStringLiteral("pltGroup_%1").arg(group));
    chart->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    chart->axisRect()->setRangeDrag(Qt::Horizontal);
    chart->axisRect()->setRangeZoom(Qt::Horizontal);
    chart->axisRect()->setMarginGroup(QCP::msLeft | QCP::msRight, margins_);
    connect(chart, &ReviewChart::menuRequested, this,
            [this, chart](const QPoint& pos) { contextMenu(chart, pos); });
    connect(chart, &ReviewChart::cursorRequested, this,
            [this, chart](double time) { moveCursor(time, chart->xAxis->range()); });
    connect(chart->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange& range) { syncTimeRange(range.lower, range.upper); });
    connect(chart, &QCustomPlot::mouseMove, this, [this, chart](QMouseEvent* event) {
        setCursorTime(chart->xAxis->pixelToCoord(event->position().x()));
    });
    addChartActions(chart);
    cursors_.emplace_back(chart).moveTo(cursor_);
    charts_.push_back(chart);
    ui->layCharts->addWidget(chart);
    chart->show();  // now, not on the next pass: it may take the focus at once
    return chart;
}

void frmLogReview::addChartActions(ReviewChart* chart) {
    // The chart's keys, listed with their commands in its menu.
    const auto add = [chart](const char* name, const QString& text, const QList<QKeySequence>& keys,
                             auto run) {
        auto* action = new QAction(text, chart);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setShortcutVisibleInContextMenu(true);
        connect(action, &QAction::triggered, chart, run);
        chart->addAction(action);
    };
    const auto separator = [chart] {
        auto* line = new QAction(chart);
        line->setSeparator(true);
        chart->addAction(line);
    };
    add("actZoomIn", QStringLiteral("Zoom In"), {Qt::Key_Plus, Qt::Key_Equal},
        [this] { zoomTime(0.5); });
    add("actZoomOut", QStringLiteral("Zoom Out"), {Qt::Key_Minus}, [this] { zoomTime(2); });
    chart->addAction(fitAction_);
    add("actPanLeft", QStringLiteral("Pan Left"), {Qt::SHIFT | Qt::Key_Left},
        [this] { panTime(-0.1); });
    add("actPanRight", QStringLiteral("Pan Right"), {Qt::SHIFT | Qt::Key_Right},
        [this] { panTime(0.1); });
    separator();
    add("actPreviousSample", QStringLiteral("Cursor to Previous Sample"), {Qt::Key_Left},
        [this, chart] { stepCursor(chart, -1); });
    add("actNextSample", QStringLiteral("Cursor to Next Sample"), {Qt::Key_Right},
        [this, chart] { stepCursor(chart, 1); });
    add("actCursorLeft", QStringLiteral("Cursor Left a Tenth"), {Qt::CTRL | Qt::Key_Left},
        [this, chart] { moveCursorBy(chart, -0.1, false); });
    add("actCursorRight", QStringLiteral("Cursor Right a Tenth"), {Qt::CTRL | Qt::Key_Right},
        [this, chart] { moveCursorBy(chart, 0.1, false); });
    add("actPageLeft", QStringLiteral("Cursor and View Left a Page"), {Qt::Key_PageUp},
        [this, chart] { moveCursorBy(chart, -1, true); });
    add("actPageRight", QStringLiteral("Cursor and View Right a Page"), {Qt::Key_PageDown},
        [this, chart] { moveCursorBy(chart, 1, true); });
    add("actFirstSample", QStringLiteral("Cursor to First Sample"), {Qt::Key_Home},
        [this, chart] { cursorToEnd(chart, -1); });
    add("actLastSample", QStringLiteral("Cursor to Last Sample"), {Qt::Key_End},
        [this, chart] { cursorToEnd(chart, 1); });
    separator();
    add("actSaveImage", QStringLiteral("Save Image..."), {Qt::CTRL | Qt::Key_S},
        [this, chart] { saveImage(chart); });
    add("actCopyImage", QStringLiteral("Copy Image"), {QKeySequence::Copy},
        [this, chart] { copyImage(chart); });
}

void frmLogReview::updateLegend(QCustomPlot* chart) {
    // Hidden channels leave the legend; the rest keep the channel order.
    chart->legend->clearItems();
    for (const Trace& t : traces_)
        if (charts_[size_t(t.chart)] == chart && shown_[size_t(t.channel)])
            t.trace->addToLegend(chart->legend);
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
        updateLegend(charts_[size_t(t.chart)]);
        charts_[size_t(t.chart)]->replot(QCustomPlot::rpQueuedReplot);
    }
    showChartsWithChannels();
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

void frmLogReview::zoomTime(double factor) {
    if (charts_.empty()) return;
    const QCPRange range = charts_[0]->xAxis->range();
    const double centre = range.contains(cursor_) ? cursor_ : range.center();
    syncTimeRange(centre - (centre - range.lower) * factor,
                  centre + (range.upper - centre) * factor);
}

void frmLogReview::panTime(double fraction) {
    if (charts_.empty()) return;
    const QCPRange range = charts_[0]->xAxis->range();
    const double shift = range.size() * fraction;
    syncTimeRange(range.lower + shift, range.upper + shift);
}

void frmLogReview::stepCursor(QCustomPlot* chart, int direction) {
    const QCPRange range = chart->xAxis->range();
    // A cursor out of view comes in at the edge it moves from.
    double from = cursor_;
    if (!range.contains(from))
        from = direction > 0 ? std::nextafter(range.lower, -HUGE_VAL)
                             : std::nextafter(range.upper, HUGE_VAL);
    double next = std::numeric_limits<double>::quiet_NaN();
    for (const Trace& t : traces_) {
        if (charts_[size_t(t.chart)] != chart || !shown_[size_t(t.channel)]) continue;
        const double time = t.trace->sampleTimeBeside(from, direction);
        if (!std::isnan(time) && (std::isnan(next) || (direction > 0) == (time < next)))
            next = time;
    }
    if (!std::isnan(next)) moveCursor(next, range);
}

void frmLogReview::moveCursor(double time, const QCPRange& view) {
    setCursorTime(time);
    if (time < view.lower) syncTimeRange(time, time + view.size());
    if (time > view.upper) syncTimeRange(time - view.size(), time);
}

bool frmLogReview::shownSpan(QCustomPlot* chart, QCPRange& span) const {
    bool any = false;
    for (const Trace& t : traces_) {
        bool found = false;
        const QCPRange own = t.trace->getKeyRange(found);
        if (charts_[size_t(t.chart)] != chart || !shown_[size_t(t.channel)] || !found) continue;
        span =
            any ? QCPRange(std::min(span.lower, own.lower), std::max(span.upper, own.upper)) : own;
        any = true;
    }
    return any;
}

void frmLogReview::moveCursorBy(QCustomPlot* chart, double fraction, bool page) {
    QCPRange span;
    if (!shownSpan(chart, span)) return;
    const QCPRange view = chart->xAxis->range();
    const double from = view.contains(cursor_) ? cursor_ : fraction > 0 ? view.lower : view.upper;
    const double to = std::clamp(from + fraction * view.size(), span.lower, span.upper);
    if (page) syncTimeRange(view.lower + to - from, view.upper + to - from);
    moveCursor(to, chart->xAxis->range());
}

void frmLogReview::cursorToEnd(QCustomPlot* chart, int direction) {
    QCPRange span;
    if (shownSpan(chart, span))
        moveCursor(direction < 0 ? span.lower : span.upper, chart->xAxis->range());
}

void frmLogReview::updateStatistics() {
    const QString time = QStringLiteral("Time %1 s").arg(ReadoutNumber(cursor_));
    ui->lblCursorTime->setText(QStringLiteral("<b>%1</b>").arg(time));
    QTableWidget* table = ui->tblStatistics;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<QStringList> readouts(charts_.size(), QStringList{time});
    int row = 0;
    for (const Trace& t : traces_) {
        if (!shown_[size_t(t.channel)]) continue;
        const QCPRange range = charts_[size_t(t.chart)]->xAxis->range();
        const ColumnTrace::Statistics s = t.trace->statistics(range.lower, range.upper);
        const QString atCursor = number(t.trace->valueAt(cursor_));
        readouts[size_t(t.chart)] << t.label + u' ' + atCursor;
        const QString cells[] = {t.label, atCursor, number(s.count ? s.min : nan),
                                 number(s.count ? s.max : nan),
                                 number(s.count ? s.sum / double(s.count) : nan)};
        if (table->rowCount() <= row) table->insertRow(row);
        for (int column = 0; column < 5; ++column) {
            QTableWidgetItem* item = table->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(column ? Qt::AlignRight | Qt::AlignVCenter
                                              : Qt::AlignLeft | Qt::AlignVCenter);
                table->setItem(row, column, item);
            }
            if (item->text() != cells[column]) item->setText(cells[column]);
        }
        ++row;
    }
    table->setRowCount(row);
    for (size_t c = 0; c < charts_.size(); ++c)
        static_cast<ReviewChart*>(charts_[c])
            ->setReadout(cursor_, readouts[c].join(QStringLiteral("; ")));
}

std::vector<QCustomPlot*> frmLogReview::charts() const {
    return charts_;
}

void frmLogReview::contextMenu(ReviewChart* chart, const QPoint& pos) {
    // Not modal: the menu is open while the window goes on.
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("mnuChart"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addActions(chart->actions());
    menu->popup(chart->mapToGlobal(pos));
}

ChartCursor* frmLogReview::cursorOf(QCustomPlot* chart) {
    const auto at = std::find(charts_.begin(), charts_.end(), chart);
    return at == charts_.end() ? nullptr : &cursors_[size_t(at - charts_.begin())];
}

void frmLogReview::copyImage(QCustomPlot* chart) {
    ChartCursor* line = cursorOf(chart);
    if (!line) return;  // a chart on its way out
    line->setVisible(false);
    CopyPlotImage(chart);
    line->setVisible(true);
}

void frmLogReview::saveImage(QCustomPlot* chart) {
    ChartCursor* line = cursorOf(chart);
    if (!line) return;
    // The line goes once the file is chosen, so the dialog does not show it gone.
    const FileChooser choose = [this, line](QWidget* parent, const QString& caption,
                                            const QString& dir, const QString& filter) {
        std::optional<QString> name =
            chooseFile_ ? chooseFile_(parent, caption, dir, filter) : std::nullopt;
        line->setVisible(false);
        return name;
    };
    const QPointer<QCustomPlot> alive(chart);
    ChooseAndSavePlotImage(chart, this, choose, [this](const QString& message) {
        notifier_.message(message.toStdString(), Notifier::Icon::Error);
    });
    if (alive) line->setVisible(true);
}

}  // namespace quarnel
