// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration window against a recording board (exact requests) and, for
// the SPI switch-over, the simulated board (bus routing, request trace, SPI lock).

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <vector>

#include "device/ChipRegisters.h"
#include "gui/support/SessionRig.h"
#include "gui/support/SimSessionRig.h"
#include "windows/config/frmOptions.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

constexpr int kAddress = 0x48;

// A session over the recording board, with the chip found at 0x48.
struct Rig : SessionRig {
    Rig() : SessionRig(kAddress) {}
};

void click(QWidget* window, const char* button) {
    control<QPushButton>(window, button)->click();
}

void processDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class ConfigWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void formHasTheDocumentedControls();
    void loadReadsInOrderAndSetsControls_data();
    void loadReadsInOrderAndSetsControls();
    void applyWithoutChangesWritesAllThreeWithBit3();
    void pinSelectionShowsExternalAndIsWrittenCanonical_data();
    void pinSelectionShowsExternalAndIsWrittenCanonical();
    void editsChangeOnlyOwnedBits();
    void applyKeepsChangesOfOtherWindowsAndRunsTheHook();
    void applyKeepsABitTheRegisterMapCleared();
    void partiallyCheckedCountsAsUnchecked();
    void spiSwitchOver();
    void cancelAndCloseBoxWriteNothing();
    void okAppliesAndClosesItsFrame();
};

void ConfigWindowTest::formHasTheDocumentedControls() {
    Rig rig;
    auto* w = new frmOptions(rig.feed, rig.host);
    QCOMPARE(w->windowTitle(), QStringLiteral("Configuration"));
    QCOMPARE(control<QWidget>(w, "Settings")->property("title").toString(),
             QStringLiteral("Settings"));

    const std::vector<std::pair<const char*, const char*>> boxes = {
        {"chkMonitoring", "Monitoring Enabled"}, {"chkPowerDown", "Power Down Enabled"},
        {"chkIntEnable", "Interrupt Enabled"},   {"chkIntPolarity", "Active Low INT Polarity"},
        {"chkAveraging", "Averaging Disabled"},  {"chkSPI", "Enable SPI Interface"},
    };
    for (const auto& [name, caption] : boxes)
        QCOMPARE(control<QCheckBox>(w, name)->text(), QString::fromLatin1(caption));
    QCOMPARE(control<QPushButton>(w, "cmdOK")->text(), QStringLiteral("OK"));
    QCOMPARE(control<QPushButton>(w, "cmdCancel")->text(), QStringLiteral("Cancel"));
    QCOMPARE(control<QPushButton>(w, "cmdApply")->text(), QStringLiteral("&Apply"));

    struct List {
        const char* name;
        const char* label;
        const char* caption;
        QStringList items;
    };
    const std::vector<List> lists = {
        {"cmbTempAin12", "Label4", "Select External Temp/Ain1-2", {"Ain 1-2", "External Temp"}},
        {"cmbADCClock", "Label6", "ADC Clock", {"1.4 kHz", "22.5 kHz"}},
        {"cmbRef", "Label1", "ADC Reference", {"Internal Reference", "Vdd"}},
    };
    for (const List& l : lists) {
        auto* combo = control<QComboBox>(w, l.name);
        auto* label = control<QLabel>(w, l.label);
        QVERIFY(!combo->isEditable());
        QStringList items;
        for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
        QCOMPARE(items, l.items);
        QCOMPARE(label->text(), QString::fromLatin1(l.caption));
        QCOMPARE(label->buddy(), combo);
    }
    delete w;
}

void ConfigWindowTest::loadReadsInOrderAndSetsControls_data() {
    QTest::addColumn<int>("r18");
    QTest::addColumn<int>("r19");
    QTest::addColumn<int>("r1A");
    QTest::addColumn<int>("r7F");
    QTest::addColumn<QList<bool>>("checks");  // Monitoring PowerDown IntEnable Polarity Avg SPI
    QTest::addColumn<QStringList>("lists");   // TempAin12 ADCClock Ref

    QTest::newRow("power-on") << 0x08 << 0x00 << 0x00 << 0x00
                              << QList<bool>{false, false, true, true, false, false}
                              << QStringList{"Ain 1-2", "1.4 kHz", "Internal Reference"};
    QTest::newRow("every owned bit set")
        << 0xFF << 0xFF << 0xFF << 0xFF << QList<bool>{true, true, false, false, true, true}
        << QStringList{"External Temp", "22.5 kHz", "Vdd"};
    QTest::newRow("owned bits clear, others set")
        << 0x18 << 0xDF << 0xEE << 0xFE << QList<bool>{false, false, true, true, false, false}
        << QStringList{"Ain 1-2", "1.4 kHz", "Internal Reference"};
}

