// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/LinearGauge.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>

#include "widgets/ReadableColour.h"
#include "widgets/WidgetAccessibility.h"

namespace quarnel {

namespace {

constexpr double kMajorTick = 7.0;
constexpr double kMinorTick = 4.0;
constexpr double kBandWidth = 5.0;
constexpr double kTrackWidth = 14.0;
constexpr double kMarkerWidth = 11.0;
constexpr double kMarkerHalfHeight = 6.0;
const QColor kBandColor(72, 170, 120);
const QColor kBarColor(46, 104, 170);
const QColor kLowColor(24, 130, 200);
const QColor kHighColor(214, 60, 50);
const QColor kDim(110, 116, 126);  // ticks and units

// The smallest of 1, 2, 2.5, 5 times a power of ten not below raw.
double niceCeil(double raw) {
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * power >= raw * (1.0 - 1e-9)) return m * power;
    return 10.0 * power;
}

// The largest of 1, 2, 5 times a power of ten not above raw.
double niceFloor(double raw) {
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {5.0, 2.0, 1.0})
        if (m * power <= raw * (1.0 + 1e-9)) return m * power;
    return power;
}

QFont labelFont(const QFont& base) {
    QFont f(base);
    if (f.pointSizeF() > 0) f.setPointSizeF(f.pointSizeF() * 0.85);
    return f;
}

QFont captionFont(const QFont& base) {
    QFont f(base);
    f.setBold(true);
    return f;
}

}  // namespace

