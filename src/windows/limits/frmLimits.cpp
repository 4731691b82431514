// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/limits/frmLimits.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <string>

#include "device/Conversions.h"
#include "monitor/MasterPoll.h"
#include "ui_frmLimits.h"
#include "widgets/Lamp.h"
#include "widgets/LinearGauge.h"
#include "widgets/WidgetAccessibility.h"
#include "windows/CheckBoxes.h"
#include "windows/limits/LimitsRules.h"

namespace quarnel {
namespace {

QString numberText(float value) {
    return QString::fromStdString(NumberText(value));
}

// Hidden controls keep their room, so the pages do not jump when the channel
// selection changes and the "disabled" notes take the gauge's place.
void keepRoomWhenHidden(QWidget* w) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
}

}  // namespace

frmLimits::frmLimits(BoardFeed& feed, Notifier& notifier, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::frmLimits>()),
      feed_(feed),
      notifier_(notifier),
      openFlag_(feed, FlaggedWindow::Limits) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(kLimitsTitle));

    tglAlert_ = {ui->tglAlert_0,  ui->tglAlert_1,  ui->tglAlert_2,  ui->tglAlert_3, ui->tglAlert_4,
                 ui->tglAlert_5,  ui->tglAlert_6,  ui->tglAlert_7,  ui->tglAlert_8, ui->tglAlert_9,
                 ui->tglAlert_10, ui->tglAlert_11, ui->tglAlert_12, ui->tglAlert_13};
    chkMask_ = {ui->chkMask_0,  ui->chkMask_1,  ui->chkMask_2, ui->chkMask_3, ui->chkMask_4,
                ui->chkMask_5,  ui->chkMask_6,  ui->chkMask_7, ui->chkMask_8, ui->chkMask_9,
                ui->chkMask_10, ui->chkMask_11, ui->chkMask_12};
    ggeAin_ = {ui->ggeAin_0, ui->ggeAin_1, ui->ggeAin_2, ui->ggeAin_3,
               ui->ggeAin_4, ui->ggeAin_5, ui->ggeAin_6, ui->ggeAin_7};
    lblAin_ = {ui->lblAin_0, ui->lblAin_1, ui->lblAin_2, ui->lblAin_3,
               ui->lblAin_4, ui->lblAin_5, ui->lblAin_6, ui->lblAin_7};

    // Screen readers announce a lamp by its row's caption.
    const std::pair<QLabel*, int> rowLamps[] = {
        {ui->Label8, 4},    {ui->Label9_0, 5},  {ui->Label5, 1},    {ui->Label4, 0},
        {ui->Label7, 3},    {ui->Label6, 2},    {ui->Label9_1, 7},  {ui->Label9_2, 8},
        {ui->Label9_3, 9},  {ui->Label9_4, 10}, {ui->Label9_5, 11}, {ui->Label9_6, 12},
        {ui->Label9_7, 13}, {ui->Label10, 6}};
    for (const auto& [label, lamp] : rowLamps) tglAlert_[lamp]->setCaption(label->text());

    for (LinearGauge* g : {ui->ggeInternal, ui->ggeExternal}) {
        g->setStep(1.0);  // limits are whole degrees
        keepRoomWhenHidden(g);
    }
    for (LinearGauge* g : ggeAin_) keepRoomWhenHidden(g);
    for (QWidget* w : {static_cast<QWidget*>(ui->Label1_1), static_cast<QWidget*>(ui->lblAin_0),
                       static_cast<QWidget*>(ui->lblAin_1), static_cast<QWidget*>(ui->lblAin_2)})
        keepRoomWhenHidden(w);

    // The Vdd scale never changes: band over all of it, bar from 0 V.
    ui->ggeVdd->setScale(0.0, 7.0);
    ui->ggeVdd->setBand(0.0, 7.0);
    ui->ggeVdd->setReadingStart(0.0);
    ui->ggeVdd->setUnits(QStringLiteral("V"));

    connect(&feed_, &BoardFeed::limitsRead, this, [this](const board::Limits& e) {
        limits_ = e.limits;
        showLimits();
    });
    connect(&feed_, &BoardFeed::layoutChanged, this, [this](const board::Layout& e) {
        if (e.limits) UpdateLimitsLayout();
    });
    connect(&feed_, &BoardFeed::flagsChanged, this, [this] {
        // The temperature scales follow the unit.
        if (feed_.flags().ShowFahrenheit != fahrenheit_) UpdateLimitsLayout();
    });
    // A lost board leaves no reading on the gauges and no lamp lit.
    connect(&feed_, &BoardFeed::boardLost, this, [this] {
        for (LinearGauge* g : {ui->ggeInternal, ui->ggeExternal, ui->ggeVdd})
            g->setReading(qQNaN());
        for (LinearGauge* g : ggeAin_) g->setReading(qQNaN());
        for (Lamp* lamp : tglAlert_) lamp->setLit(false);
    });
    connect(&feed_, &BoardFeed::readingsTaken, this, [this](const board::Readings& e) {
        if (!IsDue(e.timeOfDay, lastUpdate_, kLimitsRefreshSeconds)) return;
        lastUpdate_ = e.timeOfDay;
        UpdateLimitsForm();
    });
    Form_Load();

    // Connected after the load, which set the boxes without writing. A change
    // writes however it comes: mouse, keyboard or a screen reader's toggle.
    for (int i = 0; i < kMaskCount; ++i)
        connect(chkMask_[i], &QCheckBox::toggled, this, [this, i] { chkMask_Click(i); });
    connect(ui->chkIntMask, &QCheckBox::toggled, this, &frmLimits::chkIntMask_Click);

    connect(ui->ggeInternal, &LinearGauge::markerReleased, this,
            &frmLimits::ggeInternal_MarkerMoved);
    connect(ui->ggeExternal, &LinearGauge::markerReleased, this,
            &frmLimits::ggeExternal_MarkerMoved);
    connect(ui->ggeVdd, &LinearGauge::markerReleased, this, &frmLimits::ggeVdd_MarkerMoved);
    for (int i = 0; i < 8; ++i)
        connect(ggeAin_[i], &LinearGauge::markerReleased, this,
                [this, i] { ggeAin_MarkerMoved(i); });

    resize(sizeHint());
}

