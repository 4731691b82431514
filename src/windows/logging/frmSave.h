// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data logging window: which channels go into the log, the interval
// between lines, and starting and stopping. Logging itself runs in the
// polling cycle, whether or not this window stays open.

#include <QWidget>
#include <array>
#include <memory>

#include "windows/BoardFeed.h"
#include "windows/WindowHost.h"

class QCheckBox;
class QLabel;

namespace Ui {
class frmSave;
}

namespace quarnel {

inline constexpr const char* kStartLoggingCaption = "Start Logging";
inline constexpr const char* kStopLoggingCaption = "Stop Logging...";
inline constexpr const char* kLogDataCaption = "Log Data";
inline constexpr const char* kLogFileFilter = "Log Files (*.csv)";
inline constexpr const char* kNoChannelChosen =
    "No channel is chosen: tick the channels to log, then start logging.";
// Bounds and step of the arrows beside the interval box, in ms.
inline constexpr double kLogIntervalStepMs = 10.0;
inline constexpr double kLogIntervalMaxMs = 3600000.0;

class frmSave : public QWidget {
    Q_OBJECT
  public:
    // The log dialog starts in applicationDir when the user may write there.
    frmSave(BoardFeed& feed, Notifier& notifier, WindowHost& host, FileChooser chooseFile,
            QString applicationDir, QWidget* parent = nullptr);
    ~frmSave() override;

    // Logging stopped because a line could not be written.
    void LoggingStopped();

    void cmdLog_Click();
    void cmdClose_Click();
    void txtLogInt_Change();
    void UpDown1_Change(int steps);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Form_Load();
    void startLogging();
    void stopLogging();

    std::unique_ptr<Ui::frmSave> ui_;
    // The boxes of channels the pins no longer measure are cleared and disabled.
    void followChannels();
    void onLoggingChanged(const board::LoggingChanged& change);

    BoardFeed& feed_;
    Notifier& notifier_;
    uint64_t ticket_ = 0;
    QString starting_;  // the file a start was asked for
    WindowHost& host_;
    FileChooser chooseFile_;
    QString applicationDir_;
    std::array<QCheckBox*, kLogChannelCount> chkLog_{};
    std::array<QLabel*, kLogChannelCount> Label1_{};
};

}  // namespace quarnel
