// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ClickLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include "widgets/WidgetAccessibility.h"

namespace quarnel {

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    installWidgetAccessibility();
}

QRect ClickLabel::focusFrame() const {
    const QFontMetrics metrics(font());
    const QRect line = QStyle::alignedRect(
        layoutDirection(), alignment(), QSize(metrics.horizontalAdvance(text()), metrics.height()),
        contentsRect());
    QRect ink =
        metrics.tightBoundingRect(text()).translated(line.left(), line.top() + metrics.ascent());
    ink.setLeft(line.left());
    ink.setRight(line.right());
    if (font().underline()) ink.setBottom(line.top() + metrics.ascent() + metrics.underlinePos());
    QRect frame = ink.adjusted(-2, -2, 2, 2) & rect();
    if (parentWidget()) {
        for (const QWidget* below :
             parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect other = below->geometry().translated(-pos());
            if (below != this && below->isVisible() && other.intersects(frame) &&
                other.top() > frame.top())
                frame.setBottom(other.top() - 1);
        }
    }
    return frame;
}

void ClickLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(this);
    painter.setPen(QPen(palette().color(foregroundRole()), 1, Qt::DotLine));
    painter.drawRect(focusFrame().adjusted(0, 0, -1, -1));
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void ClickLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

}  // namespace quarnel
