// SPDX-License-Identifier: GPL-3.0-or-later
// The limits and interrupts window against a recording board (exact requests and
// register contents) and the simulated board (request trace, live readings, and a
// look at the rendered window).

#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <vector>

#include "device/ChipRegisters.h"
#include "device/Conversions.h"
#include "gui/support/SessionRig.h"
#include "gui/support/SimSessionRig.h"
#include "widgets/Lamp.h"
#include "widgets/LinearGauge.h"
#include "windows/limits/LimitsRules.h"
#include "windows/limits/frmLimits.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

constexpr int kAddress = 0x48;

// A session over the recording board: chip at 0x48, configuration state as after
// start-up in Ain1/Ain2 mode with the internal reference.
struct Rig : SessionRig {
    Rig() : SessionRig(kAddress) {
        DeviceState& s = session.device.state;
        s.ChannelMode = ChannelFunction::AinInputs;
        s.ReferenceVoltage = 2.28f;
        s.InterruptPinEnabled = true;
        s.VarnoOnAin3 = true;
    }

    // The window opened after start-up, which told the feed this state.
    std::unique_ptr<frmLimits> open() {
        feed.deliver(board::Connected{session.device.state, kAddress});
        return std::make_unique<frmLimits>(feed, notifier);
    }
    // The register-written handler asks for the limits' layout.
    void relayout() { session.layoutChanged(false, true); }
    // The state and readings as the next tick publishes them, a refresh period on.
    void publish() {
        feed.deliver(board::Layout{session.device.state, false, false});
        board::Readings taken{session.readings};
        taken.fahrenheit = session.ShowFahrenheit;
        taken.timeOfDay = clock.timeOfDay() + 0.6 * ++ticks;
        feed.deliver(taken);
    }
    int ticks = 0;
};

LinearGauge* gauge(QWidget* w, const char* name) {
    return control<LinearGauge>(w, name);
}
Lamp* lamp(QWidget* w, int index) {
    return control<Lamp>(w, QStringLiteral("tglAlert_%1").arg(index));
}

// The 22 reads of a layout pass, in order.
const std::vector<Access> kLayoutReads = {R(0x26), R(0x25), R(0x28), R(0x27), R(0x24), R(0x23),
                                          R(0x28), R(0x27), R(0x2C), R(0x2B), R(0x2E), R(0x2D),
                                          R(0x30), R(0x2F), R(0x32), R(0x31), R(0x34), R(0x33),
                                          R(0x36), R(0x35), R(0x38), R(0x37)};

// The rows as the user sees them: caption label, lamp, its status bit
// (bank 1 or 2), its mask box and the mask register bit it owns.
struct Row {
    const char* label;
    const char* caption;
    int lamp;
    int statusBank, statusBit;
    const char* mask;
    int maskReg, maskBit;
};
const std::vector<Row> kRows = {
    {"Label8", "VDD High/Low", 4, 2, 4, "chkMask_4", 0x1E, 4},
    {"Label9_0", "External Fault", 5, 1, 4, "chkMask_5", 0x1D, 4},
    {"Label5", "Internal Low", 1, 1, 1, "chkMask_1", 0x1D, 1},
    {"Label4", "Internal High", 0, 1, 0, "chkMask_0", 0x1D, 0},
    {"Label7", "External Low", 3, 1, 3, "chkMask_3", 0x1D, 3},
    {"Label6", "External High", 2, 1, 2, "chkMask_2", 0x1D, 2},
    {"Label9_1", "Ain2", 7, 1, 5, "chkMask_6", 0x1D, 5},
    {"Label9_2", "Ain3", 8, 1, 6, "chkMask_7", 0x1D, 6},
    {"Label9_3", "Ain4", 9, 1, 7, "chkMask_8", 0x1D, 7},
    {"Label9_4", "Ain5", 10, 2, 0, "chkMask_9", 0x1E, 0},
    {"Label9_5", "Ain6", 11, 2, 1, "chkMask_10", 0x1E, 1},
    {"Label9_6", "Ain7", 12, 2, 2, "chkMask_11", 0x1E, 2},
    {"Label9_7", "Ain8", 13, 2, 3, "chkMask_12", 0x1E, 3},
};

}  // namespace

class LimitsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void formHasTheDocumentedControls();
    void loadSetsMaskBoxesFromCachesWritesNothingAndReadsTheLimits();
    void layoutFollowsChannelModeVarnoAndReference();
    void layoutWhileClosedReadsNothing();
    void limitRegistersShowAsSignedDegreesAndVolts();
    void ain0MarkerWritesSharedRegistersTopGives255();
    void temperatureMarkersRoundHalfToEvenAndConvertFahrenheit();
    void vddAndAinMarkersWriteTheirCodes();
    void lampsFollowStatusBitsAndPinStatus();
    void captionsUseNumberText();
    void maskClicksReadBothMasksAndWriteTheOwnerOnly();
    void intMaskClickWritesConfiguration1Bit5();
    void onTheSimulatedBoard();
    void limitWrittenElsewhereSurvivesTheOtherMarker();
};

void LimitsWindowTest::formHasTheDocumentedControls() {
    Rig rig;
    auto w = rig.open();
    QCOMPARE(w->windowTitle(), QStringLiteral("Interrupt Settings"));
    QCOMPARE(control<QLabel>(w.get(), "Label3")->text(), QStringLiteral("Mask"));
    const QString lampTip =
        QStringLiteral("Interrupt Status: Green=OK, Red=Bad, Invisible=Disabled");
    for (const Row& row : kRows) {
        QCOMPARE(control<QLabel>(w.get(), row.label)->text(), QString::fromLatin1(row.caption));
        QCOMPARE(lamp(w.get(), row.lamp)->toolTip(), lampTip);
        QCOMPARE(lamp(w.get(), row.lamp)->caption(), QString::fromLatin1(row.caption));
        QVERIFY(control<QCheckBox>(w.get(), row.mask)->text().isEmpty());
    }
    QCOMPARE(control<QLabel>(w.get(), "Label10")->text(), QStringLiteral("Pin Status"));
    QCOMPARE(lamp(w.get(), 6)->toolTip(), lampTip);
    QVERIFY(control<QCheckBox>(w.get(), "chkIntMask")->text().isEmpty());

    auto* tabs = control<QTabWidget>(w.get(), "SSTab1");
    QStringList pages;
    for (int i = 0; i < tabs->count(); ++i) pages << tabs->tabText(i);
    QCOMPARE(pages, (QStringList{"Temp Limits", "Ain Limits 1-4", "Ain Limits 5-8", "Vdd Limits"}));

    // Every gauge stands on its page under its caption label; the notes that replace some.
    const QList<QStringList> placed = {{"ggeInternal", "Label1_0", "Internal", "0"},
                                       {"ggeExternal", "Label1_1", "External", "0"},
                                       {"ggeVdd", "Label1_2", "Vdd", "3"}};
    QList<QStringList> all = placed;
    for (int i = 0; i < 8; ++i)
        all.append({QStringLiteral("ggeAin_%1").arg(i), QStringLiteral("lblAin_%1").arg(i),
                    QStringLiteral("Ain%1").arg(i + 1), QString::number(i < 4 ? 1 : 2)});
    for (const QStringList& p : all) {
        LinearGauge* g = control<LinearGauge>(w.get(), p[0]);
        QCOMPARE(g->toolTip(), QStringLiteral("Drag the sliders to change the limits"));
        QCOMPARE(control<QLabel>(w.get(), p[1])->text(), p[2]);
        QVERIFY(tabs->widget(p[3].toInt())->isAncestorOf(g));
    }
    const QList<QStringList> notes = {{"lblExtDisabled", "External Temperature is disabled"},
                                      {"lblAin1Disabled", "Ain1 is Disabled"},
                                      {"lblAin2Disabled", "Ain2 is Disabled"},
                                      {"lblAin3Disabled", "Ain3 is Disabled"}};
    for (const QStringList& n : notes) QCOMPARE(control<QLabel>(w.get(), n[0])->text(), n[1]);

    // The Vdd gauge: fixed 0 to 7 V, band over all of it, bar from 0 V.
    LinearGauge* vdd = gauge(w.get(), "ggeVdd");
    QCOMPARE(vdd->scaleMin(), 0.0);
    QCOMPARE(vdd->scaleMax(), 7.0);
    QCOMPARE(vdd->pointerStart(LinearGauge::Band), 0.0);
    QCOMPARE(vdd->pointerValue(LinearGauge::Band), 7.0);
    QCOMPARE(vdd->pointerStart(LinearGauge::Reading), 0.0);
}

