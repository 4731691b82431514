// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/profile/ProfileMenu.h"

#include <QDir>
#include <QFileInfo>

#include "link/LinkFailure.h"
#include "windows/profile/frmProfileChanges.h"

namespace quarnel {

bool ConfirmWithDialog(QWidget* parent, const QString& file,
                       const std::vector<RegisterChange>& changes, const QString& warning) {
    frmProfileChanges dialog(parent);
    dialog.showChanges(file, changes, warning);
    return dialog.exec() == QDialog::Accepted;
}

ProfileMenu::ProfileMenu(Session& session, QWidget* parent, ProfileDialogs dialogs,
                         std::function<QDateTime()> now, ReportOutcome report)
    : QObject(parent),
      session_(session),
      parent_(parent),
      dialogs_(std::move(dialogs)),
      now_(std::move(now)),
      report_(std::move(report)),
      folder_(QDir::homePath()) {}

void ProfileMenu::refused(const QString& what, const QString& file, const std::string& why) {
    session_.notifier.message(
        QStringLiteral("Register settings not %1: \"%2\" %3")
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
    try {
        // Local time with its offset from UTC, so a profile says when it was made anywhere.
        QDateTime now = now_ ? now_() : QDateTime::currentDateTime();
        now.setOffsetFromUtc(now.offsetFromUtc());
        const Profile profile = ReadProfile(session_.link, session_.device.table,
                                            now.toString(Qt::ISODate).toStdString());
        if (const auto error = WriteProfileFile(file->toStdString(), profile, dialogs_.ownFiles))
            return refused(QStringLiteral("saved"), *file, "cannot be written: " + *error);
        report_(QStringLiteral("Register settings saved to %1 (%2 registers)")
                    .arg(QDir::toNativeSeparators(*file))
                    .arg(profile.registers.size()));
    } catch (const LinkFailure&) {
        // The failure handler has dealt with it.
    }
}

void ProfileMenu::load() {
    if (!dialogs_.chooseOpen || !dialogs_.confirm) return;
    const auto file = dialogs_.chooseOpen(parent_, QString::fromLatin1(kLoadProfileCaption),
                                          folder_, QString::fromLatin1(kProfileFilter));
    if (!file) return;
    folder_ = QFileInfo(*file).absolutePath();
    Profile profile;
    try {
        profile = ReadProfileFile(file->toStdString(), session_.device.table);
    } catch (const ProfileError& e) {
        return refused(QStringLiteral("loaded"), *file, std::string("cannot be used: ") + e.what());
    }
    try {
        BoardLink& link = session_.link;
        const auto mismatch = IdentityMismatch(ReadChipIdentity(link), profile.chip);
        const auto changes = CompareWithChip(link, profile);
        if (changes.empty()) {
            report_(QStringLiteral("The chip already holds the register settings of %1")
                        .arg(QDir::toNativeSeparators(*file)));
            return;
        }
        const QString warning = mismatch ? QString::fromStdString(*mismatch) : QString();
        if (!dialogs_.confirm(parent_, *file, changes, warning)) {
            report_(QStringLiteral("Register settings not loaded"));
            return;
        }
        const auto notTaken = WriteChanges(link, session_.device.table, profile, changes);
        // The limits window shows limits as of its last layout pass.
        session_.limitsWritten();
        QString status = QStringLiteral("Register settings loaded from %1: %2 registers written")
                             .arg(QDir::toNativeSeparators(*file))
                             .arg(changes.size());
        if (!notTaken.empty()) {
            QString names;
            for (const RegisterChange& r : notTaken)
                names += QStringLiteral(", %1 (%2)")
                             .arg(QString::fromStdString(RegisterKey(r.address)),
                                  QString::fromStdString(r.name));
            status += QStringLiteral("; %1 did not take").arg(notTaken.size());
            session_.notifier.message(
                ("These registers did not take the profile's value: " + names.mid(2)).toStdString(),
                Notifier::Icon::Warning);
        }
        report_(status);
    } catch (const LinkFailure&) {
        // The failure handler has dealt with it.
    }
}

}  // namespace quarnel
