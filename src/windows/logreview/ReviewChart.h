// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One chart of the log review window: a titled plot with its legend in a
// boxed row underneath. It takes keyboard focus and shows it, opens its
// command menu from the keyboard too, spaces its value ticks for the font,
// takes its colours from the palette, and tells screen readers what it is
// (a chart, named by its title).

#include <qcustomplot.h>

namespace quarnel {

class ReviewChart : public QCustomPlot {
    Q_OBJECT
  public:
    ReviewChart(const QString& title, QWidget* parent);

    QString title() const { return title_; }
    // The legend's texts, for screen readers.
    QString legendText() const;

  signals:
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
    int tickedHeight_ = -1;  // the axis height the value ticks were spaced for
};

}  // namespace quarnel