void LimitsWindowTest::loadSetsMaskBoxesFromCachesWritesNothingAndReadsTheLimits() {
    Rig rig;
    DeviceState& s = rig.session.device.state;
    s.IntMask1 = 0b1010'0101;
    s.IntMask2 = 0b0001'1010;
    s.InterruptPinEnabled = false;
    // The chip says otherwise: the boxes must come from the caches.
    rig.board.registers[0x1D] = 0x5A;
    rig.board.registers[0x1E] = 0x05;
    rig.board.registers[0x18] = 0x09;

    auto w = rig.open();
    QVERIFY(rig.feed.flags().LimitsWindowOpen);
    QCOMPARE(rig.accesses(), kLayoutReads);
    for (const Row& row : kRows) {
        const int cache = row.maskReg == 0x1D ? s.IntMask1 : s.IntMask2;
        const bool masked = (cache >> row.maskBit) & 1;
        QCOMPARE(control<QCheckBox>(w.get(), row.mask)->checkState(),
                 masked ? Qt::Checked : Qt::Unchecked);
    }
    QCOMPARE(control<QCheckBox>(w.get(), "chkIntMask")->checkState(), Qt::Checked);

    // Enabled pin: chkIntMask clear.
    rig.board.clear();
    s.InterruptPinEnabled = true;
    auto w2 = rig.open();
    QCOMPARE(control<QCheckBox>(w2.get(), "chkIntMask")->checkState(), Qt::Unchecked);
    QVERIFY(rig.writes().empty());
    QVERIFY(rig.failures.empty());
}

void LimitsWindowTest::layoutFollowsChannelModeVarnoAndReference() {
    Rig rig;
    auto w = rig.open();
    w->show();
    auto visible = [&](const char* name) {
        return control<QWidget>(w.get(), name)->isVisibleTo(w.get());
    };
    auto* tabs = control<QTabWidget>(w.get(), "SSTab1");
    tabs->setCurrentIndex(1);  // hidden pages would hide everything

    // Ain1/Ain2 mode, VARNO on Ain3, internal reference.
    QVERIFY(visible("ggeAin_0") && visible("lblAin_0") && visible("ggeAin_1") &&
            visible("lblAin_1"));
    QVERIFY(!visible("lblAin1Disabled") && !visible("lblAin2Disabled"));
    QVERIFY(visible("ggeAin_2") && visible("lblAin_2") && !visible("lblAin3Disabled"));
    for (int i = 0; i < 8; ++i) {
        LinearGauge* g = control<LinearGauge>(w.get(), QStringLiteral("ggeAin_%1").arg(i));
        QCOMPARE(g->scaleMax(), 2.28);
        QCOMPARE(g->pointerValue(LinearGauge::Band), 2.28);
        QCOMPARE(g->pointerStart(LinearGauge::Reading), 0.0);
        QCOMPARE(g->reading(), 1.0);
    }
    tabs->setCurrentIndex(0);
    QVERIFY(!visible("ggeExternal") && !visible("Label1_1") && visible("lblExtDisabled"));
    LinearGauge* internal = gauge(w.get(), "ggeInternal");
    QCOMPARE(internal->scaleMin(), -128.0);
    QCOMPARE(internal->scaleMax(), 127.0);
    QCOMPARE(internal->pointerStart(LinearGauge::Reading), -128.0);
    QCOMPARE(internal->reading(), 20.0);

    // External mode, no VARNO, Vdd reference, Fahrenheit.
    DeviceState& s = rig.session.device.state;
    s.ChannelMode = ChannelFunction::ExternalTemp;
    s.VarnoOnAin3 = false;
    s.ReferenceVoltage = 3.3f;
    rig.feed.setShowFahrenheit(true);
    rig.relayout();
    QVERIFY(visible("ggeExternal") && visible("Label1_1") && !visible("lblExtDisabled"));
    tabs->setCurrentIndex(1);
    QVERIFY(!visible("ggeAin_0") && !visible("lblAin_0") && !visible("ggeAin_1"));
    QVERIFY(visible("lblAin1Disabled") && visible("lblAin2Disabled"));
    QVERIFY(!visible("ggeAin_2") && !visible("lblAin_2") && visible("lblAin3Disabled"));
    QCOMPARE(gauge(w.get(), "ggeAin_7")->scaleMax(), 3.3);
    for (const char* name : {"ggeInternal", "ggeExternal"}) {
        LinearGauge* g = gauge(w.get(), name);
        QCOMPARE(g->scaleMin(), -198.0);
        QCOMPARE(g->scaleMax(), 260.0);
        QCOMPARE(g->pointerStart(LinearGauge::Band), -198.0);
        QCOMPARE(g->pointerValue(LinearGauge::Band), 260.0);
        QCOMPARE(g->pointerStart(LinearGauge::Reading), -198.0);
        QCOMPARE(g->reading(), 70.0);
    }
    // Mode 0 (a selection being corrected) lays out like the external channel.
    s.ChannelMode = ChannelFunction::Undetermined;
    rig.relayout();
    QVERIFY(!visible("ggeAin_0") && visible("lblAin1Disabled"));
}