void ConfigWindowTest::loadReadsInOrderAndSetsControls() {
    QFETCH(int, r18);
    QFETCH(int, r19);
    QFETCH(int, r1A);
    QFETCH(int, r7F);
    QFETCH(QList<bool>, checks);
    QFETCH(QStringList, lists);

    Rig rig;
    rig.board.registers[0x18] = uint8_t(r18);
    rig.board.registers[0x19] = uint8_t(r19);
    rig.board.registers[0x1A] = uint8_t(r1A);
    rig.board.registers[0x7F] = uint8_t(r7F);
    auto* w = new frmOptions(rig.feed, rig.host);

    // Four serial-bus reads, in order, and nothing else.
    QCOMPARE(rig.board.calls.size(), size_t(4));
    const int expected[] = {0x18, 0x19, 0x1A, 0x7F};
    for (int i = 0; i < 4; ++i) {
        const RecordedCall& c = rig.board.calls[size_t(i)];
        QCOMPARE(c.direction, kDirectionIn);
        QCOMPARE(c.value, 0x100 + kAddress);
        QCOMPARE(c.index, expected[i]);
    }

    const char* boxes[] = {"chkMonitoring",  "chkPowerDown", "chkIntEnable",
                           "chkIntPolarity", "chkAveraging", "chkSPI"};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(control<QCheckBox>(w, boxes[i])->checkState() == Qt::Checked, checks[i]);
    QCOMPARE(control<QComboBox>(w, "cmbTempAin12")->currentText(), lists[0]);
    QCOMPARE(control<QComboBox>(w, "cmbADCClock")->currentText(), lists[1]);
    QCOMPARE(control<QComboBox>(w, "cmbRef")->currentText(), lists[2]);
    QVERIFY(control<QCheckBox>(w, "chkSPI")->isEnabled());
    delete w;
}

void ConfigWindowTest::applyWithoutChangesWritesAllThreeWithBit3() {
    Rig rig;
    rig.board.registers[0x18] = 0x01;  // bit 3 read clear
    rig.board.registers[0x19] = 0x5A;
    rig.board.registers[0x1A] = 0xA5;
    auto* w = new frmOptions(rig.feed, rig.host);
    rig.board.clear();

    click(w, "cmdApply");
    const std::vector<Access> once = {W(0x18, 0x09), W(0x19, 0x5A), W(0x1A, 0xA5)};
    QCOMPARE(rig.writes(), once);
    // Serial bus, at the chip's address, and the register-written hook read 0x18 back.
    for (const RecordedCall& c : rig.board.writesTo(kRequestRegister))
        QCOMPARE(c.value, 0x100 + kAddress);
    QCOMPARE(rig.session.device.state.ChannelMode, ChannelFunction::AinInputs);

    // Unchanged controls: the same bytes again, every time.
    rig.board.clear();
    click(w, "cmdApply");
    QCOMPARE(rig.writes(), once);
    QVERIFY(rig.host.titles.isEmpty());
    QVERIFY(rig.failures.empty());
    delete w;
}

void ConfigWindowTest::pinSelectionShowsExternalAndIsWrittenCanonical_data() {
    QTest::addColumn<int>("r18");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("written");
    QTest::newRow("bits 2..1 = 01") << 0x02 << "External Temp" << 0x0C;
    QTest::newRow("bits 2..1 = 11") << 0x06 << "External Temp" << 0x0C;
    QTest::newRow("bits 2..1 = 10") << 0x04 << "External Temp" << 0x0C;
    QTest::newRow("bits 2..1 = 00") << 0xF9 << "Ain 1-2" << 0xF9;
}

