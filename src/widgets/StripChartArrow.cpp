// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/StripChartArrow.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "widgets/ChartColours.h"

namespace quarnel {

StripChartArrow::StripChartArrow(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), orientation_(orientation) {
    if (orientation_ == Qt::Vertical) {
        setFixedSize(kShort, kLong);
        setCursor(Qt::SizeVerCursor);
    } else {
        setFixedSize(kLong, kShort);
        setCursor(Qt::SizeHorCursor);
    }
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
}

void StripChartArrow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool active = underMouse() || dragging_ || hasFocus();
    const QColor fill = active ? palette().color(QPalette::Highlight) : ChartAxisColour(palette());
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    const double w = width(), h = height();
    QPainterPath path;
    if (orientation_ == Qt::Vertical) {
        const double gap = 1.5, mid = h / 2.0;
        path.addPolygon(QPolygonF({{0.5, mid - gap}, {w / 2.0, 0.5}, {w - 0.5, mid - gap}}));
        path.closeSubpath();
        path.addPolygon(QPolygonF({{0.5, mid + gap}, {w / 2.0, h - 0.5}, {w - 0.5, mid + gap}}));
        path.closeSubpath();
    } else {
        const double gap = 1.5, mid = w / 2.0;
        path.addPolygon(QPolygonF({{mid - gap, 0.5}, {0.5, h / 2.0}, {mid - gap, h - 0.5}}));
        path.closeSubpath();
        path.addPolygon(QPolygonF({{mid + gap, 0.5}, {w - 0.5, h / 2.0}, {mid + gap, h - 0.5}}));
        path.closeSubpath();
    }
    p.drawPath(path);
}

void StripChartArrow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragging_ = true;
    pressPos_ = event->globalPosition();
    if (onDrag) onDrag(0.0, true);
    update();
}

void StripChartArrow::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    const QPointF d = event->globalPosition() - pressPos_;
    if (onDrag) onDrag(orientation_ == Qt::Vertical ? d.y() : d.x(), false);
}

void StripChartArrow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragging_ = false;
        update();
    }
}

void StripChartArrow::keyPressEvent(QKeyEvent* event) {
    // Up and Left move the arrow up or left, as dragging it there would.
    constexpr double kStep = 8.0;
    double step = 0;
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Left:
            step = -kStep;
            break;
        case Qt::Key_Down:
        case Qt::Key_Right:
            step = kStep;
            break;
        default:
            return QWidget::keyPressEvent(event);
    }
    if (!onDrag) return;
    onDrag(0.0, true);
    onDrag(step, false);
}

bool StripChartArrow::event(QEvent* event) {
    if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave) update();
    return QWidget::event(event);
}

}  // namespace quarnel
