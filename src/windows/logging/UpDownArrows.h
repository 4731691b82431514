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
    // What Qt's spin box interface reports to screen readers: the number the
    // attached box shows (0 while it shows none), its range and the step.
    Q_PROPERTY(double value READ value)
    Q_PROPERTY(double minimum MEMBER minimum_)
    Q_PROPERTY(double maximum MEMBER maximum_)
    Q_PROPERTY(double stepSize MEMBER step_)
  public:
    explicit UpDownArrows(QWidget* parent = nullptr);

    void setRange(double minimum, double maximum);
    void setStepSize(double step) { step_ = step; }
    double value() const { return current_.value_or(0.0); }
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
    double step_ = 1.0;
    std::optional<double> current_;
};

}  // namespace quarnel
