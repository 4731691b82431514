// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/profile/ProfileMenu.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

#include "windows/profile/frmProfileChanges.h"

namespace quarnel {

bool ConfirmWithDialog(QWidget* parent, const QString& file,
                       const std::vector<RegisterChange>& changes, const QString& warning) {
    frmProfileChanges dialog(parent);
    dialog.showChanges(file, changes, warning);
    return dialog.exec() == QDialog::Accepted;
}

ProfileMenu::ProfileMenu(BoardFeed& feed, Notifier& notifier, const RegisterTable& table,
                         QWidget* parent, ProfileDialogs dialogs, std::function<QDateTime()> now,
                         ReportOutcome report)
    : QObject(parent),
      feed_(feed),
      notifier_(notifier),
      table_(table),
      saveTicket_(feed.newTicket()),
      loadTicket_(feed.newTicket()),
      parent_(parent),
      dialogs_(std::move(dialogs)),
      now_(std::move(now)),
      report_(std::move(report)),
      folder_(QDir::homePath()) {
    connect(&feed_, &BoardFeed::profileRead, this, &ProfileMenu::onRead);
    connect(&feed_, &BoardFeed::profileWritten, this, &ProfileMenu::onWritten);
}

void ProfileMenu::refused(const QString& what, const QString& file, const std::string& why) {
    notifier_.message(QStringLiteral("Register settings not %1: \"%2\" %3")
                          .arg(what, QDir::toNativeSeparators(file), QString::fromStdString(why))
                          .toStdString(),
                      Notifier::Icon::Warning);
    report_(QStringLiteral("Register settings not %1").arg(what));
}

void ProfileMenu::save() {
    if (!dialogs_.chooseSave) return;
    const auto file = dialogs_.chooseSave(parent_, QString::fromLatin1(kSaveProfileCaption),
                                          folder_, QString::fromLatin1(kProfileFilter));
    if (!file) return;
    folder_ = QFileInfo(*file).absolutePath();
    // Local time with its offset from UTC, so a profile says when it was made anywhere.
    QDateTime now = now_ ? now_() : QDateTime::currentDateTime();
    now.setOffsetFromUtc(now.offsetFromUtc());
    saving_ = *file;
    feed_.post(board::ReadProfile{saveTicket_, now.toString(Qt::ISODate).toStdString()});
}

void ProfileMenu::load() {
    if (!dialogs_.chooseOpen || !dialogs_.confirm) return;
    const auto file = dialogs_.chooseOpen(parent_, QString::fromLatin1(kLoadProfileCaption),
                                          folder_, QString::fromLatin1(kProfileFilter));
    if (!file) return;
    folder_ = QFileInfo(*file).absolutePath();
    Profile profile;
    try {
        profile = ReadProfileFile(file->toStdString(), table_);
    } catch (const ProfileError& e) {
        return refused(QStringLiteral("loaded"), *file, std::string("cannot be used: ") + e.what());
    }
    loading_ = *file;
    feed_.post(board::CompareProfile{loadTicket_, std::move(profile)});
}

void ProfileMenu::onRead(const board::ProfileRead& read) {
    if (read.ticket == saveTicket_) {
        const QString file = std::exchange(saving_, QString());
        if (const auto error =
                WriteProfileFile(file.toStdString(), read.profile, dialogs_.ownFiles))
            return refused(QStringLiteral("saved"), file, "cannot be written: " + *error);
        report_(QStringLiteral("Register settings saved to %1 (%2 registers)")
                    .arg(QDir::toNativeSeparators(file))
                    .arg(read.profile.registers.size()));
        return;
    }
    if (read.ticket != loadTicket_) return;
    const QString file = loading_;
    if (read.changes.empty()) {
        report_(QStringLiteral("The chip already holds the register settings of %1")
                    .arg(QDir::toNativeSeparators(file)));
        return;
    }
    const auto mismatch = IdentityMismatch(read.chip, read.profile.chip);
    const QString warning = mismatch ? QString::fromStdString(*mismatch) : QString();
    if (!dialogs_.confirm(parent_, file, read.changes, warning)) {
        report_(QStringLiteral("Register settings not loaded"));
        return;
    }
    changes_ = read.changes;
    feed_.post(board::WriteProfile{loadTicket_, read.profile, read.changes});
}

void ProfileMenu::onWritten(const board::ProfileWritten& written) {
    if (written.ticket != loadTicket_) return;
    QString status = QStringLiteral("Register settings loaded from %1: %2 registers written")
                         .arg(QDir::toNativeSeparators(loading_))
                         .arg(changes_.size());
    if (!written.notTaken.empty()) {
        QString names;
        for (const RegisterChange& r : written.notTaken)
            names += QStringLiteral(", %1 (%2)")
                         .arg(QString::fromStdString(RegisterKey(r.address)),
                              QString::fromStdString(r.name));
        status += QStringLiteral("; %1 did not take").arg(written.notTaken.size());
        notifier_.message(
            ("These registers did not take the profile's value: " + names.mid(2)).toStdString(),
            Notifier::Icon::Warning);
    }
    report_(status);
}

}  // namespace quarnel
