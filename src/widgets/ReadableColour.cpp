// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ReadableColour.h"

#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cmath>
#include <vector>

namespace quarnel {

namespace {

double channel(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

}  // namespace

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