void ConfigWindowTest::pinSelectionShowsExternalAndIsWrittenCanonical() {
    QFETCH(int, r18);
    QFETCH(QString, shown);
    QFETCH(int, written);

    Rig rig;
    rig.board.registers[0x18] = uint8_t(r18);
    auto* w = new frmOptions(rig.feed, rig.host);
    QCOMPARE(control<QComboBox>(w, "cmbTempAin12")->currentText(), shown);
    rig.board.clear();
    click(w, "cmdApply");
    QCOMPARE(rig.writes().at(0), W(0x18, written));
    // Never an invalid selection, so the hook never had to correct one.
    QVERIFY(rig.notifier.messages.empty());
    QCOMPARE(rig.session.device.state.ChannelMode,
             written & 0x04 ? ChannelFunction::ExternalTemp : ChannelFunction::AinInputs);
    delete w;
}

void ConfigWindowTest::editsChangeOnlyOwnedBits() {
    Rig rig;
    // Owned bits clear or "off", every unowned bit set (0x19 bit 7 would reset a real chip,
    // the recording board just stores it).
    rig.board.registers[0x18] = 0x78;  // EN and POL set: both boxes read unchecked
    rig.board.registers[0x19] = 0xDF;
    rig.board.registers[0x1A] = 0xEE;
    auto* w = new frmOptions(rig.feed, rig.host);
    rig.board.clear();

    control<QCheckBox>(w, "chkMonitoring")->setCheckState(Qt::Checked);
    control<QCheckBox>(w, "chkPowerDown")->setCheckState(Qt::Checked);
    control<QCheckBox>(w, "chkIntEnable")->setCheckState(Qt::Checked);
    control<QCheckBox>(w, "chkIntPolarity")->setCheckState(Qt::Checked);
    control<QComboBox>(w, "cmbTempAin12")->setCurrentIndex(1);
    control<QCheckBox>(w, "chkAveraging")->setCheckState(Qt::Checked);
    control<QComboBox>(w, "cmbADCClock")->setCurrentIndex(1);
    control<QComboBox>(w, "cmbRef")->setCurrentIndex(1);
    click(w, "cmdApply");
    QCOMPARE(rig.writes(), (std::vector<Access>{W(0x18, 0x9D), W(0x19, 0xFF), W(0x1A, 0xFF)}));
    QCOMPARE(rig.session.device.state.InterruptPinEnabled, true);
    QCOMPARE(rig.session.device.state.ReferenceVoltage, 3.3f);

    // And back: only the owned bits move again.
    control<QCheckBox>(w, "chkMonitoring")->setCheckState(Qt::Unchecked);
    control<QCheckBox>(w, "chkPowerDown")->setCheckState(Qt::Unchecked);
    control<QCheckBox>(w, "chkIntEnable")->setCheckState(Qt::Unchecked);
    control<QCheckBox>(w, "chkIntPolarity")->setCheckState(Qt::Unchecked);
    control<QComboBox>(w, "cmbTempAin12")->setCurrentIndex(0);
    control<QCheckBox>(w, "chkAveraging")->setCheckState(Qt::Unchecked);
    control<QComboBox>(w, "cmbADCClock")->setCurrentIndex(0);
    control<QComboBox>(w, "cmbRef")->setCurrentIndex(0);
    rig.board.clear();
    click(w, "cmdApply");
    QCOMPARE(rig.writes(), (std::vector<Access>{W(0x18, 0x78), W(0x19, 0xDF), W(0x1A, 0xEE)}));
    QCOMPARE(rig.session.device.state.ReferenceVoltage, 2.28f);
    delete w;
}