frmLimits::~frmLimits() {
    // Destroyed without a close (the program ending): the worker stops reading for it.
    if (subscribed_) feed_.post(board::SubscribeLimits{false});
}

void frmLimits::Form_Load() {
    const DeviceState& state = feed_.deviceState();
    for (int i = 0; i < kMaskCount; ++i) {
        const InterruptBit owner = kMaskOwner[i];
        const int cache = owner.bank == 1 ? state.IntMask1 : state.IntMask2;
        setChecked(chkMask_[i], (cache >> owner.bit) & 1);
    }
    setChecked(ui->chkIntMask, !state.InterruptPinEnabled);
    openFlag_.raise();
    UpdateLimitsLayout();
    feed_.post(board::SubscribeLimits{true});
    subscribed_ = true;
}

void frmLimits::closeEvent(QCloseEvent* event) {
    if (subscribed_) feed_.post(board::SubscribeLimits{false});
    subscribed_ = false;
    openFlag_.lower();
    QWidget::closeEvent(event);
}

void frmLimits::UpdateLimitsForm() {
    const CurrentReadings& r = feed_.readings().readings;
    const QString unit = feed_.readings().fahrenheit ? QStringLiteral("°F") : QStringLiteral("°C");
    const QString volts = QStringLiteral("V");

    ui->ggeInternal->setReading(r.InternalTemp);
    ui->ggeInternal->setCaption(numberText(r.InternalTemp) + unit);
    ui->ggeExternal->setReading(r.ExternalTemp);
    ui->ggeExternal->setCaption(numberText(r.ExternalTemp) + unit);
    ui->ggeVdd->setReading(r.Vdd);
    ui->ggeVdd->setCaption(numberText(r.Vdd) + volts);
    const float ain[8] = {r.Ain1, r.Ain2, r.Ain3, r.Ain4, r.Ain5, r.Ain6, r.Ain7, r.Ain8};
    for (int i = 0; i < 8; ++i) {
        ggeAin_[i]->setReading(ain[i]);
        ggeAin_[i]->setCaption(numberText(ain[i]) + volts);
    }

    const QString row = feed_.deviceState().ChannelMode == ChannelFunction::ExternalTemp
                            ? QStringLiteral("External High")
                            : QStringLiteral("Ain1");
    ui->Label6->setText(row);
    tglAlert_[2]->setCaption(row);
    // Restated on every reading: set only when the pins change, or a screen
    // reader announces the focused box again and again.
    SetAccessibleName(ui->chkMask_2, row + QStringLiteral(" Mask"));

    for (int i = 0; i < kLampCount; ++i) {
        if (i == kPinStatusLamp) {
            tglAlert_[i]->setLit(InterruptPinActive(feed_.deviceState(), r));
            continue;
        }
        const InterruptBit status = kLampStatus[i];
        const int byte = status.bank == 1 ? r.IntStatus1 : r.IntStatus2;
        tglAlert_[i]->setLit((byte >> status.bit) & 1);
    }
}