LinearGauge::LinearGauge(QWidget* parent) : QWidget(parent) {
    installWidgetAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

void LinearGauge::setScale(double min, double max) {
    if (!(max > min) || !std::isfinite(min) || !std::isfinite(max)) return;
    min_ = min;
    max_ = max;
    updateGeometry();
    update();
}

void LinearGauge::setUnits(const QString& units) {
    units_ = units;
    updateGeometry();
    update();
}

void LinearGauge::setCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    updateGeometry();
    update();
    // Named by its label, the gauge keeps its name while the caption follows the reading.
    if (QAccessible::isActive() && accessibleName().isEmpty()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void LinearGauge::setPointerStart(int pointer, double value) {
    if (pointer == Band) {
        bandStart_ = value;
    } else if (pointer == Reading) {
        readingStart_ = value;
    } else {
        return;
    }
    update();
}

void LinearGauge::setPointerValue(int pointer, double value) {
    switch (pointer) {
        case Band:
            bandEnd_ = value;
            break;
        case Reading:
            if (value == reading_) return;
            reading_ = value;
            notifyValueChanged();
            break;
        case LowMarker:
            if (value == low_) return;
            low_ = value;
            notifyLimitsChanged(LowMarker);
            break;
        case HighMarker:
            if (value == high_) return;
            high_ = value;
            notifyLimitsChanged(HighMarker);
            break;
        default:
            return;
    }
    update();
}

double LinearGauge::pointerStart(int pointer) const {
    if (pointer == Band) return bandStart_;
    if (pointer == Reading) return readingStart_;
    return min_;
}

double LinearGauge::pointerValue(int pointer) const {
    switch (pointer) {
        case Band:
            return bandEnd_;
        case Reading:
            return reading_;
        case LowMarker:
            return low_;
        case HighMarker:
            return high_;
        default:
            return 0.0;
    }
}

void LinearGauge::setStep(double step) {
    step_ = step > 0.0 ? step : 0.0;
}

double LinearGauge::step() const {
    return step_ > 0.0 ? step_ : niceFloor((max_ - min_) / 200.0);
}

void LinearGauge::setSelectedMarker(int marker) {
    if (marker != LowMarker && marker != HighMarker) return;
    const bool moved = marker != selected_;
    selected_ = marker;
    update();
    if (moved) announceMarker();
}

void LinearGauge::moveMarker(int marker, double value) {
    if (marker != LowMarker && marker != HighMarker) return;
    setSelectedMarker(marker);
    const double before = markerValue(marker);
    moveSelectedMarker(value);
    if (markerValue(marker) != before) emit markerReleased(marker, markerValue(marker));
}

QRect LinearGauge::markerArea(int marker) const {
    return markerRect(geometry(), marker).toAlignedRect();
}

QString LinearGauge::readingText() const {
    if (!std::isfinite(reading_)) return units_;
    return QString::number(reading_, 'g', 6) + units_;
}

QString LinearGauge::limitText(int marker) const {
    return numberText(pointerValue(marker), decimals(step())) + units_;
}

QString LinearGauge::limitsText() const {
    return QStringLiteral("low limit %1, high limit %2")
        .arg(limitText(LowMarker), limitText(HighMarker));
}

void LinearGauge::notifyLimitsChanged(int marker) {
    if (!QAccessible::isActive()) return;
    QAccessibleEvent event(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
    // The marker's own value is what a screen reader announces as it moves.
    QAccessibleValueChangeEvent value(this, pointerValue(marker));
    value.setChild(childOfMarker(marker));
    QAccessible::updateAccessibility(&value);
}

void LinearGauge::announceMarker() {
    if (!hasFocus() || !QAccessible::isActive()) return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(childOfMarker(selected_));
    QAccessible::updateAccessibility(&event);
}

void LinearGauge::notifyValueChanged() {
    if (!QAccessible::isActive()) return;
    QAccessibleValueChangeEvent event(this, readingText());
    QAccessible::updateAccessibility(&event);
}

int LinearGauge::decimals(double step) const {
    int d = 0;
    double scaled = step;
    while (d < 6 && std::abs(scaled - std::round(scaled)) > 1e-6 * std::max(1.0, scaled)) {
        scaled *= 10.0;
        ++d;
    }
    return d;
}

QString LinearGauge::numberText(double value, int decimals) const {
    QString text = QString::number(value, 'f', decimals);
    // No "-0" on a scale.
    if (text.startsWith(QLatin1Char('-')) && QString(text).remove(0, 1).toDouble() == 0.0)
        text.remove(0, 1);
    return text;
}

LinearGauge::Geometry LinearGauge::geometry() const {
    Geometry g;
    const QFontMetricsF cm(captionFont(font()));
    const QFontMetricsF lm(labelFont(font()));
    const double w = width(), h = height();

    g.captionRect = QRectF(0, 2, w, cm.height());
    const double unitsHeight = units_.isEmpty() ? 0.0 : lm.height() + 2;
    g.unitsRect = QRectF(0, h - unitsHeight - 2, w, unitsHeight);
    g.top = g.captionRect.bottom() + 4 + lm.height() / 2;
    g.bottom = g.unitsRect.top() - 2 - lm.height() / 2;
    if (g.bottom < g.top + 10) g.bottom = g.top + 10;

    // Label widths need the major step, which depends on the height above.
    const double intervals = std::clamp((g.bottom - g.top) / 38.0, 2.0, 10.0);
    g.major = niceCeil((max_ - min_) / intervals);
    const double major = g.major;
    const int majorDecimals = decimals(major);
    double labelWidth = 0;
    for (double v : {min_, max_, std::ceil(min_ / major) * major, std::floor(max_ / major) * major})
        labelWidth = std::max(labelWidth, lm.horizontalAdvance(numberText(v, majorDecimals)));
    const int stepDecimals = decimals(step());
    double valueWidth = 0;
    for (double v : {min_, max_})
        valueWidth = std::max(valueWidth, lm.horizontalAdvance(numberText(v, stepDecimals)));

    const double content =
        labelWidth + 3 + kMajorTick + kBandWidth + 4 + kTrackWidth + kMarkerWidth + 3 + valueWidth;
    const double x0 = std::max(2.0, std::floor((w - content) / 2.0));
    g.labelRight = x0 + labelWidth;
    g.tickRight = g.labelRight + 3 + kMajorTick;
    g.bandLeft = g.tickRight;
    g.bandRight = g.bandLeft + kBandWidth;
    g.trackLeft = g.bandRight + 4;
    g.trackRight = g.trackLeft + kTrackWidth;
    g.markerRight = g.trackRight + kMarkerWidth;
    return g;
}

double LinearGauge::yOf(const Geometry& g, double value) const {
    return g.bottom - (value - min_) / (max_ - min_) * (g.bottom - g.top);
}

double LinearGauge::valueAt(const Geometry& g, double y) const {
    return min_ + (g.bottom - y) / (g.bottom - g.top) * (max_ - min_);
}

double LinearGauge::clampToScale(double value) const {
    return std::clamp(value, min_, max_);
}

double LinearGauge::snapped(double value) const {
    const double s = step();
    return std::round(value / s) * s;
}

QRectF LinearGauge::markerRect(const Geometry& g, int marker) const {
    const double y = yOf(g, clampToScale(pointerValue(marker)));
    // The limit line across the track and the value text grab the marker too.
    return QRectF(g.trackLeft, y - kMarkerHalfHeight - 2, width() - g.trackLeft,
                  2 * kMarkerHalfHeight + 4);
}

int LinearGauge::markerAt(const QPointF& pos) const {
    const Geometry g = geometry();
    const bool onLow = markerRect(g, LowMarker).contains(pos);
    const bool onHigh = markerRect(g, HighMarker).contains(pos);
    if (onLow && onHigh) {
        const double dLow = std::abs(pos.y() - yOf(g, clampToScale(low_)));
        const double dHigh = std::abs(pos.y() - yOf(g, clampToScale(high_)));
        if (dLow == dHigh) return selected_;
        return dLow < dHigh ? LowMarker : HighMarker;
    }
    if (onLow) return LowMarker;
    if (onHigh) return HighMarker;
    return -1;
}

double& LinearGauge::markerValue(int marker) {
    return marker == HighMarker ? high_ : low_;
}

void LinearGauge::moveSelectedMarker(double value) {
    value = clampToScale(value);
    double& current = markerValue(selected_);
    if (value == current) return;
    current = value;
    update();
    notifyLimitsChanged(selected_);
    emit markerMoved(selected_, value);
}

void LinearGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.5);
    const Geometry g = geometry();
    const Strokes strokes(devicePixelRatioF());
    drawCaptionAndUnits(p, g);
    drawScale(p, g, strokes);
    drawBand(p, g);
    drawTrack(p, g, strokes);
    drawMarkers(p, g, strokes);
}

LinearGauge::Strokes::Strokes(double ratio)
    : dpr(ratio), lineWidth(std::max(1.0, std::round(ratio)) / ratio) {}

double LinearGauge::Strokes::crisp(double v) const {
    return (std::floor(v * dpr) + std::max(1.0, std::round(dpr)) / 2.0) / dpr;
}

std::pair<double, double> LinearGauge::spanY(const Geometry& g, double a, double b) const {
    const double y1 = yOf(g, clampToScale(a)), y2 = yOf(g, clampToScale(b));
    return {std::min(y1, y2), std::max(y1, y2)};
}

QColor LinearGauge::textColour(const QColor& wanted) const {
    return ReadableOn(wanted, GroundColour(this));
}

QColor LinearGauge::limitTextColour(int marker) const {
    return textColour((marker == HighMarker ? kHighColor : kLowColor).darker(125));
}

void LinearGauge::drawCaptionAndUnits(QPainter& p, const Geometry& g) const {
    p.setFont(captionFont(font()));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(g.captionRect, Qt::AlignHCenter | Qt::AlignVCenter, caption_);
    if (units_.isEmpty()) return;
    p.setFont(labelFont(font()));
    p.setPen(textColour(kDim));
    const double centre = (g.bandLeft + g.trackRight) / 2.0;
    const QRectF column(centre - 100, g.unitsRect.top(), 200, g.unitsRect.height());
    p.drawText(column, Qt::AlignHCenter | Qt::AlignVCenter, units_);
}

void LinearGauge::drawScale(QPainter& p, const Geometry& g, const Strokes& strokes) const {
    // Four minor steps to a major step of 2, five to the others.
    const double mantissa = g.major / std::pow(10.0, std::floor(std::log10(g.major)));
    const int perMajor = std::abs(mantissa - 2.0) < 1e-9 ? 4 : 5;
    const double minor = g.major / perMajor;
    const int majorDecimals = decimals(g.major);
    const QFont lf = labelFont(font());
    const QFontMetricsF lm(lf);
    const QPen tickPen(kDim, strokes.lineWidth, Qt::SolidLine, Qt::FlatCap);
    p.setFont(lf);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(tickPen);
    for (long i = long(std::ceil(min_ / minor - 1e-9)); i <= long(std::floor(max_ / minor + 1e-9));
         ++i) {
        const double v = i * minor;
        const bool isMajor = i % perMajor == 0;
        const double y = strokes.crisp(yOf(g, v));
        const double length = isMajor ? kMajorTick : kMinorTick;
        p.drawLine(QPointF(g.tickRight - length, y), QPointF(g.tickRight, y));
        if (isMajor) {
            p.setPen(palette().color(QPalette::WindowText));
            const QRectF box(g.labelRight - 200, y - lm.height() / 2, 200, lm.height());
            p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, numberText(v, majorDecimals));
            p.setPen(tickPen);
        }
    }
    p.setRenderHint(QPainter::Antialiasing);
}