void ConfigWindowTest::applyKeepsChangesOfOtherWindowsAndRunsTheHook() {
    Rig rig;
    rig.board.registers[0x18] = 0x09;
    rig.board.registers[0x19] = 0x00;
    rig.board.registers[0x1A] = 0x10;
    auto* w = new frmOptions(rig.feed, rig.host);

    // Another window changes all three while this one stays open: the window follows.
    rig.feed.post(board::WriteRegister{0x18, 0x2D});  // EN off, external channel
    rig.feed.post(board::WriteRegister{0x19, 0x01});
    rig.feed.post(board::WriteRegister{0x1A, 0x00});
    QVERIFY(!control<QCheckBox>(w, "chkIntEnable")->isChecked());
    QCOMPARE(control<QComboBox>(w, "cmbTempAin12")->currentText(), QStringLiteral("External Temp"));
    QCOMPARE(control<QComboBox>(w, "cmbRef")->currentText(), QStringLiteral("Internal Reference"));

    rig.board.clear();
    click(w, "cmdApply");
    QCOMPARE(rig.writes(), (std::vector<Access>{W(0x18, 0x2D), W(0x19, 0x01), W(0x1A, 0x00)}));
    QCOMPARE(rig.board.registers[0x18], uint8_t(0x2D));
    QCOMPARE(rig.board.registers[0x19], uint8_t(0x01));
    QCOMPARE(rig.board.registers[0x1A], uint8_t(0x00));
    // The hook followed each write: shadow and board switches as the board holds them.
    QCOMPARE(rig.session.device.state.ChannelMode, ChannelFunction::ExternalTemp);
    QCOMPARE(rig.session.device.state.InterruptPinEnabled, false);
    QCOMPARE(rig.session.device.state.ReferenceVoltage, 2.28f);
    QCOMPARE(rig.feed.deviceState().ChannelMode, ChannelFunction::ExternalTemp);
    QCOMPARE(rig.board.ports[4] & 0x03, 0x00);  // Ain switches open
    QCOMPARE(rig.board.ports[2] & 0x03, 0x03);  // diode switches closed
    delete w;
}

void ConfigWindowTest::applyKeepsABitTheRegisterMapCleared() {
    SimSessionRig sim;
    sim.connect();
    auto* w = new frmOptions(sim.feed, sim.host);
    const int before = sim.board.peekRegister(chip::kConfig1);
    QVERIFY(before & chip::kConfig1Mon);
    // The register map clears MON; the user then changes only the ADC clock.
    sim.feed.post(board::WriteRegister{chip::kConfig1, before & ~chip::kConfig1Mon});
    control<QComboBox>(w, "cmbADCClock")->setCurrentIndex(1);
    click(w, "cmdApply");
    BoardLink& link = sim.session.link;
    QCOMPARE(int(link.ReadRegister(link.DeviceAddress, chip::kConfig1)),
             before & ~chip::kConfig1Mon);
    QCOMPARE(link.ReadRegister(link.DeviceAddress, chip::kConfig3) & chip::kConfig3FastAdc,
             chip::kConfig3FastAdc);
    QVERIFY(sim.failures.empty());
    delete w;
}

void ConfigWindowTest::partiallyCheckedCountsAsUnchecked() {
    Rig rig;
    rig.board.registers[0x18] = 0x89;  // MON and PD set; EN and POL clear
    rig.board.registers[0x19] = 0x20;
    auto* w = new frmOptions(rig.feed, rig.host);
    rig.board.clear();

    for (const char* name : {"chkMonitoring", "chkPowerDown", "chkIntEnable", "chkIntPolarity",
                             "chkAveraging", "chkSPI"})
        control<QCheckBox>(w, name)->setCheckState(Qt::PartiallyChecked);
    click(w, "cmdApply");
    // As if every box were clear: MON, PD and AVE cleared, EN and POL set.
    QCOMPARE(rig.writes(), (std::vector<Access>{W(0x18, 0x68), W(0x19, 0x00), W(0x1A, 0x00)}));
    // No switch-over: no port write, serial bus kept, title untouched.
    QVERIFY(!rig.session.link.SpiMode);
    QCOMPARE(rig.board.ports[4] & 0x04, 0);
    QVERIFY(rig.board.callsTo(kRequestAuxiliary).empty());
    QVERIFY(rig.host.titles.isEmpty());
    QVERIFY(control<QCheckBox>(w, "chkSPI")->isEnabled());
    delete w;
}

