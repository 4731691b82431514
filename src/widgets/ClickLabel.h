// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A label that acts as a control: a left click on it, or Space or Enter while
// it has the focus, emits clicked(). The focus shows as a dotted frame hugging
// the text, cut short above any neighbour below it, so the label's own box
// (which may reach into that neighbour) never shows. Screen readers see it in
// the role it is given and can press it: a link, or a check box that is
// checked while the label shows anything but "0".

#include <QAccessible>
#include <QLabel>

namespace quarnel {

class ClickLabel : public QLabel {
    Q_OBJECT

  public:
    explicit ClickLabel(QWidget* parent = nullptr);

    void setRole(QAccessible::Role role) { role_ = role; }
    QAccessible::Role role() const { return role_; }
    bool isChecked() const { return text() != QLatin1String("0"); }

    // Where the focus frame is drawn, in the label's coordinates.
    QRect focusFrame() const;

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QAccessible::Role role_ = QAccessible::Link;
};

}  // namespace quarnel
