// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One channel of a log drawn straight from the reader's small columns (times
// in milliseconds, values as 16-bit codes where they fit), one segment per run
// shifted along the time axis. Copying a million-line log into the chart's own
// points would take 16 bytes a point; this keeps 2, plus a summary of every
// block of samples so that a redraw or the statistics of a range cost a pass
// over the blocks, not over every sample.

#include <qcustomplot.h>

#include <cstdint>
#include <vector>

#include "monitor/LogColumns.h"

namespace quarnel {

class ColumnTrace : public QCPAbstractPlottable {
    Q_OBJECT
  public:
    struct Statistics {
        double min = 0, max = 0, sum = 0;
        int64_t count = 0;  // samples that are numbers
    };

    ColumnTrace(QCPAxis* keyAxis, QCPAxis* valueAxis);

    // The columns must outlive the trace; segments come in time order.
    void addSegment(const LogTimes& time, const LogValues& values, double offset);
    // Over the samples with lower <= time <= upper.
    Statistics statistics(double lower, double upper) const;
    // The value of the sample nearest the time in the run that covers it
    // (from its first sample to its last, and half a step beyond each); NaN
    // when no run does or that sample is no number.
    double valueAt(double time) const;
    // The time of the nearest sample after (direction > 0) or before the
    // time; NaN when there is none.
    double sampleTimeBeside(double time, int direction) const;

    double selectTest(const QPointF&, bool, QVariant* = nullptr) const override { return -1; }
    QCPRange getKeyRange(bool& foundRange, QCP::SignDomain = QCP::sdBoth) const override;
    QCPRange getValueRange(bool& foundRange, QCP::SignDomain = QCP::sdBoth,
                           const QCPRange& inKeyRange = QCPRange()) const override;

  protected:
    void draw(QCPPainter* painter) override;
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

  private:
    struct Segment {
        const LogTimes* time;
        const LogValues* values;
        double offset;
        std::vector<Statistics> blocks;  // of kBlock samples each
    };
    static Statistics summarize(const Segment& s, size_t first, size_t last);
    // Lowest and highest number among samples [first, last): lo > hi if none.
    static void extremes(const Segment& s, size_t first, size_t last, double& lo, double& hi);
    // The first sample at or after the time (after it when `after`), in [first, last).
    static size_t search(const LogTimes& t, size_t first, size_t last, double time, bool after);
    // Indices of the samples with lower <= time <= upper.
    static std::pair<size_t, size_t> span(const Segment& s, double lower, double upper);
    void drawSegment(const Segment& s, QPolygonF& line) const;

    std::vector<Segment> segments_;
};

}  // namespace quarnel