void frmLimits::UpdateLimitsLayout() {
    if (!feed_.flags().LimitsWindowOpen) return;
    const DeviceState& state = feed_.deviceState();

    const bool ainPins = state.ChannelMode == ChannelFunction::AinInputs;
    ui->ggeExternal->setVisible(!ainPins);
    ui->Label1_1->setVisible(!ainPins);
    ui->lblExtDisabled->setVisible(ainPins);
    ui->ggeAin_0->setVisible(ainPins);
    ui->lblAin_0->setVisible(ainPins);
    ui->ggeAin_1->setVisible(ainPins);
    ui->lblAin_1->setVisible(ainPins);
    ui->lblAin1Disabled->setVisible(!ainPins);
    ui->lblAin2Disabled->setVisible(!ainPins);

    ui->ggeAin_2->setVisible(state.VarnoOnAin3);
    ui->lblAin_2->setVisible(state.VarnoOnAin3);
    ui->lblAin3Disabled->setVisible(!state.VarnoOnAin3);

    fahrenheit_ = feed_.flags().ShowFahrenheit;
    setTemperatureScale(ui->ggeInternal);
    setTemperatureScale(ui->ggeExternal);

    const double top = AinScaleMaximum(state.ReferenceVoltage);
    for (LinearGauge* g : ggeAin_) {
        g->setScale(0.0, top);
        g->setBand(0.0, top);
        g->setReadingStart(0.0);
        g->setReading(1.0);
        g->setUnits(QStringLiteral("V"));
    }
    showLimits();
}

void frmLimits::showLimit(LinearGauge* gauge, const LimitBytes& bytes, float low, float high) {
    gauge->setLowLimit(low);
    gauge->setHighLimit(high);
    shown_[gauge] = {bytes, gauge->lowLimit(), gauge->highLimit()};
}

void frmLimits::showLimits() {
    if (!limits_) return;
    const ChipLimits& limits = *limits_;
    const float reference = feed_.deviceState().ReferenceVoltage;
    const auto temperature = [this](LinearGauge* gauge, const LimitBytes& bytes) {
        showLimit(gauge, bytes, TemperatureFromLimitRegister(bytes.low, fahrenheit_),
                  TemperatureFromLimitRegister(bytes.high, fahrenheit_));
    };
    temperature(ui->ggeInternal, limits.internal);
    temperature(ui->ggeExternal, limits.external);
    showLimit(ui->ggeVdd, limits.vdd, VddFromLimitRegister(limits.vdd.low),
              VddFromLimitRegister(limits.vdd.high));
    for (int i = 0; i < 8; ++i) {
        try {
            showLimit(ggeAin_[i], limits.ain[i], AinFromLimitRegister(limits.ain[i].low, reference),
                      AinFromLimitRegister(limits.ain[i].high, reference));
        } catch (const ConversionError&) {
            // No reference known yet (Configuration 3 unread): the markers stay.
        }
    }
}

