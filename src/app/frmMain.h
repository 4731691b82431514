// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: hosts the tool windows, carries the menus, toolbar and status
// bar, and remembers its placement. It routes; the board worker and the tool
// windows do the work.

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

#include "app/WindowFactory.h"
#include "device/DeviceState.h"
#include "device/RegisterTable.h"
#include "windows/BoardFeed.h"
#include "windows/WindowHost.h"
#include "windows/profile/ProfileMenu.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;

namespace Ui {
class frmMain;
}

namespace quarnel {

inline constexpr const char* kSimulatedBoardText = "Simulated board";

struct MainWindowDeps {
    BoardFeed& feed;
    Notifier& notifier;
    const RegisterTable& table;
    UrlOpener openUrl;
    FileChooser chooseFile;
    QString applicationDir;  // firmware image and help page
    WindowFactory createWindow = CreateToolWindow;
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    QString boardName = QString::fromLatin1(kSimulatedBoardText);
    ProfileDialogs profileDialogs{};  // File > Save/Load Register Settings...
};

class frmMain : public QMainWindow, public WindowHost {
    Q_OBJECT
  public:
    explicit frmMain(MainWindowDeps deps, QWidget* parent = nullptr);
    ~frmMain() override;

    // Load: placement, caption, maximise. The board worker's connection
    // sequence follows; once it is through, Connected() opens the graphs window.
    void MDIForm_Load();
    void Connected();

    void RestorePlacement();
    // Frame position and size in twips, unless minimised.
    void SavePlacement();

    BoardFeed& feed() { return deps_.feed; }

    // A toolbar button by its key; unknown keys do nothing.
    void tbToolBar_ButtonClick(const QString& key);

    // A log review window on the file. A file that is not a log is reported
    // through the notifier and gets no window.
    bool openLogFile(const QString& path);
    // File > Open Log...: the file through the open chooser.
    void mnuOpenLog_Click();

    // The open window's MDI frame, or nullptr.
    QMdiSubWindow* subWindow(ToolWindow which) const;
    QMdiArea* mdiArea() const;
    QString statusText() const;
    // True once the close handling has run (the window may still exist).
    bool closed() const { return closed_; }
    // Closes even while a dialog or message box runs its own loop: for the
    // link failure, which ends the process before any window is deleted.
    // Any other close waits until those loops have been dismissed.
    void closeAtOnce();

    // WindowHost
    void setMainTitle(const QString& title) override;
    void openWindow(ToolWindow which) override;
    // The help window also keeps clear of the graphs' newest samples where it can.
    void centreFrame(QWidget* window) override;

    // The tool windows and the board's ticks set it.
    void SetStatusText(const std::string& text) override;
    void showStatusMessage(const QString& text) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Where a window opened by the program (not yet moved by the user) sits.
    struct Placement {
        QPointer<QMdiSubWindow> sub;
        ToolWindow which;
        QSize designed;  // frame size it asked for
        QRect placed;    // frame geometry last given
    };
    void placeChild(Placement& placement);
    void placeChildrenAgain();

    void fillWindowMenu();
    void updateClock();
    QDateTime clockNow() const;
    static std::string timeText(const QDateTime& at);
    void fixClockWidths();

    std::unique_ptr<Ui::frmMain> ui;
    MainWindowDeps deps_;
    QTimer clockTimer_;
    QLabel* panels_[4] = {};
    struct OpenWindow {
        QPointer<QMdiSubWindow> sub;
        QPointer<QWidget> widget;
    };
    std::map<ToolWindow, OpenWindow> windows_;
    std::vector<Placement> placements_;
    QTimer closeRetry_;  // a close put off while a dialog's loop returns
    int closeAttempts_ = 0;
    bool closingAtOnce_ = false;
    bool closed_ = false;
    QDateTime lostAt_;  // when the board was lost, while it is awaited
};

}  // namespace quarnel
