// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About window: name and version, and two links opened through the URL
// opener (the desktop's browser in the program, a recorder in tests).

#include <QUrl>
#include <QWidget>
#include <memory>

#include "windows/WindowHost.h"

namespace Ui {
class frmAbout;
}

namespace quarnel {

// Placeholder until the project has a home page of its own; the sensor page
// is always the home page followed by "temp-sensors".
inline constexpr const char* kHomePage = "https://www.example.com/";
QUrl HomePageUrl();
QUrl SensorPageUrl();

class frmAbout : public QWidget {
    Q_OBJECT
  public:
    frmAbout(WindowHost& host, UrlOpener openUrl, QWidget* parent = nullptr);
    ~frmAbout() override;

    void cmdOK_Click();
    void Label6_Click();
    void lblSensorInfo_Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::unique_ptr<Ui::frmAbout> ui;
    WindowHost& host_;
    UrlOpener openUrl_;
    bool placed_ = false;
};

}  // namespace quarnel
