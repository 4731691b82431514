// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File > Save Register Settings... and Load Register Settings...: the chip's
// settings to and from a profile file. Load shows what will change and asks
// before it writes; the status bar reports the outcome.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

#include "device/Profile.h"
#include "device/RegisterTable.h"
#include "windows/BoardFeed.h"
#include "windows/WindowHost.h"

class QWidget;

namespace quarnel {

inline constexpr const char* kProfileFilter = "Register Settings (*.json)";
inline constexpr const char* kSaveProfileCaption = "Save Register Settings";
inline constexpr const char* kLoadProfileCaption = "Load Register Settings";

// Shows the registers a load would write (and why the profile may not fit this
// chip); true when the user goes ahead. The program shows frmProfileChanges.
using ConfirmProfileLoad =
    std::function<bool(QWidget* parent, const QString& file,
                       const std::vector<RegisterChange>& changes, const QString& warning)>;

// The program's dialogs; tests record. Empty members: the command does nothing.
struct ProfileDialogs {
    FileChooser chooseSave;
    FileChooser chooseOpen;
    ConfirmProfileLoad confirm;
    std::vector<std::string> ownFiles{};  // a save never replaces these (ChosenBoard::ownFiles)
};

// The real confirmation: frmProfileChanges, modal.
bool ConfirmWithDialog(QWidget* parent, const QString& file,
                       const std::vector<RegisterChange>& changes, const QString& warning);

// Shows an outcome for a while. The status panel itself is the polling cycle's,
// which rewrites it on every tick.
using ReportOutcome = std::function<void(const QString& text)>;

class ProfileMenu : public QObject {
    Q_OBJECT
  public:
    ProfileMenu(BoardFeed& feed, Notifier& notifier, const RegisterTable& table, QWidget* parent,
                ProfileDialogs dialogs, std::function<QDateTime()> now, ReportOutcome report);

    void save();
    void load();

  private:
    void refused(const QString& what, const QString& file, const std::string& why);
    // The board's answers: the chip's registers to save, or what a load changes.
    void onRead(const board::ProfileRead& read);
    void onWritten(const board::ProfileWritten& written);

    BoardFeed& feed_;
    Notifier& notifier_;
    const RegisterTable& table_;
    uint64_t saveTicket_ = 0;
    uint64_t loadTicket_ = 0;
    QString saving_;   // the file a save writes once the chip has been read
    QString loading_;  // the file a load takes its settings from
    std::vector<RegisterChange> changes_;
    QWidget* parent_;
    ProfileDialogs dialogs_;
    std::function<QDateTime()> now_;
    ReportOutcome report_;
    QString folder_;  // where the last profile was, for the next dialog
};

}  // namespace quarnel
