// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/Lamp.h"

#include <QAccessible>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>

#include "widgets/WidgetAccessibility.h"

namespace quarnel {

Lamp::Lamp(QWidget* parent) : QWidget(parent) {
    installWidgetAccessibility();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Lamp::setLit(bool lit) {
    if (lit == lit_) return;
    lit_ = lit;
    update();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent value(this, accessibleValue());
        QAccessible::updateAccessibility(&value);
        QAccessibleEvent name(this, QAccessible::NameChanged);  // the name carries it too
        QAccessible::updateAccessibility(&name);
    }
    emit litChanged(lit);
}

void Lamp::setCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

QString Lamp::accessibleValue() const {
    return lit_ ? QStringLiteral("Bad") : QStringLiteral("OK");
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.5);
    const double size = std::min(width(), height()) - 2.0;
    const QRectF disc((width() - size) / 2.0, (height() - size) / 2.0, size, size);
    const QColor base = color();

    // A lit lens with a soft highlight, in a thin dark bezel.
    QRadialGradient lens(disc.center() - QPointF(size * 0.18, size * 0.22), size * 0.7);
    lens.setColorAt(0.0, base.lighter(175));
    lens.setColorAt(0.45, base);
    lens.setColorAt(1.0, base.darker(150));
    p.setPen(QPen(base.darker(220), std::max(1.0, size / 16.0)));
    p.setBrush(lens);
    p.drawEllipse(disc);

    QRadialGradient glint(disc.center() - QPointF(size * 0.16, size * 0.2), size * 0.28);
    glint.setColorAt(0.0, QColor(255, 255, 255, 170));
    glint.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glint);
    p.drawEllipse(disc.adjusted(size * 0.1, size * 0.1, -size * 0.1, -size * 0.1));
}

}  // namespace quarnel
