// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window as a tool window sees it, recorded for tests (frames close as in the program).

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "windows/WindowHost.h"

namespace quarnel::test {

class RecordingHost : public WindowHost {
  public:
    void setMainTitle(const QString& title) override { titles << title; }
    void SetStatusText(const std::string& text) override {
        statusTexts << QString::fromStdString(text);
    }
    void openWindow(ToolWindow which) override { opened.push_back(which); }

    QStringList titles;
    QStringList statusTexts;
    std::vector<ToolWindow> opened;
};

}  // namespace quarnel::test
