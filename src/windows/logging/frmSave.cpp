// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/logging/frmSave.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <string>

#include "device/Conversions.h"
#include "monitor/LogFile.h"
#include "monitor/MasterPoll.h"
#include "ui_frmSave.h"
#include "windows/AppSettings.h"
#include "windows/CheckBoxes.h"
#include "windows/logging/LogIntervalText.h"

namespace quarnel {

frmSave::frmSave(BoardFeed& feed, Notifier& notifier, WindowHost& host, FileChooser chooseFile,
                 QString applicationDir, QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::frmSave>()),
      feed_(feed),
      notifier_(notifier),
      ticket_(feed.newTicket()),
      host_(host),
      chooseFile_(std::move(chooseFile)),
      applicationDir_(std::move(applicationDir)) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    for (int i = 0; i < kLogChannelCount; ++i) {
        chkLog_[i] = findChild<QCheckBox*>(QStringLiteral("chkLog_%1").arg(i));
        Label1_[i] = findChild<QLabel*>(QStringLiteral("Label1_%1").arg(i));
        Q_ASSERT(chkLog_[i] && Label1_[i]);
    }
    ui_->UpDown1->setRange(0.0, kLogIntervalMaxMs);
    ui_->UpDown1->setStepSize(kLogIntervalStepMs);
    // A click on a channel's name ticks its box, as on the box's own text.
    for (QLabel* label : Label1_) label->installEventFilter(this);
    ui_->UpDown1->setFixedHeight(ui_->txtLogInt->sizeHint().height());
    // Wide enough for every caption, so the window does not jump when it changes.
    int captionWidth = 0;
    for (const char* text : {kStartLoggingCaption, kStopLoggingCaption, kLogDataCaption}) {
        ui_->cmdLog->setText(QString::fromLatin1(text));
        captionWidth = std::max(captionWidth, ui_->cmdLog->sizeHint().width());
    }
    ui_->cmdLog->setMinimumWidth(captionWidth);

    connect(ui_->cmdLog, &QPushButton::clicked, this, &frmSave::cmdLog_Click);
    connect(ui_->cmdClose, &QPushButton::clicked, this, &frmSave::cmdClose_Click);
    connect(ui_->txtLogInt, &QLineEdit::textChanged, this, &frmSave::txtLogInt_Change);
    connect(ui_->UpDown1, &UpDownArrows::stepped, this, &frmSave::UpDown1_Change);
    connect(&feed_, &BoardFeed::layoutChanged, this, &frmSave::followChannels);
    connect(&feed_, &BoardFeed::registerWritten, this, &frmSave::followChannels);
    connect(&feed_, &BoardFeed::loggingChanged, this, &frmSave::onLoggingChanged);

    Form_Load();
    adjustSize();  // the host frames the window at its laid-out size
}

frmSave::~frmSave() = default;

void frmSave::Form_Load() {
    const LoggingState& logging = feed_.logging();
    const DeviceState& state = feed_.deviceState();
    ui_->cmdLog->setText(logging.LoggingActive ? kStopLoggingCaption : kStartLoggingCaption);
    for (int i = 0; i < kLogChannelCount; ++i) {
        const bool enabled = LogChannelEnabled(i, state);
        chkLog_[i]->setChecked(logging.LogChannelSelected[i] && enabled);
        chkLog_[i]->setEnabled(enabled);
        Label1_[i]->setEnabled(enabled);
    }
    // Runs txtLogInt_Change, which takes the same value back.
    ui_->txtLogInt->setText(
        QString::fromStdString(TrimmedNumberText(static_cast<double>(state.LogIntervalMs))));
}

void frmSave::cmdLog_Click() {
    if (feed_.logging().LoggingActive) {
        stopLogging();
    } else {
        startLogging();
    }
}

void frmSave::followChannels() {
    const DeviceState& state = feed_.deviceState();
    for (int i = 0; i < kLogChannelCount; ++i) {
        const bool enabled = LogChannelEnabled(i, state);
        if (!enabled) chkLog_[i]->setChecked(false);
        chkLog_[i]->setEnabled(enabled);
        Label1_[i]->setEnabled(enabled);
    }
}