void LinearGauge::drawBand(QPainter& p, const Geometry& g) const {
    const auto [y1, y2] = spanY(g, bandStart_, bandEnd_);
    p.setPen(Qt::NoPen);
    p.setBrush(kBandColor);
    p.drawRect(QRectF(g.bandLeft, y1, kBandWidth, y2 - y1));
}

void LinearGauge::drawTrack(QPainter& p, const Geometry& g, const Strokes& strokes) const {
    // The track, tinted beyond the limits, with the reading bar and the limit lines.
    const QRectF track(g.trackLeft, g.top - 3, kTrackWidth, g.bottom - g.top + 6);
    QPainterPath trackPath;
    trackPath.addRoundedRect(track, 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(238, 240, 243));
    p.drawPath(trackPath);
    p.save();
    p.setClipPath(trackPath);
    const double yHigh = yOf(g, clampToScale(high_)), yLow = yOf(g, clampToScale(low_));
    p.fillRect(QRectF(track.left(), track.top(), track.width(), yHigh - track.top()),
               QColor(kHighColor.red(), kHighColor.green(), kHighColor.blue(), 38));
    p.fillRect(QRectF(track.left(), yLow, track.width(), track.bottom() - yLow),
               QColor(kLowColor.red(), kLowColor.green(), kLowColor.blue(), 38));
    if (std::isfinite(reading_)) {
        const auto [y1, y2] = spanY(g, readingStart_, reading_);
        QLinearGradient shade(track.left(), 0, track.right(), 0);
        shade.setColorAt(0.0, kBarColor.lighter(135));
        shade.setColorAt(0.5, kBarColor);
        shade.setColorAt(1.0, kBarColor.darker(115));
        p.fillRect(QRectF(track.left() + 3, y1, kTrackWidth - 6, y2 - y1), shade);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const auto& [y, color] : {std::pair{yLow, kLowColor}, std::pair{yHigh, kHighColor}}) {
        p.setPen(QPen(color, strokes.lineWidth, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(track.left(), strokes.crisp(y)),
                   QPointF(track.right(), strokes.crisp(y)));
    }
    p.restore();
    p.setPen(QPen(QColor(170, 176, 186), strokes.lineWidth));
    p.setBrush(Qt::NoBrush);
    p.drawPath(trackPath);
}

void LinearGauge::drawMarkers(QPainter& p, const Geometry& g, const Strokes& strokes) const {
    // Markers and their values; the texts move apart when the markers meet.
    const QFont lf = labelFont(font());
    const QFontMetricsF lm(lf);
    p.setFont(lf);
    const int stepDecimals = decimals(step());
    const double yHigh = yOf(g, clampToScale(high_)), yLow = yOf(g, clampToScale(low_));
    double textHigh = yHigh, textLow = yLow;
    if (std::abs(textLow - textHigh) < lm.height()) {
        const double mid = (textLow + textHigh) / 2.0;
        const double sign = textLow >= textHigh ? 1.0 : -1.0;
        textLow = mid + sign * lm.height() / 2.0;
        textHigh = mid - sign * lm.height() / 2.0;
    }
    for (int m : {LowMarker, HighMarker}) {
        const bool high = m == HighMarker;
        const QColor c = high ? kHighColor : kLowColor;
        const double y = high ? yHigh : yLow;
        p.setPen(QPen(c.darker(130), strokes.lineWidth));
        p.setBrush(c);
        p.drawPolygon(QPolygonF({{g.trackRight + 1, y},
                                 {g.markerRight, y - kMarkerHalfHeight},
                                 {g.markerRight, y + kMarkerHalfHeight}}));
        p.setPen(limitTextColour(m));
        const double ty = high ? textHigh : textLow;
        const QString value = numberText(pointerValue(m), stepDecimals);
        p.drawText(QRectF(g.markerRight + 3, ty - lm.height() / 2, 200, lm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, value);
        // The marker the keys move (or the one dragged) is framed in the text
        // colour, plain to see on any scheme.
        if ((hasFocus() && selected_ == m) || dragging_ == m) {
            const QRectF marker(g.trackRight, y - kMarkerHalfHeight, kMarkerWidth,
                                2 * kMarkerHalfHeight);
            const QRectF text(g.markerRight + 3, ty - lm.height() / 2, lm.horizontalAdvance(value),
                              lm.height());
            p.setPen(QPen(palette().color(QPalette::WindowText), 2 * strokes.lineWidth));
            p.setBrush(Qt::NoBrush);
            p.drawRect(marker.united(text).adjusted(-3, -2, 3, 2));
        }
    }
}

void LinearGauge::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const Geometry g = geometry();
    const int marker = markerAt(event->position());
    if (marker >= 0) {
        setSelectedMarker(marker);
        dragging_ = marker;
        dragStartValue_ = markerValue(marker);
        grabOffset_ = event->position().y() - yOf(g, clampToScale(dragStartValue_));
    } else {
        // A click beside the markers picks the nearer one for the arrow keys.
        const double y = event->position().y();
        setSelectedMarker(std::abs(y - yOf(g, clampToScale(high_))) <
                                  std::abs(y - yOf(g, clampToScale(low_)))
                              ? HighMarker
                              : LowMarker);
    }
    event->accept();
}

void LinearGauge::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ < 0) {
        setCursor(markerAt(event->position()) >= 0 ? Qt::SizeVerCursor : Qt::ArrowCursor);
        return;
    }
    const Geometry g = geometry();
    moveSelectedMarker(snapped(valueAt(g, event->position().y() - grabOffset_)));
}

