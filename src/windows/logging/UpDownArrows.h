// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The up-down arrows attached beside a text box: a spin control without its
// own edit field. It keeps no number; each step is handed to the owner, which
// steps whatever its text box shows.

#include <QAbstractSpinBox>
#include <optional>

namespace quarnel {

class UpDownArrows : public QAbstractSpinBox {
    Q_OBJECT
  public:
    explicit UpDownArrows(QWidget* parent = nullptr);

    void setRange(double minimum, double maximum);
    // What the attached box shows now (nothing when it is not a number), so
    // an arrow that cannot move the number is drawn disabled.
    void setCurrent(std::optional<double> value, const QString& text);

    void stepBy(int steps) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void stepped(int steps);

  protected:
    StepEnabled stepEnabled() const override;

  private:
    double minimum_ = 0.0;
    double maximum_ = 0.0;
    std::optional<double> current_;
};

}  // namespace quarnel
