// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/logreview/ColumnTrace.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quarnel {
namespace {

// Samples per block summary: small enough that the raw ends of a range cost
// little, large enough that the summaries are a fraction of the column.
constexpr size_t kBlock = 256;

void add(ColumnTrace::Statistics& s, double v) {
    if (std::isnan(v)) return;
    s.min = s.count ? std::min(s.min, v) : v;
    s.max = s.count ? std::max(s.max, v) : v;
    s.sum += v;
    ++s.count;
}

void merge(ColumnTrace::Statistics& s, const ColumnTrace::Statistics& more) {
    if (more.count == 0) return;
    s.min = s.count ? std::min(s.min, more.min) : more.min;
    s.max = s.count ? std::max(s.max, more.max) : more.max;
    s.sum += more.sum;
    s.count += more.count;
}

// Widens [lo, hi] to the numbers among v[0, n); NaNs fail both comparisons.
// Four lanes, so the compiler can keep them in one vector register.
void widen(const float* v, size_t n, float& lo, float& hi) {
    float los[4] = {lo, lo, lo, lo}, his[4] = {hi, hi, hi, hi};
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (size_t k = 0; k < 4; ++k) {
            los[k] = v[i + k] < los[k] ? v[i + k] : los[k];
            his[k] = v[i + k] > his[k] ? v[i + k] : his[k];
        }
    }
    for (; i < n; ++i) {
        los[0] = v[i] < los[0] ? v[i] : los[0];
        his[0] = v[i] > his[0] ? v[i] : his[0];
    }
    lo = std::min({los[0], los[1], los[2], los[3]});
    hi = std::max({his[0], his[1], his[2], his[3]});
}

}  // namespace

ColumnTrace::ColumnTrace(QCPAxis* keyAxis, QCPAxis* valueAxis)
    : QCPAbstractPlottable(keyAxis, valueAxis) {}

void ColumnTrace::addSegment(const std::vector<double>& time, const std::vector<float>& values,
                             double offset) {
    Segment s{&time, &values, offset, {}};
    s.blocks.resize((values.size() + kBlock - 1) / kBlock);
    for (size_t i = 0; i < values.size(); ++i) add(s.blocks[i / kBlock], values[i]);
    segments_.push_back(std::move(s));
}

ColumnTrace::Statistics ColumnTrace::summarize(const Segment& s, size_t first, size_t last) {
    const std::vector<float>& v = *s.values;
    Statistics r;
    size_t i = first;
    for (const size_t head = std::min(last, (first + kBlock - 1) / kBlock * kBlock); i < head; ++i)
        add(r, v[i]);
    for (; i + kBlock <= last; i += kBlock) merge(r, s.blocks[i / kBlock]);
    for (; i < last; ++i) add(r, v[i]);
    return r;
}

void ColumnTrace::extremes(const Segment& s, size_t first, size_t last, float& lo, float& hi) {
    const float* v = s.values->data();
    lo = std::numeric_limits<float>::infinity(), hi = -lo;
    size_t i = std::min(last, (first + kBlock - 1) / kBlock * kBlock);
    widen(v + first, i - first, lo, hi);
    for (; i + kBlock <= last; i += kBlock) {
        const Statistics& b = s.blocks[i / kBlock];
        if (b.count) lo = std::min(lo, float(b.min)), hi = std::max(hi, float(b.max));
    }
    widen(v + i, last - i, lo, hi);
}

std::pair<size_t, size_t> ColumnTrace::span(const Segment& s, double lower, double upper) {
    const std::vector<double>& t = *s.time;
    const auto first = std::lower_bound(t.begin(), t.end(), lower - s.offset);
    const auto last = std::upper_bound(first, t.end(), upper - s.offset);
    return {size_t(first - t.begin()), size_t(last - t.begin())};
}

ColumnTrace::Statistics ColumnTrace::statistics(double lower, double upper) const {
    Statistics r;
    for (const Segment& s : segments_) {
        const auto [first, last] = span(s, lower, upper);
        merge(r, summarize(s, first, last));
    }
    return r;
}

double ColumnTrace::valueAt(double time) const {
    for (const Segment& s : segments_) {
        const std::vector<double>& t = *s.time;
        if (t.empty()) continue;
        const double halfStep =
            t.size() > 1 ? (t.back() - t.front()) / double(t.size() - 1) / 2 : 0;
        const double local = time - s.offset;
        if (local < t.front() - halfStep || local > t.back() + halfStep) continue;
        const size_t next = size_t(std::lower_bound(t.begin(), t.end(), local) - t.begin());
        const size_t i = next == t.size() || (next > 0 && local - t[next - 1] < t[next] - local)
                             ? next - 1
                             : next;
        return (*s.values)[i];
    }
    return std::numeric_limits<double>::quiet_NaN();
}