void LimitsWindowTest::layoutWhileClosedReadsNothing() {
    Rig rig;
    auto* w = rig.open().release();
    w->show();
    QVERIFY(rig.feed.flags().LimitsWindowOpen);
    rig.board.clear();
    rig.relayout();  // the worker reads them for the subscribed window
    QCOMPARE(rig.accesses(), kLayoutReads);

    QPointer<frmLimits> guard(w);
    QVERIFY(w->close());
    QVERIFY(!rig.feed.flags().LimitsWindowOpen);
    rig.board.clear();
    rig.relayout();
    if (guard) guard->UpdateLimitsLayout();  // still alive until the deferred delete
    QVERIFY(rig.board.calls.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!guard);

    // A window destroyed after a newer one opened leaves the newer one's flag alone.
    auto older = rig.open();
    older->close();
    auto newer = rig.open();
    older.reset();
    QVERIFY(rig.feed.flags().LimitsWindowOpen);
}

void LimitsWindowTest::limitRegistersShowAsSignedDegreesAndVolts() {
    Rig rig;
    rig.session.device.state.ChannelMode = ChannelFunction::ExternalTemp;
    rig.board.registers[0x26] = 0xC9;  // -55
    rig.board.registers[0x25] = 0x7F;  // 127
    rig.board.registers[0x28] = 0x80;  // -128
    rig.board.registers[0x27] = 0x00;
    rig.board.registers[0x24] = 128;  // Vdd code 512: 3.499 V
    rig.board.registers[0x23] = 255;
    rig.board.registers[0x2C] = 128;  // Ain code 512
    rig.board.registers[0x2B] = 255;
    auto w = rig.open();
    LinearGauge* internal = gauge(w.get(), "ggeInternal");
    LinearGauge* external = gauge(w.get(), "ggeExternal");
    QCOMPARE(internal->lowLimit(), -55.0);
    QCOMPARE(internal->highLimit(), 127.0);
    QCOMPARE(external->lowLimit(), -128.0);
    QCOMPARE(external->highLimit(), 0.0);
    QCOMPARE(gauge(w.get(), "ggeVdd")->lowLimit(), double(3.499f));
    QCOMPARE(gauge(w.get(), "ggeVdd")->highLimit(), double(6.970f));  // code 1020
    // Ain1 shows the registers the external channel shares.
    QCOMPARE(gauge(w.get(), "ggeAin_0")->lowLimit(), double(1.14f));  // code 512 at 2.28 V
    QCOMPARE(gauge(w.get(), "ggeAin_1")->highLimit(), double(2.27f));

    // The same registers in Fahrenheit, and with the Vdd reference.
    rig.feed.setShowFahrenheit(true);
    rig.session.device.state.ReferenceVoltage = 3.3f;
    rig.relayout();
    QCOMPARE(internal->lowLimit(), -67.0);
    QCOMPARE(internal->highLimit(), double(127.0f * 9.0f / 5.0f + 32.0f));
    QCOMPARE(external->lowLimit(), double(-128.0f * 9.0f / 5.0f + 32.0f));
    QCOMPARE(gauge(w.get(), "ggeAin_1")->lowLimit(), double(1.65f));
}

void LimitsWindowTest::ain0MarkerWritesSharedRegistersTopGives255() {
    Rig rig;
    rig.board.registers[0x28] = 50;  // shown as .45 V (2 decimals)
    rig.board.registers[0x27] = 200;
    auto w = rig.open();
    LinearGauge* ain0 = gauge(w.get(), "ggeAin_0");
    QCOMPARE(ain0->lowLimit(), double(0.45f));
    rig.board.clear();

    // The user moves the high marker to the top of the scale and the low one to 0 V.
    ain0->setSelectedMarker(LinearGauge::HighMarker);
    QTest::keyClick(ain0, Qt::Key_End);
    // Both limits, low first, into the registers the external channel shares;
    // 2.28 V is code 256, written as 255. Each write is read back by the hook.
    // The untouched low limit goes back as the chip's byte, not reconverted
    // from .45 V (code 51, q = 50.53).
    QCOMPARE(rig.accesses(), (std::vector<Access>{W(0x28, 50), R(0x28), W(0x27, 255), R(0x27)}));
    QCOMPARE(ain0->highLimit(), double(2.27f));  // the chip's 255 shown

    rig.board.clear();
    ain0->setSelectedMarker(LinearGauge::LowMarker);
    QTest::keyClick(ain0, Qt::Key_Home);
    QCOMPARE(rig.writes(), (std::vector<Access>{W(0x28, 0), W(0x27, 255)}));

    QVERIFY(rig.notifier.messages.empty());
}