void LinearGauge::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || dragging_ < 0) return;
    const int marker = dragging_;
    dragging_ = -1;
    update();
    if (markerValue(marker) != dragStartValue_) emit markerReleased(marker, markerValue(marker));
}

void LinearGauge::keyPressEvent(QKeyEvent* event) {
    const double s = step();
    const double current = markerValue(selected_);
    double target;
    switch (event->key()) {
        case Qt::Key_Up:
            target = std::floor(current / s + 1e-9) * s + s;
            break;
        case Qt::Key_Down:
            target = std::ceil(current / s - 1e-9) * s - s;
            break;
        case Qt::Key_PageUp:
            target = std::floor(current / s + 1e-9) * s + 10 * s;
            break;
        case Qt::Key_PageDown:
            target = std::ceil(current / s - 1e-9) * s - 10 * s;
            break;
        case Qt::Key_Home:
            target = min_;
            break;
        case Qt::Key_End:
            target = max_;
            break;
        default:
            return QWidget::keyPressEvent(event);
    }
    if (dragging_ >= 0) return event->accept();
    moveSelectedMarker(target);
    keyMoved_ = keyMoved_ || markerValue(selected_) != current;
    event->accept();
}

void LinearGauge::keyReleaseEvent(QKeyEvent* event) {
    // Held keys repeat; the limit is committed once, when the key comes up.
    if (event->isAutoRepeat() || !keyMoved_) return QWidget::keyReleaseEvent(event);
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            keyMoved_ = false;
            emit markerReleased(selected_, markerValue(selected_));
            event->accept();
            return;
        default:
            return QWidget::keyReleaseEvent(event);
    }
}

