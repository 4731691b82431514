// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/logging/UpDownArrows.h"

#include <QAccessible>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

namespace quarnel {

UpDownArrows::UpDownArrows(QWidget* parent) : QAbstractSpinBox(parent) {
    // The inner edit field only mirrors the attached box for screen readers.
    lineEdit()->setReadOnly(true);
    lineEdit()->hide();
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setAccelerated(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void UpDownArrows::setRange(double minimum, double maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    update();
}

void UpDownArrows::setCurrent(std::optional<double> value, const QString& text) {
    const bool changed = value != current_;
    current_ = value;
    lineEdit()->setText(text);
    update();
    if (changed && QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, this->value());
        QAccessible::updateAccessibility(&event);
    }
}

void UpDownArrows::stepBy(int steps) {
    if (steps != 0) emit stepped(steps);
}

QAbstractSpinBox::StepEnabled UpDownArrows::stepEnabled() const {
    if (!isEnabled()) return StepNone;
    // A text that is no number steps from the interval in use: both ways open.
    if (!current_) return StepUpEnabled | StepDownEnabled;
    StepEnabled enabled = StepNone;
    if (*current_ < maximum_) enabled |= StepUpEnabled;
    if (*current_ > minimum_) enabled |= StepDownEnabled;
    return enabled;
}

QSize UpDownArrows::sizeHint() const {
    // Only the arrow buttons and the border around them: no edit field shows.
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QSize full = QAbstractSpinBox::sizeHint();
    const int probe = 100;
    option.rect = QRect(QPoint(0, 0), QSize(probe, full.height()));
    const QRect up =
        style()->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxUp, this);
    return {probe - up.x() + 1, full.height()};
}

QSize UpDownArrows::minimumSizeHint() const {
    return sizeHint();
}

}  // namespace quarnel