void LimitsWindowTest::temperatureMarkersRoundHalfToEvenAndConvertFahrenheit() {
    Rig rig;
    rig.feed.setShowFahrenheit(true);
    auto w = rig.open();
    LinearGauge* internal = gauge(w.get(), "ggeInternal");
    rig.board.clear();

    // 99.5 °F -> 100 (half to even) -> 37.78 -> 38; 212.4 °F -> 212 -> 100.
    internal->setLowLimit(99.5);
    internal->setHighLimit(212.4);
    emit internal->markerReleased(LinearGauge::HighMarker, 212.4);
    QCOMPARE(rig.writes(), (std::vector<Access>{W(0x26, 38), W(0x25, 100)}));

    // Negative limits go to the link as they are: the index carries the
    // two's-complement byte (-67 °F is -55 °C, 0xC9) above the register.
    rig.board.clear();
    LinearGauge* external = gauge(w.get(), "ggeExternal");
    external->setLowLimit(-67.0);
    external->setHighLimit(-40.5);  // -40 (half to even) -> -40 °C
    emit external->markerReleased(LinearGauge::LowMarker, -67.0);
    const auto writes = rig.board.writesTo(kRequestRegister);
    QCOMPARE(writes.size(), size_t(2));
    QCOMPARE(writes[0].index & 0xFFFF, 0xC928);
    QCOMPARE(writes[1].index & 0xFFFF, 0xD827);
    QCOMPARE(rig.board.registers[0x28], uint8_t(0xC9));

    // Celsius: whole degrees, halves to even.
    rig.feed.setShowFahrenheit(false);  // the scales follow the unit
    rig.board.clear();
    internal->setLowLimit(-0.5);
    internal->setHighLimit(2.5);
    emit internal->markerReleased(LinearGauge::LowMarker, -0.5);
    QCOMPARE(rig.writes(), (std::vector<Access>{W(0x26, 0), W(0x25, 2)}));
    rig.board.clear();
    internal->setLowLimit(-3.5);
    internal->setHighLimit(3.5);
    emit internal->markerReleased(LinearGauge::HighMarker, 3.5);
    QCOMPARE(rig.writes(), (std::vector<Access>{W(0x26, 0xFC), W(0x25, 4)}));
}

void LimitsWindowTest::vddAndAinMarkersWriteTheirCodes() {
    Rig rig;
    auto w = rig.open();
    rig.board.clear();
    LinearGauge* vdd = gauge(w.get(), "ggeVdd");
    vdd->setLowLimit(3.3);   // 121 (q = 120.73)
    vdd->setHighLimit(5.5);  // 201
    emit vdd->markerReleased(LinearGauge::LowMarker, 3.3);
    QCOMPARE(rig.writes(), (std::vector<Access>{W(0x24, 121), W(0x23, 201)}));
    rig.board.clear();
    vdd->setSelectedMarker(LinearGauge::HighMarker);
    QTest::keyClick(vdd, Qt::Key_End);  // 7 V is code 256, written as 255
    QCOMPARE(rig.writes(), (std::vector<Access>{W(0x24, 121), W(0x23, 255)}));

    // Each Ain gauge writes its own pair, low first.
    const std::pair<int, int> regs[8] = {{0x28, 0x27}, {0x2C, 0x2B}, {0x2E, 0x2D}, {0x30, 0x2F},
                                         {0x32, 0x31}, {0x34, 0x33}, {0x36, 0x35}, {0x38, 0x37}};
    for (int i = 0; i < 8; ++i) {
        rig.board.clear();
        auto* g = control<LinearGauge>(w.get(), QStringLiteral("ggeAin_%1").arg(i));
        g->setLowLimit(0.5);
        g->setHighLimit(1.0);
        emit g->markerReleased(LinearGauge::HighMarker, 1.0);
        QCOMPARE(rig.writes(), (std::vector<Access>{W(regs[i].first, AinLimitCode(0.5f, 2.28f)),
                                                    W(regs[i].second, 112)}));
    }
}