void frmSave::startLogging() {
    // A log of times alone would tell nothing.
    if (std::none_of(chkLog_.begin(), chkLog_.end(), isChecked)) {
        notifier_.message(kNoChannelChosen, Notifier::Icon::Information);
        return;
    }
    // An installed program's data folder is not the user's to write in: start at home then.
    const QString startDir =
        LogFolder(QFileInfo(applicationDir_).isWritable() ? applicationDir_ : QDir::homePath());
    const std::optional<QString> chosen =
        chooseFile_
            ? chooseFile_(this, windowTitle(), startDir, QString::fromLatin1(kLogFileFilter))
            : std::nullopt;
    // Cancelling is the user's own choice: nothing to say.
    if (!chosen || chosen->isEmpty()) return;
    RememberLogFolder(*chosen);

    board::StartLogging start;
    start.ticket = ticket_;
    for (int i = 0; i < kLogChannelCount; ++i) start.channels[i] = isChecked(chkLog_[i]);
    start.path = QFile::encodeName(*chosen).toStdString();
    // A FIFO nobody reads yet is refused, not waited on: the window would freeze.
    start.waitForReader = false;
    starting_ = *chosen;
    feed_.post(start);
}

void frmSave::onLoggingChanged(const board::LoggingChanged& change) {
    if (change.ticket != ticket_) {
        // Stopped by a line that could not be written (the board has said why).
        if (!change.logging.LoggingActive) LoggingStopped();
        return;
    }
    if (change.logging.LoggingActive) {
        ui_->cmdLog->setText(kStopLoggingCaption);
        return;
    }
    if (change.startError.empty()) return;  // a stop
    if (change.startErrno == ENXIO) {
        notifier_.message("Data logging was not started: no program is reading \"" +
                              starting_.toStdString() +
                              "\". Start the program that reads it first.",
                          Notifier::Icon::Error);
        return;
    }
    // Starting silently would leave the user believing a log is written.
    notifier_.message("Data logging was not started: the log file \"" + starting_.toStdString() +
                          "\" cannot be opened or created (" + change.startError + ").",
                      Notifier::Icon::Error);
}

void frmSave::stopLogging() {
    ui_->cmdLog->setText(kLogDataCaption);
    feed_.post(board::StopLogging{ticket_});
    host_.SetStatusText(kStatusIdleText);
}

void frmSave::LoggingStopped() {
    ui_->cmdLog->setText(kLogDataCaption);
}

bool frmSave::eventFilter(QObject* watched, QEvent* event) {
    const auto* label = qobject_cast<QLabel*>(watched);
    if (label && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        label->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        auto* box = qobject_cast<QCheckBox*>(label->buddy());
        if (box && box->isEnabled()) box->click();
    }
    return QWidget::eventFilter(watched, event);
}

void frmSave::cmdClose_Click() {
    host_.closeFrame(this);
}

void frmSave::txtLogInt_Change() {
    const QString text = ui_->txtLogInt->text();
    const std::optional<double> value = NumericValue(text);
    ui_->UpDown1->setCurrent(value, text);
    if (!value) return;
    try {
        feed_.setLogIntervalMs(RoundToInt32(*value));
    } catch (const ConversionError&) {
        // Beyond the 32-bit range: the interval in use stays, like for any
        // text that gives no interval.
    }
}

void frmSave::UpDown1_Change(int steps) {
    // Steps the number the box shows; a text that is no number steps from
    // the interval in use.
    double base = static_cast<double>(feed_.logIntervalMs());
    if (const std::optional<double> shown = NumericValue(ui_->txtLogInt->text())) base = *shown;
    const double next = std::clamp(base + kLogIntervalStepMs * steps, 0.0, kLogIntervalMaxMs);
    ui_->txtLogInt->setText(QString::fromStdString(TrimmedNumberText(next)));
}

}  // namespace quarnel
