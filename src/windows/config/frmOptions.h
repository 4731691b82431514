// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration window: Configuration 1 to 3 and the SPI lock as the board
// last said, edited through check boxes and lists and written on Apply or OK.

#include <QSet>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>

#include "windows/BoardFeed.h"

namespace Ui {
class frmOptions;
}

namespace quarnel {

class WindowHost;

inline constexpr const char* kSpiModeMainTitle = "MORVANE Evaluation Software - SPI mode";

class frmOptions : public QWidget {
    Q_OBJECT

  public:
    // Reads the registers (Form_Load) as it is created; deletes itself when closed.
    frmOptions(BoardFeed& feed, WindowHost& host, QWidget* parent = nullptr);
    ~frmOptions() override;

    void Form_Load();
    void cmdApply_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

  private:
    enum Reg { kC1, kC2, kC3, kLock, kRegs };
    // The controls of a register show its value, unless the user has changed
    // one of them since (that edit is theirs until Apply).
    void showRegister(Reg which);
    void onValues(const board::RegisterValues& values);
    void onWritten(const board::Written& written);

    std::unique_ptr<Ui::frmOptions> ui;
    BoardFeed& feed_;
    WindowHost& host_;
    uint64_t ticket_ = 0;
    bool loaded_ = false;   // the board has answered the load's reads
    bool showing_ = false;  // controls set by the window, not the user
    // Configuration 1 to 3 (0x18 to 0x1A) and the SPI lock (0x7F, shown only):
    // as the board last said.
    std::array<int32_t, kRegs> value_{};
    QSet<QWidget*> edited_;
};

}  // namespace quarnel
