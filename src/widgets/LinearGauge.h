// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An upright linear gauge: a scale with ticks and labels, a coloured band over
// the scale, the reading as a bar, and two limit markers the user drags with
// the mouse or moves with the arrow keys. Four numbered pointers mirror the
// way the limits window addresses them.

#include <QString>
#include <QWidget>
#include <utility>

class QPainter;

namespace quarnel {

class LinearGauge : public QWidget {
    Q_OBJECT

  public:
    enum Pointer {
        Band = 0,        // start .. value, coloured strip along the scale
        Reading = 1,     // bar from start to value
        LowMarker = 2,   // value only, user-movable
        HighMarker = 3,  // value only, user-movable
    };

    explicit LinearGauge(QWidget* parent = nullptr);

    // Scale. Ticks and labels are chosen from the range and the height.
    void setScale(double min, double max);
    double scaleMin() const { return min_; }
    double scaleMax() const { return max_; }
    void setUnits(const QString& units);  // drawn under the scale

    void setCaption(const QString& caption);  // drawn above the scale
    QString caption() const { return caption_; }

    // Pointers by number. Values are kept as given and only drawn clamped to
    // the scale; the user's moves stay inside the scale.
    void setPointerStart(int pointer, double value);  // Band and Reading
    void setPointerValue(int pointer, double value);
    double pointerStart(int pointer) const;
    double pointerValue(int pointer) const;

    void setBand(double from, double to) {
        setPointerStart(Band, from);
        setPointerValue(Band, to);
    }
    void setReadingStart(double value) { setPointerStart(Reading, value); }
    void setReading(double value) { setPointerValue(Reading, value); }
    double reading() const { return reading_; }
    void setLowLimit(double value) { setPointerValue(LowMarker, value); }
    void setHighLimit(double value) { setPointerValue(HighMarker, value); }
    double lowLimit() const { return low_; }
    double highLimit() const { return high_; }

    // One arrow-key press or drag quantum; 0 picks a round step near 1/200 of
    // the scale. Page Up/Down move ten steps, Home/End to the scale ends.
    void setStep(double step);
    double step() const;

    // The marker the arrow keys move: LowMarker or HighMarker. Tab moves from
    // the low to the high marker before leaving the gauge.
    int selectedMarker() const { return selected_; }
    void setSelectedMarker(int marker);

    // Screen readers see the markers as the gauge's children 0 (low) and 1 (high).
    static int childOfMarker(int marker) { return marker == HighMarker ? 1 : 0; }
    static int markerOfChild(int child) { return child == 1 ? HighMarker : LowMarker; }
    // A limit as written beside its marker, with the units: "80°C".
    QString limitText(int marker) const;
    // Where a marker and its value are drawn.
    QRect markerArea(int marker) const;
    // Moves a marker as the user would and lets it go: a screen reader sets it.
    void moveMarker(int marker, double value);

    // The reading with its units, as read out to screen readers.
    QString readingText() const;
    QString accessibleCaption() const { return caption_; }
    QString accessibleValue() const { return readingText(); }
    // The two limits as read out: "low limit 20°C, high limit 80°C".
    QString limitsText() const;
    // The colour a limit marker's value is written in (LowMarker, HighMarker),
    // readable on the gauge's background.
    QColor limitTextColour(int marker) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    // While the user drags a marker (and on each key move).
    void markerMoved(int marker, double value);
    // When a drag that changed the marker ends, and after a key move ends.
    void markerReleased(int marker, double value);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

  private:
    struct Geometry {
        double top = 0, bottom = 0;  // y of scale max and min
        double major = 1;            // step between labelled ticks
        double labelRight = 0, tickRight = 0;
        double bandLeft = 0, bandRight = 0;
        double trackLeft = 0, trackRight = 0;
        double markerRight = 0;
        QRectF captionRect, unitsRect;
    };

    // A 1-pixel line centred on a device pixel, so ticks stay sharp at any scale.
    struct Strokes {
        explicit Strokes(double ratio);
        double crisp(double v) const;
        double dpr, lineWidth;
    };

    Geometry geometry() const;
    void drawCaptionAndUnits(QPainter& p, const Geometry& g) const;
    QColor textColour(const QColor& wanted) const;
    void drawScale(QPainter& p, const Geometry& g, const Strokes& strokes) const;
    void drawBand(QPainter& p, const Geometry& g) const;
    void drawTrack(QPainter& p, const Geometry& g, const Strokes& strokes) const;
    void drawMarkers(QPainter& p, const Geometry& g, const Strokes& strokes) const;
    std::pair<double, double> spanY(const Geometry& g, double a, double b) const;
    double yOf(const Geometry& g, double value) const;
    double valueAt(const Geometry& g, double y) const;
    double snapped(double value) const;
    double clampToScale(double value) const;
    QRectF markerRect(const Geometry& g, int marker) const;
    int markerAt(const QPointF& pos) const;
    double& markerValue(int marker);
    void moveSelectedMarker(double value);
    int decimals(double step) const;
    QString numberText(double value, int decimals) const;
    void notifyValueChanged();
    void notifyLimitsChanged(int marker);
    void announceMarker();

    double min_ = 0.0, max_ = 100.0;
    double step_ = 0.0;
    QString caption_, units_;
    double bandStart_ = 0.0, bandEnd_ = 100.0;
    double readingStart_ = 0.0, reading_ = 0.0;
    double low_ = 0.0, high_ = 100.0;
    int selected_ = LowMarker;

    int dragging_ = -1;  // marker being dragged, or -1
    double grabOffset_ = 0.0;
    double dragStartValue_ = 0.0;
    bool keyMoved_ = false;
};

}  // namespace quarnel
