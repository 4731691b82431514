// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/splash/frmSplash.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>

#include "ui_frmSplash.h"
#include "windows/AppSettings.h"
#include "windows/Twips.h"

namespace quarnel {
namespace {

const QColor kInk(16, 32, 96);
const QColor kBar(0, 0, 160);

// A picture drawn for the screen's pixels, not scaled up from a smaller one,
// so it stays as sharp as the text beside it at any scaling.
QPixmap canvas(QSize size, qreal pixelRatio) {
    QPixmap pixmap(size * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// Our own artwork: the chip on its board.
QPixmap chipPicture(QSize size, qreal pixelRatio) {
    QPixmap pixmap = canvas(size, pixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(14, 14, size.width() - 28, size.height() - 28);
    p.setPen(QPen(QColor(150, 150, 150), 3));
    for (int i = 0; i < 4; ++i) {
        const double t = body.left() + (i + 0.5) * body.width() / 4;
        p.drawLine(QPointF(t, 4), QPointF(t, body.top()));
        p.drawLine(QPointF(t, body.bottom()), QPointF(t, size.height() - 4));
        const double u = body.top() + (i + 0.5) * body.height() / 4;
        p.drawLine(QPointF(4, u), QPointF(body.left(), u));
        p.drawLine(QPointF(body.right(), u), QPointF(size.width() - 4, u));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 48));
    p.drawRoundedRect(body, 4, 4);
    p.setBrush(QColor(200, 200, 200));
    p.drawEllipse(QPointF(body.left() + 7, body.top() + 7), 3, 3);
    p.setPen(QColor(230, 230, 240));
    QFont font(QStringLiteral("Times New Roman"));
    font.setBold(true);
    font.setPixelSize(static_cast<int>(body.height() * 0.6));
    p.setFont(font);
    p.drawText(body, Qt::AlignCenter, QStringLiteral("Q"));
    return pixmap;
}

// Our own artwork: a thermometer.
QPixmap thermometerPicture(QSize size, qreal pixelRatio) {
    QPixmap pixmap = canvas(size, pixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double cx = size.width() / 2.0;
    const double bulb = size.width() * 0.22;
    const double tube = bulb * 0.5;
    const double bottom = size.height() - bulb - 4;
    QPainterPath glass;
    glass.addRoundedRect(QRectF(cx - tube, 6, 2 * tube, bottom - 6), tube, tube);
    glass.addEllipse(QPointF(cx, bottom), bulb, bulb);
    p.setPen(QPen(kInk, 2));
    p.setBrush(Qt::white);
    p.drawPath(glass.simplified());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 30, 30));
    p.drawEllipse(QPointF(cx, bottom), bulb - 4, bulb - 4);
    p.drawRect(
        QRectF(cx - tube + 4, size.height() * 0.35, 2 * tube - 8, bottom - size.height() * 0.35));
    p.setPen(QPen(kInk, 1.5));
    for (int i = 0; i < 6; ++i) {
        const double y = 14 + i * (bottom - bulb - 14) / 6;
        p.drawLine(QPointF(cx + tube + 3, y), QPointF(cx + tube + (i % 2 ? 7 : 11), y));
    }
    return pixmap;
}

}  // namespace

frmSplash::frmSplash(StatusSink statusSink, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint),
      ui(std::make_unique<Ui::frmSplash>()),
      statusSink_(std::move(statusSink)) {
    ui->setupUi(this);
    // The full bar as laid out; the progress unit is computed from it.
    designBarTwips_ = static_cast<int>(toTwips(ui->lblProgress->width()));
    barTwips_ = designBarTwips_;
    ui->lblProgInfo->hide();
    ui->lblProgress->hide();
    ui->lblProgress->setAutoFillBackground(true);
    QPalette bar = ui->lblProgress->palette();
    bar.setColor(QPalette::Window, kBar);
    ui->lblProgress->setPalette(bar);
    for (QFrame* line : {ui->Line1, ui->Line2, ui->Line3, ui->Line4}) {
        line->setAutoFillBackground(true);
        QPalette ink = line->palette();
        ink.setColor(QPalette::Window, kInk);
        line->setPalette(ink);
    }
    QPalette ground = palette();
    ground.setColor(QPalette::Window, QColor(246, 247, 252));
    ground.setColor(QPalette::WindowText, kInk);
    setPalette(ground);
    setAutoFillBackground(true);
    drawPictures();
    Form_Load();
}

frmSplash::~frmSplash() = default;

void frmSplash::Form_Load() {
    move(twips(2000), twips(2000));
    ui->lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                                .arg(kVersionMajor)
                                .arg(kVersionMinor)
                                .arg(kVersionRevision));
    ui->lblProductName->setText(QString::fromLatin1(kAppTitle));
    // Grow rather than clip at fonts wider than the design's.
    for (QLabel* label : {ui->lblProductName, ui->lblVersion, ui->lblPlatform}) {
        const int wanted = label->sizeHint().width();
        if (wanted > label->width()) label->resize(wanted, label->height());
        // A substituted font may be wider still: the window grows with it.
        const int right = label->geometry().right() + 24;
        if (right > width()) resize(right, height());
    }
}

void frmSplash::showProgress() {
    ui->lblProgress->show();
    ui->lblProgInfo->show();
}

void frmSplash::setBarWidthTwips(double twipsWidth) {
    barTwips_ = twipsWidth;
    ui->lblProgress->resize(twips(twipsWidth), ui->lblProgress->height());
}

void frmSplash::setProgressText(const std::string& text) {
    ui->lblProgInfo->setText(QString::fromStdString(text));
    const int wanted = ui->lblProgInfo->sizeHint().width();
    if (wanted > ui->lblProgInfo->width())
        ui->lblProgInfo->resize(wanted, ui->lblProgInfo->height());
    ui->lblProgInfo->repaint();
}

void frmSplash::setStatusText(const std::string& text) {
    if (statusSink_) statusSink_(QString::fromStdString(text));
}

void frmSplash::drawPictures() {
    pixelRatio_ = devicePixelRatioF();
    ui->Image1->setPixmap(chipPicture(ui->Image1->size(), pixelRatio_));
    ui->Image2->setPixmap(thermometerPicture(ui->Image2->size(), pixelRatio_));
}

void frmSplash::paintEvent(QPaintEvent* event) {
    // Shown on a screen of another scaling than the one it was made for.
    if (devicePixelRatioF() != pixelRatio_) drawPictures();
    QWidget::paintEvent(event);
    QPainter p(this);
    p.setPen(QPen(kInk, 2));
    p.drawRect(rect().adjusted(1, 1, -1, -1));
}

}  // namespace quarnel