void ConfigWindowTest::spiSwitchOver() {
    SimSessionRig sim;
    QVERIFY(sim.downloadFirmware());

    auto* w = new frmOptions(sim.feed, sim.host);
    auto* spi = control<QCheckBox>(w, "chkSPI");
    QVERIFY(spi->checkState() != Qt::Checked);
    QVERIFY(spi->isEnabled());
    control<QCheckBox>(w, "chkMonitoring")->setCheckState(Qt::Checked);
    spi->setCheckState(Qt::Checked);
    sim.newTraceLines();  // firmware and load

    click(w, "cmdApply");
    QVERIFY(sim.failures.empty());
    QVERIFY(sim.session.link.SpiMode);
    QVERIFY(!spi->isEnabled());
    QCOMPARE(sim.host.titles, QStringList{"MORVANE Evaluation Software - SPI mode"});
    // The three writes went over the serial bus and reached the chip; then the board
    // switched (port 3 bit 2). No chip register is written to select SPI.
    const QStringList applied = sim.newTraceLines();
    const QStringList writes = applied.filter(QRegularExpression("^222 \\S+ \\S+ 0 "));
    QCOMPARE(writes, (QStringList{"222 0x00000148 0x00000918 0 0 -> 0",
                                  "222 0x00000148 0x00000019 0 0 -> 0",
                                  "222 0x00000148 0x0000001A 0 0 -> 0"}));
    QVERIFY(applied.indexOf(writes.last()) <
            applied.lastIndexOf(QRegularExpression("^221 0x00000003 .* 0 0 -> 0$")));
    QVERIFY(applied.last().startsWith("218 "));
    QCOMPARE(sim.board.portImage()[4] & 0x04, 0x04);
    QCOMPARE(sim.board.peekRegister(0x18), uint8_t(0x09));

    // From now on reads carry 0x0200 + register, and the chip answers only over SPI.
    QCOMPARE(sim.session.link.ReadRegister(kAddress, 0x4E), int16_t(0x41));
    QCOMPARE(sim.newTraceLines(), QStringList{"222 0x0000024E 0x0000004E 1 1 -> 0 41"});
    QVERIFY(sim.board.spiLocked());

    // The box stays checked and disabled: each Apply repeats the switch-over, writing over SPI.
    click(w, "cmdApply");
    const QStringList again = sim.newTraceLines();
    QCOMPARE(
        again.filter(QRegularExpression("^222 \\S+ \\S+ 0 ")),
        (QStringList{"222 0x00000248 0x00000918 0 0 -> 0", "222 0x00000248 0x00000019 0 0 -> 0",
                     "222 0x00000248 0x0000001A 0 0 -> 0"}));
    QVERIFY(again.last().startsWith("218 "));
    QCOMPARE(sim.host.titles.size(), qsizetype(2));
    delete w;

    // Opened again in SPI mode: loads over SPI, shows the lock, and cannot be switched back.
    w = new frmOptions(sim.feed, sim.host);
    QVERIFY(sim.newTraceLines().first().startsWith("222 0x00000218 0x00000018 1 1 -> 0 "));
    QCOMPARE(control<QCheckBox>(w, "chkSPI")->checkState(), Qt::Checked);
    QVERIFY(!control<QCheckBox>(w, "chkSPI")->isEnabled());
    QVERIFY(sim.failures.empty());
    delete w;
}

void ConfigWindowTest::cancelAndCloseBoxWriteNothing() {
    Rig rig;
    QPointer<frmOptions> w = new frmOptions(rig.feed, rig.host);
    w->show();
    control<QCheckBox>(w, "chkMonitoring")->setCheckState(Qt::Checked);
    control<QCheckBox>(w, "chkSPI")->setCheckState(Qt::Checked);
    rig.board.clear();
    click(w, "cmdCancel");
    processDeletes();
    QVERIFY(w.isNull());

    w = new frmOptions(rig.feed, rig.host);
    w->show();
    control<QComboBox>(w, "cmbRef")->setCurrentIndex(1);
    rig.board.clear();
    QVERIFY(w->close());  // the close box
    processDeletes();
    QVERIFY(w.isNull());

    QVERIFY(rig.board.calls.empty());
    QVERIFY(!rig.session.link.SpiMode);
    QVERIFY(rig.host.titles.isEmpty());
}

void ConfigWindowTest::okAppliesAndClosesItsFrame() {
    Rig rig;
    QMdiArea area;
    QPointer<frmOptions> w = new frmOptions(rig.feed, rig.host);
    QPointer<QMdiSubWindow> frame = area.addSubWindow(w);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    area.show();
    rig.board.clear();

    click(w, "cmdOK");
    QCOMPARE(rig.writes(), (std::vector<Access>{W(0x18, 0x08), W(0x19, 0x00), W(0x1A, 0x00)}));
    processDeletes();
    QVERIFY(w.isNull());
    QVERIFY(frame.isNull());
    QVERIFY(area.subWindowList().isEmpty());
}

QTEST_MAIN(ConfigWindowTest)
#include "tst_config.moc"
