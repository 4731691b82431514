// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/logreview/ReviewChart.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <cmath>

#include "widgets/ChartColours.h"

namespace quarnel {
namespace {

// Value ticks no closer than one and a half lines of their labels, so that
// a short chart or a large font never stacks the labels on each other.
class SpacedTicker : public QCPAxisTicker {
  public:
    SpacedTicker(QCPAxis* axis, int& height) : axis_(axis), height_(height) {}

  protected:
    double getTickStep(const QCPRange& range) override {
        const double step = QCPAxisTicker::getTickStep(range);
        height_ = axis_->axisRect()->height();
        if (height_ <= 0) return step;
        const double least =
            range.size() * 1.5 * QFontMetricsF(axis_->tickLabelFont()).height() / height_;
        if (step >= least) return step;
        const double magnitude = std::pow(10.0, std::floor(std::log10(least)));
        for (const double mantissa : {1.0, 2.0, 2.5, 5.0, 10.0})
            if (mantissa * magnitude >= least) return mantissa * magnitude;
        return least;
    }

  private:
    QCPAxis* axis_;
    int& height_;
};

// A value interface too: the platform bridge passes a value change on only
// for an object that has one.
class ChartAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit ChartAccessible(ReviewChart* chart) : QAccessibleWidget(chart, QAccessible::Chart) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
            case QAccessible::Name:
                return chart()->title();
            case QAccessible::Value:
                return chart()->readout();
            case QAccessible::Description:
                return chart()->readout() + QStringLiteral(". ") + chart()->accessibleDescription();
            default:
                return QAccessibleWidget::text(t);
        }
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QVariant currentValue() const override { return chart()->cursorTime(); }
    void setCurrentValue(const QVariant& value) override {
        emit chart()->cursorRequested(value.toDouble());
    }
    QVariant minimumValue() const override { return chart()->xAxis->range().lower; }
    QVariant maximumValue() const override { return chart()->xAxis->range().upper; }
    QVariant minimumStepSize() const override { return 0.0; }

  private:
    ReviewChart* chart() const { return static_cast<ReviewChart*>(widget()); }
};

QAccessibleInterface* accessibleChart(const QString&, QObject* object) {
    if (auto* chart = qobject_cast<ReviewChart*>(object)) return new ChartAccessible(chart);
    return nullptr;
}

}  // namespace

ReviewChart::ReviewChart(const QString& title, QWidget* parent)
    : QCustomPlot(parent), title_(title) {
    static const bool accessible = [] {
        QAccessible::installFactory(accessibleChart);
        return true;
    }();
    (void)accessible;
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleDescription(
        QStringLiteral("Menu key or Shift+F10: the chart's commands and their keys"));

    plotLayout()->insertRow(0);
    plotLayout()->addElement(0, 0, new QCPTextElement(this, title));
    xAxis->setLabel(QStringLiteral("Time (s)"));
    yAxis->setTicker(QSharedPointer<SpacedTicker>::create(yAxis, tickedHeight_));
    // Ticks are spaced for the axis height of the last layout: after a
    // resize, draw once more at the new height.
    connect(this, &QCustomPlot::afterLayout, this, [this] {
        if (axisRect()->height() != tickedHeight_) replot(rpQueuedReplot);
    });

    // The legend in a row under the chart, off the traces. Its box's right
    // and bottom lines are drawn just outside its rectangle, and the plot
    // clips one pixel above its bottom: the layout leaves room for both.
    legend->setVisible(true);
    axisRect()->insetLayout()->take(legend);
    plotLayout()->addElement(2, 0, legend);
    plotLayout()->setRowStretchFactor(2, 0.001);
    plotLayout()->setMargins(QMargins(0, 0, 1, 2));
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    legend->setFont(small);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setWrap(4);
    DressChart(this);
}

void ReviewChart::changeEvent(QEvent* event) {
    QCustomPlot::changeEvent(event);
    if (event->type() != QEvent::PaletteChange) return;
    DressChart(this);
    replot(rpQueuedReplot);
}

void ReviewChart::setReadout(double cursorTime, const QString& text) {
    if (text == readout_ && cursorTime == cursorTime_) return;
    readout_ = text, cursorTime_ = cursorTime;
    if (!hasFocus() || !QAccessible::isActive()) return;
    QAccessibleValueChangeEvent value(this, cursorTime_);
    QAccessible::updateAccessibility(&value);
    QAccessibleEvent description(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
}

void ReviewChart::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        emit menuRequested(axisRect()->center());
        return;
    }
    QCustomPlot::keyPressEvent(event);
}

void ReviewChart::contextMenuEvent(QContextMenuEvent* event) {
    // From the Menu key the pointer may be anywhere: the menu opens on the chart.
    emit menuRequested(event->reason() == QContextMenuEvent::Keyboard ? axisRect()->center()
                                                                      : event->pos());
}

void ReviewChart::paintEvent(QPaintEvent* event) {
    QCustomPlot::paintEvent(event);
    if (!hasFocus()) return;
    // A frame in the selection colour: the style's focus frame shows only
    // after Tab, and the keys work on this chart whichever way it got here.
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}

void ReviewChart::focusInEvent(QFocusEvent* event) {
    QCustomPlot::focusInEvent(event);
    update();
}

void ReviewChart::focusOutEvent(QFocusEvent* event) {
    QCustomPlot::focusOutEvent(event);
    update();
}

}  // namespace quarnel
