// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One chart of the log review window: a titled plot with its legend in a
// boxed row underneath. It takes keyboard focus and shows it, opens its
// command menu from the keyboard too, spaces its value ticks for the font,
// takes its colours from the palette, and tells screen readers what it is
// (a chart, named by its title) and what its cursor reads.

#include <qcustomplot.h>

namespace quarnel {

class ReviewChart : public QCustomPlot {
    Q_OBJECT
  public:
    ReviewChart(const QString& title, QWidget* parent);

    QString title() const { return title_; }
    // What screen readers read of the cursor: its time as the chart's value
    // (which they may set), and as its value text and first words of its
    // description, the time and each shown channel's value there. A change
    // is announced while the chart has the focus, as the cursor keys work on it.
    QString readout() const { return readout_; }
    double cursorTime() const { return cursorTime_; }
    void setReadout(double cursorTime, const QString& text);

  signals:
    void cursorRequested(double time);  // by a screen reader

    // The command menu at pos (the chart's coordinates).
    void menuRequested(const QPoint& pos);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;  // a new palette: colours again

  private:
    QString title_;
    QString readout_;
    double cursorTime_ = 0;
    int tickedHeight_ = -1;  // the axis height the value ticks were spaced for
};

}  // namespace quarnel
