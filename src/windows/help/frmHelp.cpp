// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/help/frmHelp.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QUrl>

#include "ui_frmHelp.h"
#include "widgets/PageLinksAccessibility.h"
#include "widgets/ReadableColour.h"
#include "windows/AppSettings.h"
#include "windows/CheckBoxes.h"

namespace quarnel {

frmHelp::frmHelp(BoardFeed& feed, WindowHost& host, const QString& applicationDir, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::frmHelp>()),
      feed_(feed),
      host_(host),
      helpPath_(applicationDir + QStringLiteral("/") + QString::fromLatin1(kHelpFileName)) {
    ui->setupUi(this);
    // Its links take Tab and Enter inside the page; screen readers hear its
    // name and find each link.
    ui->brwWebBrowser->setAccessibleName(QStringLiteral("Help"));
    ExposePageLinks(*ui->brwWebBrowser);
    Form_Load();
}

frmHelp::~frmHelp() = default;

void frmHelp::Form_Load() {
    ui->chkHelp->setChecked(!feed_.flags().ShowHelpAtStartup);
    if (QFileInfo::exists(helpPath_)) {
        ui->brwWebBrowser->setSource(QUrl::fromLocalFile(helpPath_));
    } else {
        // A browser would show its own "cannot display" page; say what is missing.
        ui->brwWebBrowser->setHtml(
            tr("<p>The help page <b>%1</b> was not found.</p>").arg(helpPath_.toHtmlEscaped()));
    }
    MakeReadable(*ui->brwWebBrowser->document(), ui->brwWebBrowser->palette());
}

void frmHelp::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_) {
        placed_ = true;
        host_.centreFrame(this);
    }
}

void frmHelp::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmHelp::Form_Unload() {
    const bool dontShow = isChecked(ui->chkHelp);
    AppSettings settings;
    settings.setValue(QString::fromLatin1(keys::kDisplayHelp),
                      dontShow ? QStringLiteral("False") : QStringLiteral("True"));
    feed_.setShowHelpAtStartup(!dontShow);
}

}  // namespace quarnel
