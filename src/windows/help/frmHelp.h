// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The help window: the help page beside the program, and the choice whether
// it opens at start-up (saved as "DisplayHelp" when the window closes).

#include <QString>
#include <QWidget>
#include <memory>

#include "windows/BoardFeed.h"
#include "windows/WindowHost.h"

namespace Ui {
class frmHelp;
}

namespace quarnel {

inline constexpr const char* kHelpFileName = "MORVANEHelp.htm";

class frmHelp : public QWidget {
    Q_OBJECT
  public:
    frmHelp(BoardFeed& feed, WindowHost& host, const QString& applicationDir,
            QWidget* parent = nullptr);
    ~frmHelp() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void Form_Load();
    void Form_Unload();

    std::unique_ptr<Ui::frmHelp> ui;
    BoardFeed& feed_;
    WindowHost& host_;
    QString helpPath_;
    bool placed_ = false;
};

}  // namespace quarnel