double ColumnTrace::sampleTimeBeside(double time, int direction) const {
    double best = std::numeric_limits<double>::quiet_NaN();
    for (const Segment& s : segments_) {
        const std::vector<double>& t = *s.time;
        const double local = time - s.offset;
        double found = 0;
        if (direction > 0) {
            const auto at = std::upper_bound(t.begin(), t.end(), local);
            if (at == t.end()) continue;
            found = *at + s.offset;
        } else {
            const auto at = std::lower_bound(t.begin(), t.end(), local);
            if (at == t.begin()) continue;
            found = *(at - 1) + s.offset;
        }
        if (std::isnan(best) || (direction > 0 ? found < best : found > best)) best = found;
    }
    return best;
}

QCPRange ColumnTrace::getKeyRange(bool& foundRange, QCP::SignDomain) const {
    QCPRange range;
    foundRange = false;
    for (const Segment& s : segments_) {
        if (s.time->empty()) continue;
        const QCPRange own(s.time->front() + s.offset, s.time->back() + s.offset);
        range = foundRange
                    ? QCPRange(std::min(range.lower, own.lower), std::max(range.upper, own.upper))
                    : own;
        foundRange = true;
    }
    return range;
}

QCPRange ColumnTrace::getValueRange(bool& foundRange, QCP::SignDomain,
                                    const QCPRange& inKeyRange) const {
    const double all = std::numeric_limits<double>::infinity();
    const Statistics s = inKeyRange == QCPRange() ? statistics(-all, all)
                                                  : statistics(inKeyRange.lower, inKeyRange.upper);
    foundRange = s.count > 0;
    return QCPRange(s.min, s.max);
}

void ColumnTrace::draw(QCPPainter* painter) {
    if (!mKeyAxis || !mValueAxis) return;
    applyDefaultAntialiasingHint(painter);
    painter->setPen(mPen);
    painter->setBrush(Qt::NoBrush);
    QPolygonF line;
    for (const Segment& s : segments_) {  // no line joins one run to the next
        drawSegment(s, line);
        if (line.size() > 1) painter->drawPolyline(line);
    }
}

void ColumnTrace::drawSegment(const Segment& s, QPolygonF& line) const {
    line.clear();
    const std::vector<double>& t = *s.time;
    const std::vector<float>& v = *s.values;
    auto [first, last] = span(s, mKeyAxis->range().lower, mKeyAxis->range().upper);
    // One sample beyond each edge, so the line runs out of the chart.
    first -= first > 0 ? 1 : 0;
    last += last < t.size() ? 1 : 0;
    if (double(last - first) < 4 * mKeyAxis->axisRect()->width()) {
        for (size_t i = first; i < last; ++i)
            if (!std::isnan(v[i])) line << coordsToPixels(t[i] + s.offset, v[i]);
        return;
    }
    // More samples than pixels: each pixel column drawn as its first, lowest,
    // highest and last value, which looks the same as every sample drawn.
    size_t reach = 16;  // how far to look for a column's end: about its width
    for (size_t i = first; i < last;) {
        const double x = std::floor(mKeyAxis->coordToPixel(t[i] + s.offset));
        const double edge = mKeyAxis->pixelToCoord(x + 1) - s.offset;
        size_t bound = std::min(last, i + reach);
        while (bound < last && t[bound - 1] < edge) bound = std::min(last, bound + reach);
        const size_t end =
            size_t(std::lower_bound(t.begin() + i + 1, t.begin() + bound, edge) - t.begin());
        reach = std::max<size_t>(16, 2 * (end - i));
        float lo = 0, hi = 0;
        extremes(s, i, end, lo, hi);
        if (lo <= hi) {
            for (const float value : {v[i], lo, hi, v[end - 1]})
                if (!std::isnan(value)) line << QPointF(x, mValueAxis->coordToPixel(value));
        }
        i = end;
    }
}

void ColumnTrace::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const {
    applyDefaultAntialiasingHint(painter);
    painter->setPen(mPen);
    painter->drawLine(QLineF(rect.left(), rect.center().y(), rect.right(), rect.center().y()));
}

}  // namespace quarnel
