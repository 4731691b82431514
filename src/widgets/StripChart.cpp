// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/StripChart.h"

#include <qcustomplot.h>
#include <QAccessible>
#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "widgets/ChartColours.h"
#include "widgets/ChartCursor.h"
#include "widgets/PlotImage.h"
#include "widgets/ReadableColour.h"
#include "widgets/StripChartArrow.h"
#include "widgets/WidgetAccessibility.h"

namespace quarnel {

namespace {

constexpr double kMinSpanSeconds = 5.0;
const QString kToolTip =
    QStringLiteral("Drag the arrows at the edges of this graph to zoom in and out");

double keyOf(qint64 msecsSinceEpoch) {
    return double(msecsSinceEpoch) / 1000.0;
}

// Steps between time labels: the ticker's choice, widened to the first of
// these that leaves room for the labels.
constexpr double kTimeSteps[] = {1,   2,   5,   10,   15,   20,   30,   60,    120,
                                 300, 600, 900, 1200, 1800, 3600, 7200, 21600, 43200};

class SpacedTimeTicker : public QCPAxisTickerDateTime {
  public:
    void setMinimumStep(double seconds) { minimumStep_ = seconds; }

  protected:
    double getTickStep(const QCPRange& range) override {
        const double step = QCPAxisTickerDateTime::getTickStep(range);
        if (step >= minimumStep_) return step;
        for (double wider : kTimeSteps)
            if (wider >= minimumStep_) return wider;
        return minimumStep_;
    }

  private:
    double minimumStep_ = 0.0;
};

}  // namespace

StripChart::StripChart(QWidget* parent) : QWidget(parent) {
    installWidgetAccessibility();
    setToolTip(kToolTip);

    plot_ = new QCustomPlot(this);
    plot_->setObjectName(QStringLiteral("plot"));
    plot_->setFocusPolicy(Qt::NoFocus);  // the chart and its zoom arrows take the keys
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);

    // Thin unsmoothed traces keep a replot cheap; wide pens cost far more.
    plot_->setNotAntialiasedElements(QCP::aePlottables | QCP::aeGrid | QCP::aeSubGrid |
                                     QCP::aeAxes);
    plot_->setPlottingHint(QCP::phImmediateRefresh, false);
    plot_->setInteractions(QCP::Interactions());

    title_ = new QCPTextElement(plot_, QString(),
                                QFont(font().family(), font().pointSize() + 1, QFont::Bold));
    plot_->plotLayout()->insertRow(0);
    plot_->plotLayout()->addElement(0, 0, title_);

    // The legend sits in its own row under the title, filled left to right.
    QCPLegend* legend = plot_->legend;
    legend->setVisible(true);
    plot_->axisRect()->insetLayout()->take(legend);
    plot_->plotLayout()->insertRow(1);
    plot_->plotLayout()->addElement(1, 0, legend);
    plot_->plotLayout()->setRowStretchFactor(0, 0.001);
    plot_->plotLayout()->setRowStretchFactor(1, 0.001);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setBorderPen(Qt::NoPen);
    legend->setBrush(Qt::NoBrush);
    legend->setIconSize(18, 10);
    legend->setColumnSpacing(14);
    legend->setRowSpacing(0);
    legend->setMargins(QMargins(6, 0, 6, 2));

