#include "widgets/ReadableColour.h"

#include <algorithm>
#include <cmath>

namespace quarnel {

namespace {

double channel(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

QColor mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& wanted, const QColor& background) {
    if (ContrastRatio(wanted, background) >= kReadableContrast) return wanted;
    // Away from the background: towards white on a dark one, black on a light one.
    const QColor pole = ContrastRatio(Qt::white, background) > ContrastRatio(Qt::black, background)
                            ? QColor(Qt::white)
                            : QColor(Qt::black);
    for (int step = 1; step <= 20; ++step) {
        const QColor c = mix(wanted, pole, step / 20.0);
        if (ContrastRatio(c, background) >= kReadableContrast) return c;
    }
    return pole;
}

}  // namespace quarnel
