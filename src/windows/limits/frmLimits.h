// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The limits and interrupts window: interrupt lamps and mask boxes on the
// left, limit gauges on four tab pages on the right. The master timer calls
// UpdateLimitsForm while it is open; UpdateLimitsLayout follows changes of the
// channel selection, the ADC reference and the temperature unit.

#include <QHash>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

#include "monitor/ChipLimits.h"
#include "windows/BoardFeed.h"
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

class frmLimits : public QWidget {
    Q_OBJECT

  public:
    // Loads as it is created (mask boxes from the caches, LimitsWindowOpen,
    // layout pass, the limits asked of the board); deletes itself when closed.
    frmLimits(BoardFeed& feed, Notifier& notifier, QWidget* parent = nullptr);
    ~frmLimits() override;

    // The readings (every 0.5 s of the board's ticks) and the layout.
    void UpdateLimitsForm();
    void UpdateLimitsLayout();

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
    // A marker the user left where the chip's limit put it writes the chip's
    // byte back as it is; only a moved marker is converted.
    void writeLimits(LinearGauge* gauge, const LimitRegisters& regs, int32_t low, int32_t high);
    // The markers at the chip's latest limits.
    void showLimits();
    void showLimit(LinearGauge* gauge, const LimitBytes& bytes, float low, float high);
    void setTemperatureScale(LinearGauge* gauge);
    void reportConversionError(const char* what);

    std::unique_ptr<Ui::frmLimits> ui;
    BoardFeed& feed_;
    Notifier& notifier_;
    WindowOpenFlag openFlag_;
    std::optional<ChipLimits> limits_;  // as the board last said
    // Per gauge: the bytes its markers show and where they were put.
    struct Shown {
        LimitBytes bytes;
        double low = 0.0, high = 0.0;
    };
    QHash<LinearGauge*, Shown> shown_;
    bool fahrenheit_ = false;  // the unit the scales are laid out in
    bool subscribed_ = false;  // the worker reads the limits for this window
    double lastUpdate_ = 0.0;  // time of day of the last readings shown

    std::array<Lamp*, 14> tglAlert_{};
    std::array<QCheckBox*, 13> chkMask_{};
    std::array<LinearGauge*, 8> ggeAin_{};
    std::array<QLabel*, 8> lblAin_{};
};

}  // namespace quarnel