    timeTicker_ = QSharedPointer<SpacedTimeTicker>::create();
    timeTicker_->setDateTimeFormat(QStringLiteral("HH:mm:ss"));
    timeTicker_->setTickCount(6);
    plot_->xAxis->setTicker(timeTicker_);
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis}) {
        axis->grid()->setPen(QPen(Qt::gray, 1));  // solid; dress() colours it
        // Room beyond the tick labels for the zoom arrows.
        axis->setPadding(StripChartArrow::kLong / 2 + 6);
    }
    // Half a time label overhangs each end of the time axis.
    plot_->axisRect()->setMinimumMargins(QMargins(50, 12, 40, 12));
    plot_->xAxis->setTickLabels(false);

    timeArrow_ = new StripChartArrow(Qt::Horizontal, plot_);
    timeArrow_->setObjectName(QStringLiteral("timeZoomArrow"));
    timeArrow_->setAccessibleName(QStringLiteral("Time span"));
    timeArrow_->onDrag = [this](double d, bool start) { dragTimeArrow(d, start); };
    yTopArrow_ = new StripChartArrow(Qt::Vertical, plot_);
    yTopArrow_->setObjectName(QStringLiteral("yMaxZoomArrow"));
    yTopArrow_->setAccessibleName(QStringLiteral("Top of the scale"));
    yTopArrow_->onDrag = [this](double d, bool start) { dragYArrow(true, d, start); };
    yBottomArrow_ = new StripChartArrow(Qt::Vertical, plot_);
    yBottomArrow_->setObjectName(QStringLiteral("yMinZoomArrow"));
    yBottomArrow_->setAccessibleName(QStringLiteral("Bottom of the scale"));
    yBottomArrow_->onDrag = [this](double d, bool start) { dragYArrow(false, d, start); };
    connect(plot_, &QCustomPlot::afterLayout, this, &StripChart::placeArrows);

    // The cursor costs nothing until the pointer comes over the plot.
    cursor_ = std::make_unique<ChartCursor>(plot_);
    cursor_->setVisible(false);
    readout_ = new QCPItemText(plot_);
    readout_->setVisible(false);
    readout_->position->setTypeX(QCPItemPosition::ptAbsolute);
    readout_->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    readout_->position->setCoords(0, 0);
    readout_->setTextAlignment(Qt::AlignLeft);
    readout_->setPadding(QMargins(4, 2, 4, 2));
    plot_->setMouseTracking(true);
    plot_->installEventFilter(this);

    saveAction_ = new QAction(QStringLiteral("Save Image..."), this);
    saveAction_->setObjectName(QStringLiteral("actSaveImage"));
    connect(saveAction_, &QAction::triggered, this, &StripChart::chooseAndSaveImage);
    copyAction_ = new QAction(QStringLiteral("Copy Image"), this);
    copyAction_->setObjectName(QStringLiteral("actCopyImage"));
    connect(copyAction_, &QAction::triggered, this, &StripChart::copyImage);

    // Setter changes are gathered into one replot on the next event loop pass.
    replotTimer_ = new QTimer(this);
    replotTimer_->setSingleShot(true);
    replotTimer_->setInterval(0);
    connect(replotTimer_, &QTimer::timeout, this, &StripChart::refresh);

    setChannelColors({QColor(0, 0, 255)});
    setYRange(0.0, 10.0);
    replotNow();
}

StripChart::StripChart(const QList<QColor>& channelColors, QWidget* parent) : StripChart(parent) {
    setChannelColors(channelColors);
}

StripChart::~StripChart() = default;

bool StripChart::validChannel(int channel) const {
    return channel >= 1 && channel <= int(channels_.size());
}

void StripChart::setChannelColors(const QList<QColor>& colors) {
    // Keep the graphs that still exist so their history and labels survive.
    while (int(channels_.size()) > colors.size()) {
        plot_->removeGraph(channels_.back().graph);
        channels_.pop_back();
    }
    while (int(channels_.size()) < colors.size()) {
        Channel channel;
        channel.graph = plot_->addGraph();
        channel.graph->setAdaptiveSampling(true);
        channel.graph->data()->setAutoSqueeze(false);  // trim() squeezes, sooner
        channel.label = QStringLiteral("Channel %1").arg(channels_.size() + 1);
        channel.graph->setName(channel.label);
        channels_.push_back(channel);
    }
    for (int i = 0; i < colors.size(); ++i) SetTracePen(channels_[i].graph, QPen(colors[i], 1));
    dress();  // once for all channels; it schedules the replot
}

void StripChart::setChannelColor(int channel, const QColor& color) {
    if (!validChannel(channel)) return;
    SetTracePen(channels_[channel - 1].graph, QPen(color, 1));
    dress();
}

void StripChart::dress() {
    DressChart(plot_);
    // The legend names each channel in its trace's hue, shaded to be read.
    const QPalette& palette = plot_->palette();
    const QColor ground = ChartGroundColour(palette);
    for (const Channel& channel : channels_)
        if (auto* item = plot_->legend->itemWithPlottable(channel.graph))
            item->setTextColor(ReadableOn(TraceColour(channel.graph), ground));
    readout_->setColor(ChartTextColour(palette));
    readout_->setPen(QPen(ChartAxisColour(palette)));
    QColor box = ground;
    box.setAlpha(225);  // the traces show faintly through
    readout_->setBrush(box);
    scheduleReplot();
}

int StripChart::channelCount() const {
    return int(channels_.size());
}

void StripChart::AddSample(int channel, double value, qint64 msecsSinceEpoch) {
    if (!validChannel(channel)) return;
    addPoint(channels_[channel - 1], keyOf(msecsSinceEpoch), value);
}

void StripChart::AddSample(int channel, double value, const QDateTime& when) {
    AddSample(channel, value, when.toMSecsSinceEpoch());
}

