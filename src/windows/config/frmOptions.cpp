#include "windows/config/frmOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "link/BoardLink.h"
#include "link/BoardSwitches.h"
#include "ui_frmOptions.h"
#include "windows/WindowHost.h"

namespace quarnel {
namespace {

constexpr int32_t kConfig1 = 0x18;
constexpr int32_t kConfig2 = 0x19;
constexpr int32_t kConfig3 = 0x1A;
constexpr int32_t kSpiLock = 0x7F;

// Configuration 1
constexpr int kMon = 0x01;
constexpr int kPinSelect = 0x06;    // bits 2..1
constexpr int kPinExternal = 0x04;  // the one value Apply writes for the external channel
constexpr int kAlwaysSet = 0x08;    // bit 3: owned by no control, always written as 1
constexpr int kIntEnableOff = 0x20;
constexpr int kPolarityHigh = 0x40;
constexpr int kPowerDown = 0x80;
// Configuration 2
constexpr int kAveragingOff = 0x20;
// Configuration 3
constexpr int kFastClock = 0x01;
constexpr int kVddReference = 0x10;
// SPI lock
constexpr int kSpiLocked = 0x01;

// The grey third state counts as unchecked.
bool isChecked(const QCheckBox* box) {
    return box->checkState() == Qt::Checked;
}

void setChecked(QCheckBox* box, bool checked) {
    box->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

int32_t withBits(int32_t value, int bits, bool set) {
    return set ? (value | bits) : (value & ~bits);
}

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
    config1_ = link.ReadRegister(link.DeviceAddress, kConfig1);
    config2_ = link.ReadRegister(link.DeviceAddress, kConfig2);
    config3_ = link.ReadRegister(link.DeviceAddress, kConfig3);
    spiLock_ = link.ReadRegister(link.DeviceAddress, kSpiLock);

    setChecked(ui->chkMonitoring, config1_ & kMon);
    setChecked(ui->chkPowerDown, config1_ & kPowerDown);
    setChecked(ui->chkIntEnable, !(config1_ & kIntEnableOff));
    setChecked(ui->chkIntPolarity, !(config1_ & kPolarityHigh));
    // Any non-zero selection, the invalid ones included, shows the external channel.
    ui->cmbTempAin12->setCurrentIndex((config1_ & kPinSelect) ? 1 : 0);
    setChecked(ui->chkAveraging, config2_ & kAveragingOff);
    ui->cmbADCClock->setCurrentIndex((config3_ & kFastClock) ? 1 : 0);
    ui->cmbRef->setCurrentIndex((config3_ & kVddReference) ? 1 : 0);
    setChecked(ui->chkSPI, spiLock_ & kSpiLocked);
    ui->chkSPI->setEnabled(!link.SpiMode);
}

void frmOptions::cmdApply_Click() {
    BoardLink& link = link_;

    int32_t v = config1_;
    v = withBits(v, kMon, isChecked(ui->chkMonitoring));
    v = withBits(v, kPowerDown, isChecked(ui->chkPowerDown));
    v = withBits(v, kIntEnableOff, !isChecked(ui->chkIntEnable));
    v = withBits(v, kPolarityHigh, !isChecked(ui->chkIntPolarity));
    v &= ~kPinSelect;
    if (!showsFirstItem(ui->cmbTempAin12)) v |= kPinExternal;
    v |= kAlwaysSet;
    config1_ = v;
    link.WriteRegister(link.DeviceAddress, kConfig1, config1_);

    config2_ = withBits(config2_, kAveragingOff, isChecked(ui->chkAveraging));
    link.WriteRegister(link.DeviceAddress, kConfig2, config2_);

    v = config3_;
    v = withBits(v, kFastClock, !showsFirstItem(ui->cmbADCClock));
    v = withBits(v, kVddReference, !showsFirstItem(ui->cmbRef));
    config3_ = v;
    link.WriteRegister(link.DeviceAddress, kConfig3, config3_);

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
