// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/config/frmOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "device/ChipRegisters.h"
#include "link/BoardLink.h"
#include "link/BoardSwitches.h"
#include "ui_frmOptions.h"
#include "windows/CheckBoxes.h"
#include "windows/WindowHost.h"

namespace quarnel {
namespace {

bool showsFirstItem(const QComboBox* list) {
    return list->currentText() == list->itemText(0);
}

}  // namespace

frmOptions::frmOptions(BoardLink& link, WindowHost& host, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::frmOptions>()), link_(link), host_(host) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    connect(ui->cmdApply, &QPushButton::clicked, this, &frmOptions::cmdApply_Click);
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);

    Form_Load();
}

frmOptions::~frmOptions() = default;

void frmOptions::Form_Load() {
    BoardLink& link = link_;
    config1_ = link.ReadRegister(link.DeviceAddress, chip::kConfig1);
    config2_ = link.ReadRegister(link.DeviceAddress, chip::kConfig2);
    config3_ = link.ReadRegister(link.DeviceAddress, chip::kConfig3);
    spiLock_ = link.ReadRegister(link.DeviceAddress, chip::kSpiLock);

    setChecked(ui->chkMonitoring, config1_ & chip::kConfig1Mon);
    setChecked(ui->chkPowerDown, config1_ & chip::kConfig1PowerDown);
    setChecked(ui->chkIntEnable, !(config1_ & chip::kConfig1IntDisable));
    setChecked(ui->chkIntPolarity, !(config1_ & chip::kConfig1Polarity));
    // Any non-zero selection, the invalid ones included, shows the external channel.
    ui->cmbTempAin12->setCurrentIndex((config1_ & chip::kConfig1PinSelect) ? 1 : 0);
    setChecked(ui->chkAveraging, config2_ & chip::kConfig2AveragingOff);
    ui->cmbADCClock->setCurrentIndex((config3_ & chip::kConfig3FastAdc) ? 1 : 0);
    ui->cmbRef->setCurrentIndex((config3_ & chip::kConfig3VddReference) ? 1 : 0);
    setChecked(ui->chkSPI, spiLock_ & chip::kSpiLocked);
    ui->chkSPI->setEnabled(!link.SpiMode);
}

void frmOptions::cmdApply_Click() {
    BoardLink& link = link_;

    int32_t v = config1_;
    v = chip::withBits(v, chip::kConfig1Mon, isChecked(ui->chkMonitoring));
    v = chip::withBits(v, chip::kConfig1PowerDown, isChecked(ui->chkPowerDown));
    v = chip::withBits(v, chip::kConfig1IntDisable, !isChecked(ui->chkIntEnable));
    v = chip::withBits(v, chip::kConfig1Polarity, !isChecked(ui->chkIntPolarity));
    v &= ~chip::kConfig1PinSelect;
    if (!showsFirstItem(ui->cmbTempAin12)) v |= chip::kConfig1PinsExternal;
    v |= chip::kConfig1Bit3;  // owned by no control, always written as 1
    config1_ = v;
    link.WriteRegister(link.DeviceAddress, chip::kConfig1, config1_);

    config2_ = chip::withBits(config2_, chip::kConfig2AveragingOff, isChecked(ui->chkAveraging));
    link.WriteRegister(link.DeviceAddress, chip::kConfig2, config2_);

    v = config3_;
    v = chip::withBits(v, chip::kConfig3FastAdc, !showsFirstItem(ui->cmbADCClock));
    v = chip::withBits(v, chip::kConfig3VddReference, !showsFirstItem(ui->cmbRef));
    config3_ = v;
    link.WriteRegister(link.DeviceAddress, chip::kConfig3, config3_);

    // The three writes above went over the bus in force before this switch-over.
    if (isChecked(ui->chkSPI)) {
        link.SpiMode = true;
        ui->chkSPI->setEnabled(false);
        SelectSpiInterface(link);
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