void StripChart::AddSamples(qint64 msecsSinceEpoch, const QList<double>& values) {
    const double key = keyOf(msecsSinceEpoch);
    const int n = std::min(int(values.size()), channelCount());
    for (int i = 0; i < n; ++i) addPoint(channels_[i], key, values[i]);
}

void StripChart::AddSamples(const QDateTime& when, const QList<double>& values) {
    AddSamples(when.toMSecsSinceEpoch(), values);
}

void StripChart::convertSamples(const std::function<double(double)>& f) {
    for (Channel& channel : channels_)
        for (auto it = channel.graph->data()->begin(); it != channel.graph->data()->end(); ++it)
            if (!std::isnan(it->value)) it->value = f(it->value);
    scheduleReplot();
}

void StripChart::addPoint(Channel& channel, double key, double value) {
    if (std::isnan(value)) return;
    if (hasSamples_ && key < newestKey_) startAgainAt(key);
    if (!hasSamples_ || key > newestKey_) newestKey_ = key;
    hasSamples_ = true;
    if (!channel.graph->visible()) {
        channel.gapPending = true;
        return;
    }
    // A NaN point breaks the trace where the channel was hidden.
    if (channel.gapPending && !channel.graph->data()->isEmpty())
        channel.graph->addData(key, std::numeric_limits<double>::quiet_NaN());
    channel.gapPending = false;
    channel.graph->addData(key, value);
    trim(channel);
}

void StripChart::startAgainAt(double key) {
    // The caller's clock went back: keeping the newer points would hide every
    // new sample outside the window until the clock caught up again.
    for (Channel& channel : channels_) {
        channel.graph->data()->clear();
        channel.removed = 0;
    }
    newestKey_ = key;
}

void StripChart::trim(Channel& channel) {
    auto data = channel.graph->data();
    const double cutoff = newestKey_ - kHistorySeconds;
    if (data->constBegin()->key < cutoff) {
        const int before = data->size();
        data->removeBefore(cutoff);
        // The container keeps removed points' room at its front and would let
        // it grow to 1.5 times the history before giving it back, so memory
        // rose for a quarter of an hour after the history filled. Squeezing
        // at an eighth keeps the allocation within the history and a little.
        channel.removed += before - data->size();
        if (channel.removed > data->size() / 8) {
            data->squeeze(true, false);
            channel.removed = 0;
        }
    }
    // Equal time stamps defeat the time bound; trim in batches to stay cheap.
    if (data->size() > kMaxPoints + kMaxPoints / 4) {
        QVector<QCPGraphData> keep(data->constEnd() - kMaxPoints, data->constEnd());
        data->set(keep, true);
    }
}

void StripChart::SetChartTitle(const QString& text) {
    if (text == title_->text()) return;
    title_->setText(text);
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
    scheduleReplot();
}

void StripChart::SetChannelLabel(int channel, const QString& text) {
    if (!validChannel(channel) || channels_[channel - 1].label == text) return;
    channels_[channel - 1].label = text;
    channels_[channel - 1].labelWidth = -1;
    channels_[channel - 1].graph->setName(text);
    scheduleReplot();
}

void StripChart::SetChannelShown(int channel, bool shown) {
    if (!validChannel(channel) || channels_[channel - 1].graph->visible() == shown) return;
    channels_[channel - 1].graph->setVisible(shown);
    scheduleReplot();
}

void StripChart::SetChartVisible(bool visible) {
    setVisible(visible);
}

QString StripChart::chartTitle() const {
    return title_->text();
}

QString StripChart::channelLabel(int channel) const {
    return validChannel(channel) ? channels_[channel - 1].label : QString();
}

bool StripChart::channelShown(int channel) const {
    return validChannel(channel) && channels_[channel - 1].graph->visible();
}

int StripChart::sampleCount(int channel) const {
    return validChannel(channel) ? channels_[channel - 1].graph->data()->size() : 0;
}

QList<QString> StripChart::legendTexts() const {
    QList<QString> texts;
    for (const Channel& channel : channels_) texts.append(channel.label);
    return texts;
}

QString StripChart::accessibleValue() const {
    return legendTexts().join(QStringLiteral("; "));
}

QRect StripChart::legendEntryRect(int channel) const {
    if (!validChannel(channel)) return {};
    const QCPAbstractLegendItem* item =
        plot_->legend->itemWithPlottable(channels_[channel - 1].graph);
    return item ? item->outerRect().translated(plot_->pos()) : QRect();
}

void StripChart::setYRange(double min, double max) {
    if (!(max > min)) return;
    yMin_ = min;
    yMax_ = max;
    outerYMin_ = std::min(outerYMin_, min);
    outerYMax_ = std::max(outerYMax_, max);
    scheduleReplot();
}

