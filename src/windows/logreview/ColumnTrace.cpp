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
template <typename T>
void widen(const T* v, size_t n, T& lo, T& hi) {
    T los[4] = {lo, lo, lo, lo}, his[4] = {hi, hi, hi, hi};
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

void ColumnTrace::addSegment(const LogTimes& time, const LogValues& values, double offset) {
    Segment s{&time, &values, offset, {}};
    s.blocks.resize((values.size() + kBlock - 1) / kBlock);
    if (values.coded()) {
        // In whole codes, and a division a block.
        const int16_t* codes = values.codes();
        for (size_t first = 0; first < values.size(); first += kBlock) {
            const size_t n = std::min(kBlock, values.size() - first);
            int16_t lo = codes[first], hi = lo;
            widen(codes + first, n, lo, hi);
            int64_t sum = 0;
            for (size_t i = first; i < first + n; ++i) sum += codes[i];
            const double d = values.divisor();
            s.blocks[first / kBlock] = {lo / d, hi / d, double(sum) / d, int64_t(n)};
        }
    } else {
        for (size_t i = 0; i < values.size(); ++i) add(s.blocks[i / kBlock], values[i]);
    }
    segments_.push_back(std::move(s));
}

ColumnTrace::Statistics ColumnTrace::summarize(const Segment& s, size_t first, size_t last) {
    const LogValues& v = *s.values;
    Statistics r;
    size_t i = first;
    for (const size_t head = std::min(last, (first + kBlock - 1) / kBlock * kBlock); i < head; ++i)
        add(r, v[i]);
    for (; i + kBlock <= last; i += kBlock) merge(r, s.blocks[i / kBlock]);
    for (; i < last; ++i) add(r, v[i]);
    return r;
}

void ColumnTrace::extremes(const Segment& s, size_t first, size_t last, double& lo, double& hi) {
    lo = std::numeric_limits<double>::infinity(), hi = -lo;
    const LogValues& v = *s.values;
    const auto raw = [&](size_t from, size_t to) {
        if (from >= to) return;
        if (v.coded()) {
            int16_t l = v.codes()[from], h = l;
            widen(v.codes() + from, to - from, l, h);
            lo = std::min(lo, l / v.divisor()), hi = std::max(hi, h / v.divisor());
        } else {
            float l = std::numeric_limits<float>::infinity(), h = -l;
            widen(v.floats() + from, to - from, l, h);
            if (l <= h) lo = std::min(lo, double(l)), hi = std::max(hi, double(h));
        }
    };
    size_t i = std::min(last, (first + kBlock - 1) / kBlock * kBlock);
    raw(first, i);
    for (; i + kBlock <= last; i += kBlock) {
        const Statistics& b = s.blocks[i / kBlock];
        if (b.count) lo = std::min(lo, b.min), hi = std::max(hi, b.max);
    }
    raw(i, last);
}

size_t ColumnTrace::search(const LogTimes& t, size_t first, size_t last, double time, bool after) {
    while (first < last) {
        const size_t middle = first + (last - first) / 2;
        if (after ? t[middle] <= time : t[middle] < time)
            first = middle + 1;
        else
            last = middle;
    }
    return first;
}

std::pair<size_t, size_t> ColumnTrace::span(const Segment& s, double lower, double upper) {
    const size_t first = search(*s.time, 0, s.time->size(), lower - s.offset, false);
    return {first, search(*s.time, first, s.time->size(), upper - s.offset, true)};
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
        const LogTimes& t = *s.time;
        if (t.empty()) continue;
        const double halfStep =
            t.size() > 1 ? (t.back() - t.front()) / double(t.size() - 1) / 2 : 0;
        const double local = time - s.offset;
        if (local < t.front() - halfStep || local > t.back() + halfStep) continue;
        const size_t next = search(t, 0, t.size(), local, false);
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
        const LogTimes& t = *s.time;
        const size_t at = search(t, 0, t.size(), time - s.offset, direction > 0);
        if (direction > 0 ? at == t.size() : at == 0) continue;
        const double found = t[direction > 0 ? at : at - 1] + s.offset;
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
    const LogTimes& t = *s.time;
    const LogValues& v = *s.values;
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
        const size_t end = search(t, i + 1, bound, edge, false);
        reach = std::max<size_t>(16, 2 * (end - i));
        double lo = 0, hi = 0;
        extremes(s, i, end, lo, hi);
        if (lo <= hi) {
            for (const double value : {v[i], lo, hi, v[end - 1]})
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
