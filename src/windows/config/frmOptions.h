// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration window: a local copy of Configuration 1 to 3 and the SPI
// lock, edited through check boxes and lists and written back on Apply or OK.

#include <QWidget>
#include <cstdint>
#include <memory>

namespace Ui {
class frmOptions;
}

namespace quarnel {

class BoardLink;
class WindowHost;

inline constexpr const char* kSpiModeMainTitle = "MORVANE Evaluation Software - SPI mode";

class frmOptions : public QWidget {
    Q_OBJECT

  public:
    // Reads the registers (Form_Load) as it is created; deletes itself when closed.
    frmOptions(BoardLink& link, WindowHost& host, QWidget* parent = nullptr);
    ~frmOptions() override;

    void Form_Load();
    void cmdApply_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

  private:
    std::unique_ptr<Ui::frmOptions> ui;
    BoardLink& link_;
    WindowHost& host_;

    // Local copy: as read at load, then as last written. Never re-read while open.
    int32_t config1_ = 0;  // 0x18
    int32_t config2_ = 0;  // 0x19
    int32_t config3_ = 0;  // 0x1A
    int32_t spiLock_ = 0;  // 0x7F, shown only
};

}  // namespace quarnel