void StripChart::setOuterYRange(double min, double max) {
    if (!(max > min)) return;
    outerYMin_ = std::min(min, yMin_);
    outerYMax_ = std::max(max, yMax_);
}

void StripChart::setTimeSpanSeconds(double seconds) {
    spanSeconds_ = std::clamp(seconds, std::min(kMinSpanSeconds, kHistorySeconds), kHistorySeconds);
    scheduleReplot();
}

double StripChart::timeAxisLower() const {
    return plot_->xAxis->range().lower;
}
double StripChart::timeAxisUpper() const {
    return plot_->xAxis->range().upper;
}

void StripChart::refresh() {
    // A chart stacked under another one, or in a window not on screen, is not
    // drawn until it is shown.
    if (!isVisible()) {
        replotPending_ = true;
        replotTimer_->stop();
        return;
    }
    replotNow();
}

void StripChart::replotNow() {
    replotTimer_->stop();
    replotPending_ = false;
    if (hasSamples_) {
        plot_->xAxis->setRange(newestKey_ - spanSeconds_, newestKey_);
    } else {
        plot_->xAxis->setRange(0.0, spanSeconds_);
    }
    plot_->xAxis->setTickLabels(hasSamples_);
    plot_->yAxis->setRange(yMin_, yMax_);
    updateLegendWrap();
    spaceTimeTicks();
    if (pointerX_) updateCursor();  // the chart moved under the pointer
    plot_->replot(QCustomPlot::rpQueuedRefresh);
    updateAccessibleText();
}

void StripChart::scheduleReplot() {
    if (replotTimer_ && !replotTimer_->isActive()) replotTimer_->start();
}

void StripChart::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (replotPending_) replotNow();
}

void StripChart::updateLegendWrap() {
    // As many legend columns as the widest text allows, so long legends wrap
    // onto a second row rather than squeezing the plot.
    if (plot_->legend->font() != legendWidthFont_) {
        legendWidthFont_ = plot_->legend->font();
        legendWidths_.clear();
        for (Channel& channel : channels_) channel.labelWidth = -1;
    }
    int widest = 1;
    for (Channel& channel : channels_) {
        if (channel.labelWidth < 0) channel.labelWidth = legendTextWidth(channel.label);
        widest = std::max(widest, channel.labelWidth);
    }
    const int itemWidth = widest + plot_->legend->iconSize().width() + 7 + 14;
    const int columns = std::clamp((plot_->width() - 12) / itemWidth, 1, 8);
    if (plot_->legend->wrap() != columns) {
        plot_->legend->setWrap(columns);
        plot_->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst, true);
    }
}

int StripChart::legendTextWidth(const QString& text) {
    if (const auto found = legendWidths_.constFind(text); found != legendWidths_.cend())
        return *found;
    // Readings at rest repeat a few texts; the bound keeps a drifting chart small.
    if (legendWidths_.size() >= 1024) legendWidths_.clear();
    const int width = QFontMetrics(legendWidthFont_).horizontalAdvance(text);
    legendWidths_.insert(text, width);
    return width;
}

void StripChart::spaceTimeTicks() {
    // Labels one and a half label widths apart never run into each other.
    if (timeLabelWidth_ < 0 || plot_->xAxis->tickLabelFont() != timeLabelFont_) {
        timeLabelFont_ = plot_->xAxis->tickLabelFont();
        timeLabelWidth_ =
            QFontMetrics(timeLabelFont_).horizontalAdvance(QStringLiteral("00:00:00"));
    }
    const double pitch = 1.5 * timeLabelWidth_;
    const int width = plot_->axisRect()->width() > 0 ? plot_->axisRect()->width() : plot_->width();
    const double seconds = plot_->xAxis->range().size();
    static_cast<SpacedTimeTicker*>(timeTicker_.data())
        ->setMinimumStep(seconds * pitch / std::max(1, width));
}

void StripChart::placeArrows() {
    const QRect inner = plot_->axisRect()->rect();
    const QRect outer = plot_->axisRect()->outerRect();
    const int left = outer.left() + 2;
    yTopArrow_->move(left, inner.top() - StripChartArrow::kLong / 2);
    yBottomArrow_->move(left, inner.bottom() - StripChartArrow::kLong / 2);
    timeArrow_->move(inner.left() - StripChartArrow::kLong / 2,
                     outer.bottom() - StripChartArrow::kShort - 2);
}

