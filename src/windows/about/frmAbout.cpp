// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/about/frmAbout.h"

#include "ui_frmAbout.h"
#include "widgets/ClickLabel.h"
#include "widgets/ReadableColour.h"
#include "windows/AppSettings.h"

namespace quarnel {

QUrl HomePageUrl() {
    return QUrl(QString::fromLatin1(kHomePage));
}
QUrl SensorPageUrl() {
    return QUrl(QString::fromLatin1(kHomePage) + QStringLiteral("temp-sensors"));
}

frmAbout::frmAbout(WindowHost& host, UrlOpener openUrl, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::frmAbout>()),
      host_(host),
      openUrl_(std::move(openUrl)) {
    ui->setupUi(this);
    ui->Label1->setText(QStringLiteral("%1 Version %2")
                            .arg(QString::fromLatin1(kAppTitle), QString::fromLatin1(kAppVersion)));

    // Point sizes with fractions cannot be given in the form.
    QFont title = ui->Label1->font();
    title.setBold(true);
    title.setPointSizeF(9.75);
    ui->Label1->setFont(title);

    // The window's texts are fixed, so the licence goes where no text changes:
    // the title's tool tip and the window's description for screen readers.
    const QString licence =
        QStringLiteral(
            "Free software under the GNU General Public License, version 3 or later (%1)")
            .arg(QString::fromLatin1(kAppLicense));
    ui->Label1->setToolTip(licence);
    setAccessibleDescription(licence);

    ui->Label6->setText(QString::fromLatin1(kHomePage));
    for (ClickLabel* link : {ui->lblSensorInfo, ui->Label6}) {
        QFont font = link->font();
        font.setBold(true);
        font.setUnderline(true);
        font.setPointSizeF(8.25);
        link->setFont(font);
        QPalette palette = link->palette();
        palette.setColor(QPalette::WindowText,
                         ReadableOn(QColor(0, 0, 192), palette.color(QPalette::Window)));
        link->setPalette(palette);
    }
    ui->lblSensorInfo->setAccessibleDescription(SensorPageUrl().toString());
    connect(ui->lblSensorInfo, &ClickLabel::clicked, this, &frmAbout::lblSensorInfo_Click);
    connect(ui->Label6, &ClickLabel::clicked, this, &frmAbout::Label6_Click);
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

frmAbout::~frmAbout() = default;

void frmAbout::cmdOK_Click() {
    host_.closeFrame(this);
}

void frmAbout::Label6_Click() {
    if (openUrl_) openUrl_(HomePageUrl());
}

void frmAbout::lblSensorInfo_Click() {
    if (openUrl_) openUrl_(SensorPageUrl());
}

void frmAbout::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_) {
        placed_ = true;
        host_.centreFrame(this);
    }
}

}  // namespace quarnel
