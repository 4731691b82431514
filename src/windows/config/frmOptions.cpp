// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/config/frmOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QScopedValueRollback>

#include "device/ChipRegisters.h"
#include "ui_frmOptions.h"
#include "windows/CheckBoxes.h"
#include "windows/WindowHost.h"

namespace quarnel {
namespace {

bool showsFirstItem(const QComboBox* list) {
    return list->currentText() == list->itemText(0);
}

}  // namespace

frmOptions::frmOptions(BoardFeed& feed, WindowHost& host, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::frmOptions>()),
      feed_(feed),
      host_(host),
      ticket_(feed.newTicket()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    connect(ui->cmdApply, &QPushButton::clicked, this, &frmOptions::cmdApply_Click);
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    // A control the user changed is theirs until Apply; the others follow the chip.
    const auto edits = [this](QWidget* control) {
        return [this, control] {
            if (!showing_) edited_.insert(control);
        };
    };
    for (QCheckBox* box : {ui->chkMonitoring, ui->chkPowerDown, ui->chkIntEnable,
                           ui->chkIntPolarity, ui->chkAveraging})
        connect(box, &QCheckBox::toggled, this, edits(box));
    for (QComboBox* list : {ui->cmbTempAin12, ui->cmbADCClock, ui->cmbRef})
        connect(list, &QComboBox::currentIndexChanged, this, edits(list));
    connect(&feed_, &BoardFeed::registerValues, this, &frmOptions::onValues);
    connect(&feed_, &BoardFeed::registerWritten, this, &frmOptions::onWritten);
    connect(&feed_, &BoardFeed::spiSelected, this, [this] { ui->chkSPI->setEnabled(false); });

    Form_Load();
}

frmOptions::~frmOptions() = default;

namespace {

constexpr int kRegisterOf[] = {chip::kConfig1, chip::kConfig2, chip::kConfig3, chip::kSpiLock};

}  // namespace

void frmOptions::Form_Load() {
    // Nothing to apply until the board has said what the registers hold.
    ui->cmdApply->setEnabled(false);
    ui->cmdOK->setEnabled(false);
    feed_.post(board::ReadRegisters{ticket_, {kRegisterOf, kRegisterOf + kRegs}});
}

void frmOptions::onValues(const board::RegisterValues& values) {
    if (values.ticket != ticket_ || values.values.size() != kRegs) return;
    for (int i = 0; i < kRegs; ++i) {
        value_[i] = values.values[i];
        showRegister(static_cast<Reg>(i));
    }
    ui->chkSPI->setEnabled(!feed_.spiMode());
    loaded_ = true;
    ui->cmdApply->setEnabled(true);
    ui->cmdOK->setEnabled(true);
}

void frmOptions::onWritten(const board::Written& written) {
    for (int i = 0; i < kRegs; ++i) {
        if (written.reg != kRegisterOf[i]) continue;
        // Whoever wrote it (the register map, a profile), the window follows.
        value_[i] = written.byte;
        if (loaded_) showRegister(static_cast<Reg>(i));
    }
}

void frmOptions::showRegister(Reg which) {
    const QScopedValueRollback<bool> showing(showing_, true);
    const int32_t v = value_[which];
    const auto box = [this](QCheckBox* control, bool checked) {
        if (!edited_.contains(control)) setChecked(control, checked);
    };
    const auto list = [this](QComboBox* control, bool second) {
        if (!edited_.contains(control)) control->setCurrentIndex(second ? 1 : 0);
    };
    switch (which) {
        case kC1:
            box(ui->chkMonitoring, v & chip::kConfig1Mon);
            box(ui->chkPowerDown, v & chip::kConfig1PowerDown);
            box(ui->chkIntEnable, !(v & chip::kConfig1IntDisable));
            box(ui->chkIntPolarity, !(v & chip::kConfig1Polarity));
            // Any non-zero selection, the invalid ones included, shows the external channel.
            list(ui->cmbTempAin12, v & chip::kConfig1PinSelect);
            break;
        case kC2:
            box(ui->chkAveraging, v & chip::kConfig2AveragingOff);
            break;
        case kC3:
            list(ui->cmbADCClock, v & chip::kConfig3FastAdc);
            list(ui->cmbRef, v & chip::kConfig3VddReference);
            break;
        default:
            setChecked(ui->chkSPI, v & chip::kSpiLocked);
            break;
    }
}

void frmOptions::cmdApply_Click() {
    if (!loaded_) return;
    board::ApplyConfiguration apply;
    int32_t v = value_[kC1];
    v = chip::withBits(v, chip::kConfig1Mon, isChecked(ui->chkMonitoring));
    v = chip::withBits(v, chip::kConfig1PowerDown, isChecked(ui->chkPowerDown));
    v = chip::withBits(v, chip::kConfig1IntDisable, !isChecked(ui->chkIntEnable));
    v = chip::withBits(v, chip::kConfig1Polarity, !isChecked(ui->chkIntPolarity));
    v &= ~chip::kConfig1PinSelect;
    if (!showsFirstItem(ui->cmbTempAin12)) v |= chip::kConfig1PinsExternal;
    v |= chip::kConfig1Bit3;  // owned by no control, always written as 1
    apply.config1 = v;
    apply.config2 =
        chip::withBits(value_[kC2], chip::kConfig2AveragingOff, isChecked(ui->chkAveraging));
    v = value_[kC3];
    v = chip::withBits(v, chip::kConfig3FastAdc, !showsFirstItem(ui->cmbADCClock));
    v = chip::withBits(v, chip::kConfig3VddReference, !showsFirstItem(ui->cmbRef));
    apply.config3 = v;
    // Checked (and then disabled): every Apply repeats the switch-over and the title.
    apply.selectSpi = isChecked(ui->chkSPI);
    edited_.clear();
    feed_.post(apply);
    if (apply.selectSpi) {
        ui->chkSPI->setEnabled(false);
        host_.setMainTitle(QString::fromLatin1(kSpiModeMainTitle));
    }
}

void frmOptions::cmdOK_Click() {
    cmdApply_Click();
    host_.closeFrame(this);
}

void frmOptions::cmdCancel_Click() {
    host_.closeFrame(this);
}

}  // namespace quarnel