void frmLimits::setTemperatureScale(LinearGauge* gauge) {
    const bool fahrenheit = fahrenheit_;
    const double bottom = fahrenheit ? -198.0 : -128.0;
    const double top = fahrenheit ? 260.0 : 127.0;
    gauge->setScale(bottom, top);
    gauge->setBand(bottom, top);
    gauge->setReadingStart(bottom);
    gauge->setReading(fahrenheit ? 70.0 : 20.0);
    gauge->setUnits(fahrenheit ? QStringLiteral("°F") : QStringLiteral("°C"));
}

void frmLimits::chkMask_Click(int index) {
    if (index < 0 || index >= kMaskCount) return;
    // The chip's masks, not the caches: another window may have changed them.
    const InterruptBit owner = kMaskOwner[index];
    const int bit = 1 << owner.bit;
    feed_.post(board::WriteBits{{chip::kMask1, chip::kMask2},
                                owner.maskRegister(),
                                bit,
                                isChecked(chkMask_[index]) ? bit : 0});
}

void frmLimits::chkIntMask_Click() {
    feed_.post(board::WriteBits{{chip::kConfig1},
                                chip::kConfig1,
                                chip::kConfig1IntDisable,
                                isChecked(ui->chkIntMask) ? chip::kConfig1IntDisable : 0});
}

void frmLimits::ggeInternal_MarkerMoved() {
    writeTemperatureLimits(ui->ggeInternal, kInternalLimits);
}

void frmLimits::ggeExternal_MarkerMoved() {
    writeTemperatureLimits(ui->ggeExternal, kExternalLimits);
}

void frmLimits::writeTemperatureLimits(LinearGauge* gauge, const LimitRegisters& regs) {
    const bool fahrenheit = fahrenheit_;
    int32_t low = 0, high = 0;
    try {
        low = TemperatureLimitFromMarker(gauge->lowLimit(), fahrenheit);
        high = TemperatureLimitFromMarker(gauge->highLimit(), fahrenheit);
    } catch (const ConversionError& e) {
        reportConversionError(e.what());
        return;
    }
    // A negative limit goes out as it is; the link sends its two's-complement byte.
    writeLimits(gauge, regs, low, high);
}

void frmLimits::ggeVdd_MarkerMoved() {
    int32_t low = 0, high = 0;
    try {
        low = VddLimitCode(static_cast<float>(ui->ggeVdd->lowLimit()));
        high = VddLimitCode(static_cast<float>(ui->ggeVdd->highLimit()));
    } catch (const ConversionError& e) {
        reportConversionError(e.what());
        return;
    }
    writeLimits(ui->ggeVdd, kVddLimits, low, high);
}

void frmLimits::ggeAin_MarkerMoved(int index) {
    if (index < 0 || index >= 8) return;
    const float reference = feed_.deviceState().ReferenceVoltage;
    int32_t low = 0, high = 0;
    try {
        low = AinLimitCode(static_cast<float>(ggeAin_[index]->lowLimit()), reference);
        high = AinLimitCode(static_cast<float>(ggeAin_[index]->highLimit()), reference);
    } catch (const ConversionError& e) {
        reportConversionError(e.what());
        return;
    }
    writeLimits(ggeAin_[index], kAinLimits[index], low, high);
}

void frmLimits::writeLimits(LinearGauge* gauge, const LimitRegisters& regs, int32_t low,
                            int32_t high) {
    if (const auto it = shown_.constFind(gauge); it != shown_.constEnd()) {
        // Temperature limits are signed: the same byte goes out as the marker's would.
        const bool temperature = gauge == ui->ggeInternal || gauge == ui->ggeExternal;
        const auto chipValue = [temperature](int byte) {
            return temperature && byte > 127 ? byte - 256 : byte;
        };
        if (gauge->lowLimit() == it->low) low = chipValue(it->bytes.low);
        if (gauge->highLimit() == it->high) high = chipValue(it->bytes.high);
    }
    // Codes above 255 (the top of a scale) are written as 255 by the link.
    feed_.post(board::WriteRegister{regs.low, low});
    feed_.post(board::WriteRegister{regs.high, high});
}

void frmLimits::reportConversionError(const char* what) {
    notifier_.message(std::string("Limits not written: ") + what, Notifier::Icon::Warning);
}

}  // namespace quarnel
