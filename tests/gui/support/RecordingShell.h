#pragma once
// The main window as a tool window sees it, recorded for tests.

#include <QString>
#include <QStringList>
#include <vector>

#include "windows/Shell.h"

namespace quarnel::test {

class RecordingShell : public Shell {
public:
    void setMainTitle(const QString& title) override { titles << title; }
    void setStatusText(const QString& text) override { statusTexts << text; }
    void openWindow(ToolWindow which) override { opened.push_back(which); }
    void updateGraphsLayout() override { ++graphsLayoutCalls; }
    void updateLimitsLayout() override { ++limitsLayoutCalls; }
    QString applicationDir() const override { return appDir; }

    QStringList titles;
    QStringList statusTexts;
    std::vector<ToolWindow> opened;
    int graphsLayoutCalls = 0;
    int limitsLayoutCalls = 0;
    QString appDir = QStringLiteral(QUARNEL_BIN_DIR);
};

}  // namespace quarnel::test