void StripChart::dragTimeArrow(double dx, bool start) {
    // The arrow marks the oldest end of the window: pulling it left shows
    // more time, pushing it right less.
    if (start) {
        dragSpan_ = spanSeconds_;
        return;
    }
    const double width = std::max(1, plot_->axisRect()->width());
    setTimeSpanSeconds(dragSpan_ - dx * dragSpan_ / width);
    replotNow();
    emit zoomed();
}

void StripChart::dragYArrow(bool top, double dy, bool start) {
    // Each arrow moves its end of the y axis, never past the outer range.
    if (start) {
        dragYMin_ = yMin_;
        dragYMax_ = yMax_;
        return;
    }
    const double height = std::max(1, plot_->axisRect()->height());
    const double shift = -dy * (dragYMax_ - dragYMin_) / height;
    const double minSpan = (outerYMax_ - outerYMin_) / 100.0;
    if (top) {
        yMax_ = std::clamp(dragYMax_ + shift, yMin_ + minSpan, outerYMax_);
    } else {
        yMin_ = std::clamp(dragYMin_ + shift, outerYMin_, yMax_ - minSpan);
    }
    replotNow();
    emit zoomed();
}

void StripChart::updateAccessibleText() {
    // Every replot of a shown chart comes here: screen readers hear of the
    // legend entries that changed since, at the drawing rate, not of every
    // reading of every chart. (A value change of the chart itself would reach
    // none: it has no number for a value.)
    if (!QAccessible::isActive()) return;
    for (int i = 0; i < int(channels_.size()); ++i) {
        if (channels_[i].labelTold == channels_[i].label) continue;
        channels_[i].labelTold = channels_[i].label;
        QAccessibleEvent event(this, QAccessible::NameChanged);
        event.setChild(i);
        QAccessible::updateAccessibility(&event);
    }
}

void StripChart::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(saveAction_);
    menu.addAction(copyAction_);
    menu.exec(event->globalPos());
}

bool StripChart::eventFilter(QObject* watched, QEvent* event) {
    if (watched == plot_ && event->type() == QEvent::MouseMove) {
        const QPointF pos = static_cast<QMouseEvent*>(event)->position();
        const bool over = plot_->axisRect()->rect().contains(pos.toPoint());
        pointerAt(over ? std::optional(pos.x()) : std::nullopt);
    } else if (watched == plot_ && event->type() == QEvent::Leave) {
        pointerAt(std::nullopt);
    } else if (watched == plot_ && event->type() == QEvent::PaletteChange) {
        dress();  // the plot's own palette, which it has only now
    }
    return QWidget::eventFilter(watched, event);
}

void StripChart::pointerAt(std::optional<double> x) {
    if (!x && !pointerX_) return;
    pointerX_ = x;
    updateCursor();
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void StripChart::updateCursor() {
    const bool shown = pointerX_ && hasSamples_;
    cursor_->setVisible(shown);
    readout_->setVisible(shown);
    if (!shown) return;
    const double key = plot_->xAxis->pixelToCoord(*pointerX_);
    cursor_->moveTo(key);
    QStringList lines{QDateTime::fromMSecsSinceEpoch(std::llround(key * 10) * 100)
                          .toString(QStringLiteral("hh:mm:ss.zzz"))
                          .chopped(2)};
    for (const Channel& channel : channels_) {
        if (!channel.graph->visible()) continue;
        // Before a channel's first sample it has no value, not its oldest one.
        const auto data = channel.graph->data();
        const bool before = data->isEmpty() || key < data->constBegin()->key;
        lines << channel.label.section(QLatin1Char('='), 0, 0) + QLatin1Char(' ') +
                     ReadoutNumber(before ? qQNaN() : ValueNearest(channel.graph, key));
    }
    readout_->setText(lines.join(QLatin1Char('\n')));
    // Beside the line, on the side with more room.
    const bool left = *pointerX_ > plot_->axisRect()->center().x();
    readout_->position->setCoords(*pointerX_ + (left ? -6 : 6), 0.02);
    readout_->setPositionAlignment(Qt::AlignTop | (left ? Qt::AlignRight : Qt::AlignLeft));
}

QString StripChart::cursorReadout() const {
    return readout_->visible() ? readout_->text() : QString();
}

void StripChart::setFileChooser(FileChooser chooser) {
    fileChooser_ = std::move(chooser);
}

void StripChart::setErrorReporter(ErrorReporter reporter) {
    errorReporter_ = std::move(reporter);
}

void StripChart::copyImage() {
    CopyPlotImage(plot_);
}

void StripChart::chooseAndSaveImage() {
    ChooseAndSavePlotImage(plot_, this, fileChooser_, errorReporter_);
}

}  // namespace quarnel
