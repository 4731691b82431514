// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The limits and interrupts window: interrupt lamps and mask boxes on the
// left, limit gauges on four tab pages on the right. The master timer calls
// UpdateLimitsForm while it is open; UpdateLimitsLayout follows changes of the
// channel selection, the ADC reference and the temperature unit.

#include <QWidget>
#include <array>
#include <memory>

#include "monitor/Session.h"
#include "windows/WindowHost.h"

class QCheckBox;
class QLabel;

namespace Ui {
class frmLimits;
}

namespace quarnel {

class Lamp;
class LinearGauge;
struct LimitRegisters;

inline constexpr const char* kLimitsTitle = "Interrupt Settings";

class frmLimits : public QWidget, public ToolView {
    Q_OBJECT

  public:
    // Loads as it is created (mask boxes from the caches, LimitsWindowOpen,
    // layout pass with its register reads); deletes itself when closed.
    explicit frmLimits(Session& session, QWidget* parent = nullptr);
    ~frmLimits() override;

    // ToolView
    void UpdateLimitsForm() override;
    void UpdateLimitsLayout() override;

    void chkMask_Click(int index);
    void chkIntMask_Click();
    // The user let go of a limit marker: both limits of the gauge are written.
    void ggeInternal_MarkerMoved();
    void ggeExternal_MarkerMoved();
    void ggeVdd_MarkerMoved();
    void ggeAin_MarkerMoved(int index);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void Form_Load();
    void writeTemperatureLimits(LinearGauge* gauge, const LimitRegisters& regs);
    void writeLimits(const LimitRegisters& regs, int32_t low, int32_t high);
    void readTemperatureLimits(LinearGauge* gauge, const LimitRegisters& regs);
    void setTemperatureScale(LinearGauge* gauge);
    void reportConversionError(const char* what);

    std::unique_ptr<Ui::frmLimits> ui;
    Session& session_;
    WindowOpenFlag openFlag_;

    std::array<Lamp*, 14> tglAlert_{};
    std::array<QCheckBox*, 13> chkMask_{};
    std::array<LinearGauge*, 8> ggeAin_{};
    std::array<QLabel*, 8> lblAin_{};
};

}  // namespace quarnel