void LimitsWindowTest::lampsFollowStatusBitsAndPinStatus() {
    Rig rig;
    auto w = rig.open();
    CurrentReadings& r = rig.session.readings;
    DeviceState& s = rig.session.device.state;
    auto litLamps = [&] {
        std::vector<int> lit;
        for (int i = 0; i < 14; ++i)
            if (lamp(w.get(), i)->isLit()) lit.push_back(i);
        return lit;
    };

    // Each status bit lights its own row's lamp, and the pin while nothing masks it.
    for (const Row& row : kRows) {
        r.IntStatus1 = row.statusBank == 1 ? int16_t(1 << row.statusBit) : 0;
        r.IntStatus2 = row.statusBank == 2 ? int16_t(1 << row.statusBit) : 0;
        rig.publish();
        QCOMPARE(litLamps(), (std::vector<int>{std::min(row.lamp, 6), std::max(row.lamp, 6)}));
        QCOMPARE(lamp(w.get(), row.lamp)->accessibleValue(), QStringLiteral("Bad"));
    }

    // A masked source keeps its own lamp lit but not the pin.
    r.IntStatus1 = 0x01;
    r.IntStatus2 = 0;
    s.IntMask1 = 0x01;
    rig.publish();
    QCOMPARE(litLamps(), std::vector<int>{0});
    QVERIFY(!InterruptPinActive(s, r));
    s.IntMask1 = 0x02;  // another bit masked
    rig.publish();
    QCOMPARE(litLamps(), (std::vector<int>{0, 6}));

    // The pin disabled: unlit whatever the status bits.
    r.IntStatus1 = 0xFF;
    r.IntStatus2 = 0x1F;
    s.IntMask1 = 0;
    s.IntMask2 = 0;
    s.InterruptPinEnabled = false;
    rig.publish();
    QVERIFY(!lamp(w.get(), 6)->isLit());
    QCOMPARE(lamp(w.get(), 6)->accessibleValue(), QStringLiteral("OK"));
    QCOMPARE(litLamps().size(), size_t(13));

    // Status 2 bits 5 to 7 belong to no source and do not drive the pin.
    s.InterruptPinEnabled = true;
    r.IntStatus1 = 0;
    r.IntStatus2 = 0xE0;
    rig.publish();
    QVERIFY(litLamps().empty());
    r.IntStatus2 = 0x10;
    s.IntMask2 = 0x10;
    QVERIFY(!InterruptPinActive(s, r));
    s.IntMask2 = 0x0F;
    QVERIFY(InterruptPinActive(s, r));
}

void LimitsWindowTest::captionsUseNumberText() {
    Rig rig;
    auto w = rig.open();
    rig.board.clear();
    CurrentReadings& r = rig.session.readings;
    r.InternalTemp = 23.25f;
    r.ExternalTemp = -0.25f;
    r.Vdd = 3.3f;
    r.Ain1 = 0.5f;
    r.Ain8 = 2.278f;
    rig.publish();
    QCOMPARE(gauge(w.get(), "ggeInternal")->caption(), QStringLiteral(" 23.25°C"));
    QCOMPARE(gauge(w.get(), "ggeInternal")->reading(), 23.25);
    QCOMPARE(gauge(w.get(), "ggeExternal")->caption(), QStringLiteral("-.25°C"));
    QCOMPARE(gauge(w.get(), "ggeVdd")->caption(), QStringLiteral(" 3.3V"));
    QCOMPARE(gauge(w.get(), "ggeAin_0")->caption(), QStringLiteral(" .5V"));
    QCOMPARE(gauge(w.get(), "ggeAin_1")->caption(), QStringLiteral(" 0V"));
    QCOMPARE(gauge(w.get(), "ggeAin_7")->caption(), QStringLiteral(" 2.278V"));
    QCOMPARE(gauge(w.get(), "ggeAin_7")->reading(), double(2.278f));
    // Ain1-2 mode: the "External High" row reads "Ain1", "External Low" keeps its caption.
    QCOMPARE(control<QLabel>(w.get(), "Label6")->text(), QStringLiteral("Ain1"));
    QCOMPARE(lamp(w.get(), 2)->caption(), QStringLiteral("Ain1"));
    QCOMPARE(control<QLabel>(w.get(), "Label7")->text(), QStringLiteral("External Low"));
    // Readings within half a second of those shown wait for a later refresh.
    board::Readings soon{r};
    soon.readings.Vdd = 4.0f;
    soon.timeOfDay = rig.feed.readings().timeOfDay + 0.4;
    rig.feed.deliver(soon);
    QCOMPARE(gauge(w.get(), "ggeVdd")->caption(), QStringLiteral(" 3.3V"));

    rig.feed.setShowFahrenheit(true);
    rig.session.device.state.ChannelMode = ChannelFunction::ExternalTemp;
    r.InternalTemp = 77.9f;
    rig.publish();
    QCOMPARE(gauge(w.get(), "ggeInternal")->caption(), QStringLiteral(" 77.9°F"));
    QCOMPARE(control<QLabel>(w.get(), "Label6")->text(), QStringLiteral("External High"));
    // The only reads: the limits for the new unit's scales. Refreshes read no register.
    QCOMPARE(rig.accesses(), kLayoutReads);
}

