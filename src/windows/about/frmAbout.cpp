// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/about/frmAbout.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "ui_frmAbout.h"
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
    for (QLabel* link : {ui->lblSensorInfo, ui->Label6}) {
        QFont font = link->font();
        font.setBold(true);
        font.setUnderline(true);
        font.setPointSizeF(8.25);
        link->setFont(font);
        QPalette palette = link->palette();
        palette.setColor(QPalette::WindowText, QColor(0, 0, 192));
        link->setPalette(palette);
        link->setCursor(Qt::PointingHandCursor);
        link->setFocusPolicy(Qt::StrongFocus);  // reachable from the keyboard too
        link->installEventFilter(this);
    }
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

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    bool activated = false;
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* label = static_cast<QWidget*>(watched);
        activated = mouse->button() == Qt::LeftButton &&
                    label->rect().contains(mouse->position().toPoint());
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        activated = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    }
    if (activated) {
        if (watched == ui->Label6)
            Label6_Click();
        else if (watched == ui->lblSensorInfo)
            lblSensorInfo_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmAbout::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_) {
        placed_ = true;
        host_.centreFrame(this);
    }
}

}  // namespace quarnel