bool LinearGauge::event(QEvent* event) {
    // Tab steps from the low to the high marker before focus moves on.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            const bool back = key->key() == Qt::Key_Backtab ||
                              (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier));
            if (key->key() == Qt::Key_Tab && !back && selected_ == LowMarker) {
                setSelectedMarker(HighMarker);
                return true;
            }
            if (back && selected_ == HighMarker) {
                setSelectedMarker(LowMarker);
                return true;
            }
        }
    }
    return QWidget::event(event);
}

void LinearGauge::focusInEvent(QFocusEvent* event) {
    if (event->reason() == Qt::TabFocusReason) selected_ = LowMarker;
    if (event->reason() == Qt::BacktabFocusReason) selected_ = HighMarker;
    update();
    QWidget::focusInEvent(event);
    // Qt announces the gauge once this returns; the marker that takes the keys follows it.
    QMetaObject::invokeMethod(this, &LinearGauge::announceMarker, Qt::QueuedConnection);
}

void LinearGauge::focusOutEvent(QFocusEvent* event) {
    // A key move is committed even when focus leaves before the key comes up.
    if (keyMoved_) {
        keyMoved_ = false;
        emit markerReleased(selected_, markerValue(selected_));
    }
    update();
    QWidget::focusOutEvent(event);
}

QSize LinearGauge::sizeHint() const {
    const QSize min = minimumSizeHint();
    return QSize(min.width(), std::max(min.height(), 240));
}

QSize LinearGauge::minimumSizeHint() const {
    const QFontMetricsF cm(captionFont(font()));
    const QFontMetricsF lm(labelFont(font()));
    double labelWidth = 0;
    for (double v : {min_, max_, (min_ + max_) / 2.0})
        labelWidth =
            std::max(labelWidth, lm.horizontalAdvance(numberText(v, decimals(step()) + 1)));
    const double content =
        2 * labelWidth + 3 + kMajorTick + kBandWidth + 4 + kTrackWidth + kMarkerWidth + 3 + 8;
    const double width =
        std::max({content, cm.horizontalAdvance(caption_) + 8, lm.horizontalAdvance(units_) + 8});
    return QSize(int(std::ceil(width)), int(std::ceil(cm.height() + 2 * lm.height() + 120)));
}

}  // namespace quarnel