void LimitsWindowTest::maskClicksReadBothMasksAndWriteTheOwnerOnly() {
    Rig rig;
    auto w = rig.open();
    for (const Row& row : kRows) {
        // The chip's masks differ from the caches: the click works on the chip's.
        rig.board.registers[0x1D] = 0x00;
        rig.board.registers[0x1E] = 0x00;
        rig.session.device.state.IntMask1 = 0xFF;
        rig.board.clear();
        auto* box = control<QCheckBox>(w.get(), row.mask);
        QVERIFY(box->checkState() == Qt::Unchecked);
        box->click();
        const int bit = 1 << row.maskBit;
        QCOMPARE(rig.accesses(),
                 (std::vector<Access>{R(0x1D), R(0x1E), W(row.maskReg, bit), R(row.maskReg)}));
        // The hook refreshed the cache of the written register.
        const int cache = row.maskReg == 0x1D ? rig.session.device.state.IntMask1
                                              : rig.session.device.state.IntMask2;
        QCOMPARE(cache, bit);

        rig.board.registers[0x1D] = 0xFF;
        rig.board.registers[0x1E] = 0xFF;
        rig.board.clear();
        // Unchecked again, by a screen reader: the bit is cleared, the others kept.
        QAccessible::queryAccessibleInterface(box)->actionInterface()->doAction(
            QAccessibleActionInterface::toggleAction());
        QVERIFY(box->checkState() == Qt::Unchecked);
        QCOMPARE(rig.writes(), std::vector<Access>{W(row.maskReg, 0xFF & ~bit)});
    }
    QVERIFY(rig.failures.empty());
}

void LimitsWindowTest::intMaskClickWritesConfiguration1Bit5() {
    Rig rig;
    rig.board.registers[0x18] = 0x0D;  // monitoring, external channel, pin enabled
    rig.session.device.state.ChannelMode = ChannelFunction::ExternalTemp;
    auto w = rig.open();
    auto* box = control<QCheckBox>(w.get(), "chkIntMask");
    rig.board.clear();
    box->click();
    const std::vector<Access> first = {rig.accesses()[0], rig.accesses()[1], rig.accesses()[2]};
    QCOMPARE(first, (std::vector<Access>{R(0x18), W(0x18, 0x2D), R(0x18)}));
    QVERIFY(!rig.session.device.state.InterruptPinEnabled);
    QCOMPARE(rig.session.device.state.ChannelMode, ChannelFunction::ExternalTemp);
    QCOMPARE(rig.writes().size(), size_t(1));  // board switches go by request 221

    rig.board.clear();
    box->click();
    QCOMPARE(rig.writes(), std::vector<Access>{W(0x18, 0x0D)});
    QVERIFY(rig.session.device.state.InterruptPinEnabled);
}

