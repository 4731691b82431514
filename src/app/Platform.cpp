// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Platform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>

#include "link/SafeFile.h"
#include "windows/AppSettings.h"

namespace quarnel {

void QtNotifier::detailedMessage(const std::string& text, Icon icon, const std::string& details) {
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
        case Icon::None:
            boxIcon = QMessageBox::NoIcon;
            break;
        case Icon::Information:
            boxIcon = QMessageBox::Information;
            break;
        case Icon::Warning:
            boxIcon = QMessageBox::Warning;
            break;
        case Icon::Error:
            boxIcon = QMessageBox::Critical;
            break;
    }
    // The messages carry CR LF line breaks; a lone CR would show as a glyph.
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(boxIcon, QString::fromLatin1(kAppTitle), shown, QMessageBox::Ok,
                    QApplication::activeWindow());
    if (!details.empty()) box.setDetailedText(QString::fromStdString(details));
    box.exec();
}

UrlOpener DesktopUrlOpener() {
    return [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

FileChooser DialogFileChooser() {
    return [](QWidget* parent, const QString& caption, const QString& startDir,
              const QString& filter) -> std::optional<QString> {
        const QString path = QFileDialog::getSaveFileName(
            parent, caption, startDir, filter, nullptr, QFileDialog::DontConfirmOverwrite);
        if (path.isEmpty()) return std::nullopt;
        return path;
    };
}

bool DisplayAvailable(const char* qpaPlatform, const char* display, const char* waylandDisplay) {
    const auto set = [](const char* value) { return value && *value; };
    if (set(display) || set(waylandDisplay)) return true;
    if (!set(qpaPlatform)) return false;
    // "name:options", possibly a list of fallbacks separated by ";".
    static const QStringList kNoDisplay = {
        QStringLiteral("offscreen"),   QStringLiteral("minimal"), QStringLiteral("vnc"),
        QStringLiteral("linuxfb"),     QStringLiteral("eglfs"),   QStringLiteral("minimalegl"),
        QStringLiteral("vkkhrdisplay")};
    for (const QString& entry : QString::fromLocal8Bit(qpaPlatform).split(QLatin1Char(';')))
        if (kNoDisplay.contains(entry.section(QLatin1Char(':'), 0, 0).trimmed())) return true;
    return false;
}

FileChooser ProfileSaveChooser() {
    return [](QWidget* parent, const QString& caption, const QString& startDir,
              const QString& filter) -> std::optional<QString> {
        QFileDialog dialog(parent, caption, startDir, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("json"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    };
}

FileChooser ProfileOpenChooser() {
    return [](QWidget* parent, const QString& caption, const QString& startDir,
              const QString& filter) -> std::optional<QString> {
        const QString path = QFileDialog::getOpenFileName(parent, caption, startDir, filter);
        if (path.isEmpty()) return std::nullopt;
        return path;
    };
}

void EndProcessNow(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

std::optional<std::string> SettingsFileProblem() {
    // Where QSettings keeps AppSettings on this platform.
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/%1.conf").arg(QString::fromLatin1(kAppTitle));
    const auto why = RegularFileProblem(path.toStdString());
    if (!why) return std::nullopt;
    return "the settings file " + path.toStdString() + " " + *why;
}

}  // namespace quarnel
