// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ReadableColour.h"

#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace quarnel {

namespace {

double channel(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

struct Lab {
    double l, a, b;
};

// CIE L*a*b* under D65, the sRGB white.
Lab lab(const QColor& c) {
    const double r = channel(c.redF()), g = channel(c.greenF()), b = channel(c.blueF());
    const auto f = [](double t) {
        return t > 216.0 / 24389 ? std::cbrt(t) : t * 841 / 108 + 4.0 / 29;
    };
    const double x = f((0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047);
    const double y = f(0.2126 * r + 0.7152 * g + 0.0722 * b);
    const double z = f((0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883);
    return {116 * y - 16, 500 * (x - y), 200 * (y - z)};
}

double radians(double degrees) {
    return degrees * std::numbers::pi / 180;
}

}  // namespace

double ColourDifference(const QColor& first, const QColor& second) {
    // Sharma, Wu and Dalal's statement of the formula, step by step.
    const Lab p = lab(first), q = lab(second);
    const double meanC = (std::hypot(p.a, p.b) + std::hypot(q.a, q.b)) / 2;
    const double c7 = std::pow(meanC, 7);
    const double g = 0.5 * (1 - std::sqrt(c7 / (c7 + std::pow(25.0, 7))));
    const double a1 = (1 + g) * p.a, a2 = (1 + g) * q.a;
    const double c1 = std::hypot(a1, p.b), c2 = std::hypot(a2, q.b);
    const auto hue = [](double b, double a) {
        const double h = std::atan2(b, a) * 180 / std::numbers::pi;
        return h < 0 ? h + 360 : h;
    };
    const double h1 = hue(p.b, a1), h2 = hue(q.b, a2);
    double dh = c1 * c2 == 0 ? 0 : h2 - h1;
    dh += dh > 180 ? -360 : dh < -180 ? 360 : 0;
    const double dL = q.l - p.l, dC = c2 - c1;
    const double dH = 2 * std::sqrt(c1 * c2) * std::sin(radians(dh / 2));
    const double meanL = (p.l + q.l) / 2, meanCp = (c1 + c2) / 2;
    double meanH = h1 + h2;
    if (c1 * c2 != 0)
        meanH = std::abs(h1 - h2) <= 180 ? meanH / 2 : (meanH + (meanH < 360 ? 360 : -360)) / 2;
    const double t = 1 - 0.17 * std::cos(radians(meanH - 30)) +
                     0.24 * std::cos(radians(2 * meanH)) + 0.32 * std::cos(radians(3 * meanH + 6)) -
                     0.20 * std::cos(radians(4 * meanH - 63));
    const double cp7 = std::pow(meanCp, 7);
    const double rc = 2 * std::sqrt(cp7 / (cp7 + std::pow(25.0, 7)));
    const double rt = -std::sin(radians(60 * std::exp(-std::pow((meanH - 275) / 25, 2)))) * rc;
    const double l50 = (meanL - 50) * (meanL - 50);
    const double sl = 1 + 0.015 * l50 / std::sqrt(20 + l50), sc = 1 + 0.045 * meanCp,
                 sh = 1 + 0.015 * meanCp * t;
    return std::sqrt(std::pow(dL / sl, 2) + std::pow(dC / sc, 2) + std::pow(dH / sh, 2) +
                     rt * (dC / sc) * (dH / sh));
}

QColor GroundColour(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        if (w->autoFillBackground()) return w->palette().color(w->backgroundRole());
        if (const auto* tabs = qobject_cast<const QTabWidget*>(w)) {
            // Whatever the style draws there: asked of the style, not guessed.
            QStyleOptionTabWidgetFrame pane;
            pane.initFrom(tabs);
            pane.rect = QRect(0, 0, 16, 16);
            QImage image(pane.rect.size(), QImage::Format_RGB32);
            image.fill(tabs->palette().color(QPalette::Window));
            QPainter painter(&image);
            tabs->style()->drawPrimitive(QStyle::PE_FrameTabWidget, &pane, &painter, tabs);
            return image.pixelColor(8, 8);
        }
    }
    return widget->palette().color(widget->backgroundRole());
}

QColor Mix(const QColor& a, const QColor& b, double t) {
    const auto at = [t](double x, double y) { return int(std::lround(255 * (x + (y - x) * t))); };
    return QColor(at(a.redF(), b.redF()), at(a.greenF(), b.greenF()), at(a.blueF(), b.blueF()));
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& wanted, const QColor& background, double contrast) {
    if (ContrastRatio(wanted, background) >= contrast) return wanted;
    // Away from the background: towards white on a dark one, black on a light one.
    const QColor pole = ContrastRatio(Qt::white, background) > ContrastRatio(Qt::black, background)
                            ? QColor(Qt::white)
                            : QColor(Qt::black);
    for (int step = 1; step <= 20; ++step) {
        const QColor c = Mix(wanted, pole, step / 20.0);
        if (ContrastRatio(c, background) >= contrast) return c;
    }
    return pole;
}

void MakeReadable(QTextDocument& document, const QPalette& palette) {
    const auto colour = [](const QBrush& brush, const QColor& otherwise) {
        return brush.style() == Qt::NoBrush ? otherwise : brush.color();
    };
    struct Change {
        int from, length;
        QTextCharFormat format;
    };
    std::vector<Change> changes;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QColor page = colour(block.blockFormat().background(), palette.color(QPalette::Base));
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextCharFormat format = it.fragment().charFormat();
            const QColor text = colour(format.foreground(), palette.color(QPalette::Text));
            const QColor readable = ReadableOn(text, colour(format.background(), page));
            if (readable == text) continue;
            format.setForeground(readable);
            changes.push_back({it.fragment().position(), it.fragment().length(), format});
        }
    }
    QTextCursor cursor(&document);
    for (const Change& c : changes) {
        cursor.setPosition(c.from);
        cursor.setPosition(c.from + c.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(c.format);
    }
}

}  // namespace quarnel
