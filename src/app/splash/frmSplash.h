// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The splash window shown while the main window's load connects to the board:
// product name, version, and the progress text and bar driven by the
// connection sequence.

#include <QWidget>
#include <functional>
#include <memory>

#include "monitor/Startup.h"

namespace Ui {
class frmSplash;
}

namespace quarnel {

class frmSplash : public QWidget, public StartupProgress {
    Q_OBJECT
  public:
    // The status text of the sequence goes to the main window's first panel.
    using StatusSink = std::function<void(const QString&)>;

    explicit frmSplash(StatusSink statusSink, QWidget* parent = nullptr);
    ~frmSplash() override;

    double barWidthTwips() const { return barTwips_; }

    // StartupProgress
    int initialBarWidthTwips() const override { return designBarTwips_; }
    void showProgress() override;
    void setBarWidthTwips(double twips) override;
    void setProgressText(const std::string& text) override;
    void setStatusText(const std::string& text) override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Form_Load();
    void drawPictures();

    std::unique_ptr<Ui::frmSplash> ui;
    StatusSink statusSink_;
    int designBarTwips_ = 0;
    double barTwips_ = 0.0;
    qreal pixelRatio_ = 1.0;  // the pictures' pixels per logical pixel
};

}  // namespace quarnel
