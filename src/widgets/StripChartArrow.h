// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small double-headed arrow at the end of a strip chart's axis; dragging it
// moves that end of the axis. Reports the drag distance in pixels from the press.
// With the focus, the arrow keys move it a step at a time.

#include <QWidget>
#include <functional>

namespace quarnel {

class StripChartArrow : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kLong = 16;   // along the drag direction
    static constexpr int kShort = 11;  // across it

    StripChartArrow(Qt::Orientation orientation, QWidget* parent);

    std::function<void(double delta, bool start)> onDrag;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    Qt::Orientation orientation_;
    bool dragging_ = false;
    QPointF pressPos_;
};

}  // namespace quarnel