// The whole path on the simulated board: start-up, live readings, the window's
// requests in the trace, and a look at the rendered window.
void LimitsWindowTest::onTheSimulatedBoard() {
    SimSessionRig sim;
    sim.connect();
    QCOMPARE(sim.session.link.DeviceAddress, kAddress);
    for (int i = 0; i < 48; ++i) {
        sim.clock.advance(0.01);
        sim.worker.step();
    }
    sim.feed.post(board::WriteRegister{chip::kMask2, 0});
    sim.feed.post(board::WriteRegister{chip::kMask1, 0x40});  // Ain3 masked
    sim.newTraceLines();

    auto w = std::make_unique<frmLimits>(sim.feed, sim.notifier);
    const QStringList loaded = sim.newTraceLines();
    QCOMPARE(loaded.size(), qsizetype(22));
    QCOMPARE(loaded.filter(QRegularExpression("^222 \\S+ \\S+ 0 ")).size(), qsizetype(0));
    QVERIFY(loaded.first().startsWith("222 0x00000148 0x00000026 1 1 -> 0 "));
    QCOMPARE(control<QCheckBox>(w.get(), "chkMask_7")->checkState(), Qt::Checked);

    // The next tick's readings: the chip's limits leave them inside, no lamp lit.
    sim.clock.advance(0.01);
    sim.worker.step();
    sim.newTraceLines();
    for (int i = 0; i < 14; ++i)
        QVERIFY2(!lamp(w.get(), i)->isLit(), qPrintable(QString::number(i)));
    LinearGauge* internal = gauge(w.get(), "ggeInternal");
    QVERIFY(internal->reading() > internal->lowLimit() &&
            internal->reading() < internal->highLimit());
    QVERIFY(sim.session.readings.Vdd > 3.0f);

    // A click on the Ain5 mask: 0x1D and 0x1E read over the bus, 0x1E written and read back.
    control<QCheckBox>(w.get(), "chkMask_9")->click();
    QCOMPARE(
        sim.newTraceLines().replaceInStrings(QRegularExpression(" -> 0 [0-9A-F]{2}$"), " -> 0 xx"),
        (QStringList{"222 0x00000148 0x0000001D 1 1 -> 0 xx",
                     "222 0x00000148 0x0000001E 1 1 -> 0 xx", "222 0x00000148 0x0000011E 0 0 -> 0",
                     "222 0x00000148 0x0000001E 1 1 -> 0 xx"}));
    QCOMPARE(sim.board.peekRegister(0x1E), uint8_t(0x01));

    // The dragged internal low limit reaches the chip as signed degrees.
    internal->setLowLimit(-10.0);
    emit internal->markerReleased(LinearGauge::LowMarker, -10.0);
    QCOMPARE(sim.board.peekRegister(0x26), uint8_t(0xF6));

    // Rendered, every page: nothing clipped, every gauge with room for its scale.
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    auto* tabs = control<QTabWidget>(w.get(), "SSTab1");
    const QByteArray shots = qgetenv("QUARNEL_SHOT_DIR");
    auto checkPages = [&](const QString& variant) {
        for (int page = 0; page < tabs->count(); ++page) {
            tabs->setCurrentIndex(page);
            QCoreApplication::processEvents();
            for (QLabel* label : w->findChildren<QLabel*>()) {
                if (!label->isVisibleTo(w.get())) continue;
                const QSize need = label->minimumSizeHint();
                QVERIFY2(label->width() >= need.width() && label->height() >= need.height(),
                         qPrintable(variant + label->objectName()));
            }
            for (LinearGauge* g : w->findChildren<LinearGauge*>()) {
                if (!g->isVisible()) continue;
                QVERIFY2(g->width() >= g->minimumSizeHint().width() &&
                             g->height() >= g->minimumSizeHint().height(),
                         qPrintable(variant + g->objectName()));
            }
            if (!shots.isEmpty())
                w->grab().save(
                    QDir(QString::fromLocal8Bit(shots))
                        .filePath(QStringLiteral("limits-%1-page%2.png").arg(variant).arg(page)));
        }
    };
    checkPages(QStringLiteral("ain"));
    // The external channel, no VARNO and Fahrenheit: other notes and wider scale labels.
    sim.session.device.state.ChannelMode = ChannelFunction::ExternalTemp;
    sim.session.device.state.VarnoOnAin3 = false;
    sim.feed.setShowFahrenheit(true);
    sim.session.layoutChanged(false, true);  // as the register-written handler asks
    checkPages(QStringLiteral("external"));
    QVERIFY(sim.failures.empty());
    QVERIFY(sim.notifier.messages.empty());
}

// A limit written elsewhere reaches the gauge: letting go of the other marker
// writes the chip's byte back, not the one the window read at its load.
void LimitsWindowTest::limitWrittenElsewhereSurvivesTheOtherMarker() {
    SimSessionRig sim;
    sim.connect();
    auto w = std::make_unique<frmLimits>(sim.feed, sim.notifier);
    sim.feed.post(board::WriteRegister{chip::kInternalHighLimit, 90});  // as the register map does
    LinearGauge* internal = gauge(w.get(), "ggeInternal");
    internal->setSelectedMarker(LinearGauge::LowMarker);
    QTest::keyClick(internal, Qt::Key_PageDown);  // -55 to -65 degrees
    BoardLink& link = sim.session.link;
    QCOMPARE(link.ReadRegister(kAddress, chip::kInternalHighLimit), 90);
    QCOMPARE(link.ReadRegister(kAddress, chip::kInternalLowLimit), 0xBF);
    QVERIFY(sim.failures.empty());
}

QTEST_MAIN(LimitsWindowTest)
#include "tst_limits.moc"
