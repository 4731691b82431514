// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The graphs window: the live readings on four strip charts stacked in one
// area (temperatures, Vdd, DAC outputs, Ain1 to Ain8), one shown at a time,
// plus the system-wide Celsius/Fahrenheit switch, a pause switch and the way
// to the logging window. The board's readings feed it.

#include <QDateTime>
#include <QWidget>
#include <array>
#include <memory>

#include "windows/BoardFeed.h"
#include "windows/WindowHost.h"

class QRadioButton;

namespace Ui {
class frmGraphing;
}

namespace quarnel {

class StripChart;

inline constexpr int kGraphCount = 4;
inline constexpr const char* kGraphingTitle = "Graphing";
inline constexpr const char* kLogDataText = "Log Data";
inline constexpr const char* kLoggingText = "Logging...";

class frmGraphing : public QWidget {
    Q_OBJECT
  public:
    // Samples are stamped with startTime plus the board's monotonic
    // time since the window opened, so the time axis never folds at midnight
    // or jumps with a clock change. An invalid startTime means now. The
    // charts' "Save Image..." asks chooseFile for the file.
    frmGraphing(BoardFeed& feed, Notifier& notifier, WindowHost& host, FileChooser chooseFile = {},
                QWidget* parent = nullptr, QDateTime startTime = QDateTime());
    ~frmGraphing() override;

    // The latest readings (every 0.1 s of the board's ticks) and the layout.
    void UpdateGraphingForm();
    void UpdateGraphsLayout();
    void ShowSelectedGraph();

    void optGraph_Click(int index);
    void chkEnableGraph_Click();
    void chkFahrenheit_Click();
    void cmdLog_Click();

    // The chart of an optGraph index: 0 stpTemp, 1 stpVoltage, 2 stpDAC, 3 stpAin.
    StripChart* chart(int index) const;
    // The time stamp the next samples get, in ms since the epoch (what the
    // charts take) and as a local date and time.
    qint64 sampleMsecs() const;
    QDateTime sampleTime() const;
    // Where the shown chart draws its newest samples (its right end), in this
    // window's coordinates: what another window placed by the program leaves clear.
    QRect newestSamplesArea() const;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void Form_Load();
    void Form_Unload();
    void configureCharts(const FileChooser& chooseFile);

    std::unique_ptr<Ui::frmGraphing> ui;
    BoardFeed& feed_;
    Notifier& notifier_;
    double lastUpdate_ = 0.0;       // time of day of the last readings plotted
    bool chartFahrenheit_ = false;  // the unit of the temperatures drawn
    WindowHost& host_;
    std::array<QRadioButton*, kGraphCount> optGraph_{};
    std::array<StripChart*, kGraphCount> charts_{};
    qint64 startMsecs_ = 0;      // wall-clock time the window opened, ms since the epoch
    double startMonotonic_ = 0;  // board's monotonic time then
    WindowOpenFlag openFlag_;
};

}  // namespace quarnel
