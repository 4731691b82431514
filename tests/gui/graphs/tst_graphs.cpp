// SPDX-License-Identifier: GPL-3.0-or-later
// The graphs window driven by its control names, on a recording board, a
// manual clock and a fixed start time for the chart stamps.

#include <qcustomplot.h>
#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <array>
#include <cmath>
#include <memory>

#include "device/ChipRegisters.h"
#include "gui/support/SessionRig.h"
#include "gui/support/SimSessionRig.h"
#include "monitor/MasterPoll.h"
#include "widgets/StripChart.h"
#include "windows/graphs/frmGraphing.h"

using namespace quarnel;
using quarnel::test::SessionRig;

namespace {

const char* const kChartNames[kGraphCount] = {"stpTemp", "stpVoltage", "stpDAC", "stpAin"};

struct Rig : SessionRig {
    QDateTime start{QDate(2024, 3, 5), QTime(10, 0, 0)};

    Rig() : SessionRig(0) {
        DeviceState& state = session.device.state;
        state.ChannelMode = ChannelFunction::ExternalTemp;
        state.VarnoOnAin3 = true;
        state.GraphingEnabled = true;
        state.ReferenceVoltage = 2.28f;
        CurrentReadings& r = session.readings;
        r.InternalTemp = -0.25f, r.ExternalTemp = 23.25f, r.VarnoTemp = 24.5f, r.Vdd = 3.3f;
        r.Ain1 = .012f, r.Ain2 = 1.5f, r.Ain3 = .745f, r.Ain4 = 1.234f;
        r.Ain5 = .5f, r.Ain6 = 0.0f, r.Ain7 = 1.25f, r.Ain8 = 2.0f;
        r.Taken = 0xFFF;  // every reading taken
    }

    // The board as connected with the state the test gave, then the window:
    // parentless and shown; the caller owns it (it deletes itself on close).
    frmGraphing* open() {
        feed.deliver(board::Connected{session.device.state, session.link.DeviceAddress});
        auto* window = new frmGraphing(feed, notifier, host, {}, nullptr, start);
        window->resize(780, 430);
        window->show();
        return window;
    }

    // A tick's readings after `seconds`: the ones the test gave. The window
    // refreshes once more than 0.1 s has passed since its last refresh.
    void update(double seconds = 0.11) {
        clock.advance(seconds);
        const LoggingState& l = session.logging;
        feed.deliver(board::Readings{session.readings, 0, session.ShowFahrenheit, clock.monotonic(),
                                     clock.timeOfDay(), nullptr, l.LoggingActive, l.LoggedCount});
    }
    // The register-written handler changed the layout to the state the test gave.
    void relayout() { feed.deliver(board::Layout{session.device.state, true, false}); }
};

StripChart* chart(QWidget* w, int index) {
    return w->findChild<StripChart*>(QLatin1String(kChartNames[index]));
}
QRadioButton* option(QWidget* w, int index) {
    return w->findChild<QRadioButton*>(QStringLiteral("optGraph_%1").arg(index));
}
QCheckBox* box(QWidget* w, const char* name) {
    return w->findChild<QCheckBox*>(QLatin1String(name));
}

QStringList legends(QWidget* w, int index) {
    return chart(w, index)->legendTexts();
}

// Which of the four charts are visible, as a string like "0100".
QString shownCharts(QWidget* w) {
    QString shown;
    for (int i = 0; i < kGraphCount; ++i) shown += chart(w, i)->isVisible() ? u'1' : u'0';
    return shown;
}

// Clicks on the box or circle, which is where the button takes clicks.
void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(7, button->height() / 2));
}

void closeAndDelete(QPointer<frmGraphing>& window) {
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class TestGraphs : public QObject {
    Q_OBJECT

  private slots:
    void chartsAsConfiguredAndDacStaysEmpty();
    void legendsInExternalModeAndBothUnits();
    void legendsInAinModeAndLayoutChanges();
    void oneReplotPerUpdateForTheShownChart();
    void freezesWhileGraphingIsOff();
    void reopensOnTheLastChartWithTheSwitches();
    void historyStaysBoundedAndTimeRunsOnPastMidnight();
    void channelsArePlottedFromTheirFirstReading();
    void aNewlyShownChannelStartsWithItsNewFunction();
};

void TestGraphs::chartsAsConfiguredAndDacStaysEmpty() {
    Rig rig;
    std::unique_ptr<frmGraphing> w(rig.open());
    QCOMPARE(w->windowTitle(), QStringLiteral("Graphing"));
    QVERIFY(rig.feed.flags().GraphsWindowOpen);
    QCOMPARE(shownCharts(w.get()), QStringLiteral("1000"));
    QVERIFY(option(w.get(), 0)->isChecked());

    QStringList titles;
    for (int i = 0; i < kGraphCount; ++i) titles << chart(w.get(), i)->chartTitle();
    QCOMPARE(titles, QStringList({"Temperature(°C)", "Vdd (V)", "DAC Outputs (V)", "Ain (V)"}));

    click(option(w.get(), 2));
    QCOMPARE(rig.feed.flags().SelectedGraph, int16_t(2));
    QCOMPARE(shownCharts(w.get()), QStringLiteral("0010"));
    for (int i = 0; i < 5; ++i) rig.update();
    StripChart* dac = chart(w.get(), 2);
    QCOMPARE(legends(w.get(), 2), QStringList({"DAC A", "DAC B", "DAC C", "DAC D"}));
    for (int ch = 1; ch <= 4; ++ch) QCOMPARE(dac->sampleCount(ch), 0);
    // The other charts went on recording underneath.
    QCOMPARE(chart(w.get(), 0)->sampleCount(1), 5);
    QCOMPARE(chart(w.get(), 3)->sampleCount(8), 5);
}

void TestGraphs::legendsInExternalModeAndBothUnits() {
    int announced = 0;  // counted till the end: the window announces its closing too
    Rig rig;
    std::unique_ptr<frmGraphing> w(rig.open());
    rig.update();

    QCOMPARE(chart(w.get(), 0)->chartTitle(), QStringLiteral("Temperature(°C)"));
    QCOMPARE(legends(w.get(), 0),
             QStringList({"Internal=-.25°C", "External=23.25°C", "VARNO=24.5°C"}));
    QCOMPARE(legends(w.get(), 1), QStringList({"Vdd=3.3V"}));
    QCOMPARE(legends(w.get(), 3),
             QStringList({"Ain1 Disabled", "Ain2 Disabled", "Ain3(VARNO)=.745V",
                          "Ain4(Photo-Sensor)=1.234V", "Ain5=.500V", "Ain6=.000V", "Ain7=1.250V",
                          "Ain8=2.000V"}));
    StripChart* ain = chart(w.get(), 3);
    QVERIFY(!ain->channelShown(1) && !ain->channelShown(2) && ain->channelShown(3));
    QVERIFY(chart(w.get(), 0)->channelShown(2));
    // Hidden channels take no samples (they would show once the channel is).
    QCOMPARE(ain->sampleCount(1), 0);

    // The unit switch is announced at once (the limits window re-lays) and reaches the
    // chart at the next update.
    connect(&rig.feed, &BoardFeed::flagsChanged, this, [&announced] { ++announced; });
    click(box(w.get(), "chkFahrenheit"));
    QVERIFY(rig.feed.flags().ShowFahrenheit);
    QVERIFY(rig.session.ShowFahrenheit);  // the board takes the readings in it
    QCOMPARE(announced, 1);
    QCOMPARE(chart(w.get(), 0)->chartTitle(), QStringLiteral("Temperature(°C)"));

    rig.session.readings.InternalTemp = 77.9f;
    rig.session.readings.ExternalTemp = -40.0f;
    rig.session.readings.VarnoTemp = 76.1f;
    rig.update();
    StripChart* temp = chart(w.get(), 0);
    QCOMPARE(temp->chartTitle(), QStringLiteral("Temperature(°F)"));
    QCOMPARE(legends(w.get(), 0),
             QStringList({"Internal=77.9°F", "External=-40°F", "VARNO=76.1°F"}));
    QCOMPARE(temp->yMin(), 0.0);
    QCOMPARE(temp->yMax(), 110.0);
    // The Celsius point already drawn turned Fahrenheit with it: no chart mixes units.
    auto data = temp->plot()->graph(0)->data();
    QCOMPARE(data->size(), 2);
    QCOMPARE(data->constBegin()->value, 31.55);
    QCOMPARE((data->constEnd() - 1)->value, double(77.9f));

    click(box(w.get(), "chkFahrenheit"));
    QVERIFY(!rig.feed.flags().ShowFahrenheit);
    QVERIFY(!rig.session.ShowFahrenheit);
    QCOMPARE(announced, 2);
    rig.update();  // and back, the readings already taken with them
    QCOMPARE(temp->chartTitle(), QStringLiteral("Temperature(°C)"));
    QVERIFY(std::abs(data->constBegin()->value + 0.25) < 1e-9);
    QVERIFY(std::abs((data->constEnd() - 1)->value - 25.5) < 1e-3);
}

void TestGraphs::legendsInAinModeAndLayoutChanges() {
    Rig rig;
    rig.session.device.state.ChannelMode = ChannelFunction::AinInputs;
    rig.session.device.state.VarnoOnAin3 = false;
    rig.session.readings.Ain6 = 2.0f;
    std::unique_ptr<frmGraphing> w(rig.open());
    StripChart* temp = chart(w.get(), 0);
    StripChart* ain = chart(w.get(), 3);

    // Layout at opening, before any reading.
    QCOMPARE(legends(w.get(), 0), QStringList({"Internal", "External Disabled", "VARNO Disabled"}));
    QCOMPARE(ain->channelLabel(3), QStringLiteral("Ain3 Disabled"));
    QVERIFY(!temp->channelShown(2) && !temp->channelShown(3));
    QVERIFY(ain->channelShown(1) && ain->channelShown(2) && !ain->channelShown(3));

    rig.update();
    // Legends left out by the update keep their "Disabled" texts.
    QCOMPARE(legends(w.get(), 0),
             QStringList({"Internal=-.25°C", "External Disabled", "VARNO Disabled"}));
    QCOMPARE(legends(w.get(), 3),
             QStringList({"Ain1=.012V", "Ain2=1.500V", "Ain3 Disabled", "Ain4(Photo-Sensor)=1.234V",
                          "Ain5=.500V", "Ain6=2.000V", "Ain7=1.250V", "Ain8=2.000V"}));

    // Configuration 1 written: the pins now measure the external diode.
    rig.session.device.state.ChannelMode = ChannelFunction::ExternalTemp;
    rig.session.device.state.VarnoOnAin3 = true;
    rig.relayout();
    QCOMPARE(temp->channelLabel(2), QStringLiteral("External"));
    QCOMPARE(temp->channelLabel(3), QStringLiteral("VARNO"));
    QVERIFY(temp->channelShown(2) && temp->channelShown(3));
    QCOMPARE(ain->channelLabel(1), QStringLiteral("Ain1 Disabled"));
    QCOMPARE(ain->channelLabel(3), QStringLiteral("Ain3"));
    QVERIFY(!ain->channelShown(1) && !ain->channelShown(2) && ain->channelShown(3));

    // An undetermined mode leaves the shared channels as they are.
    rig.session.device.state.ChannelMode = ChannelFunction::Undetermined;
    rig.relayout();
    rig.update();
    QCOMPARE(temp->channelLabel(2), QStringLiteral("External"));
    QVERIFY(temp->channelShown(2));
    QCOMPARE(ain->channelLabel(1), QStringLiteral("Ain1 Disabled"));
}

void TestGraphs::oneReplotPerUpdateForTheShownChart() {
    Rig rig;
    std::unique_ptr<frmGraphing> w(rig.open());
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    rig.update();
    QCoreApplication::processEvents();  // replots the setters scheduled

    std::array<int, kGraphCount> replots{};
    for (int i = 0; i < kGraphCount; ++i)
        connect(chart(w.get(), i)->plot(), &QCustomPlot::afterReplot, this,
                [&replots, i] { ++replots[i]; });
    rig.update();
    QCOMPARE(replots, (std::array<int, kGraphCount>{1, 0, 0, 0}));
    QCoreApplication::processEvents();
    QCOMPARE(replots, (std::array<int, kGraphCount>{1, 0, 0, 0}));

    // A chart brought forward shows the newest samples straight away.
    click(option(w.get(), 1));
    QCoreApplication::processEvents();
    StripChart* vdd = chart(w.get(), 1);
    QVERIFY(replots[1] >= 1);
    QCOMPARE(vdd->timeAxisUpper(), w->sampleTime().toMSecsSinceEpoch() / 1000.0);

    // Readings within 0.1 s of the last refresh: none.
    const int shown = replots[1];
    rig.update(0.05);
    QCoreApplication::processEvents();
    QCOMPARE(replots[1], shown);
    QCOMPARE(vdd->sampleCount(1), 2);
}

void TestGraphs::freezesWhileGraphingIsOff() {
    Rig rig;
    LoggingState& logging = rig.session.logging;
    logging.LoggingActive = true;
    logging.LoggedCount = 5;
    std::unique_ptr<frmGraphing> w(rig.open());
    auto* cmdLog = w->findChild<QPushButton*>(QStringLiteral("cmdLog"));
    auto* lblLogged = w->findChild<QLabel*>(QStringLiteral("lblLogged"));
    QCOMPARE(cmdLog->text(), QStringLiteral("Log Data"));
    QCOMPARE(lblLogged->text(), QStringLiteral("0"));
    QVERIFY(box(w.get(), "chkEnableGraph")->isChecked());

    rig.update();
    QCOMPARE(cmdLog->text(), QStringLiteral("Logging..."));
    QCOMPARE(lblLogged->text(), QStringLiteral("5"));

    click(box(w.get(), "chkEnableGraph"));
    QVERIFY(!rig.feed.deviceState().GraphingEnabled);
    QCoreApplication::processEvents();
    int replots = 0;
    connect(chart(w.get(), 0)->plot(), &QCustomPlot::afterReplot, this, [&replots] { ++replots; });
    const QStringList frozen = legends(w.get(), 0);
    logging.LoggedCount = 9;
    logging.LoggingActive = false;
    rig.session.readings.InternalTemp = 30.0f;
    for (int i = 0; i < 3; ++i) rig.update();
    QCOMPARE(chart(w.get(), 0)->sampleCount(1), 1);
    QCOMPARE(chart(w.get(), 3)->sampleCount(5), 1);
    QCOMPARE(legends(w.get(), 0), frozen);
    QCOMPARE(cmdLog->text(), QStringLiteral("Logging..."));
    QCOMPARE(lblLogged->text(), QStringLiteral("5"));
    QCOMPARE(replots, 0);

    // Back on: the count stays at its last text once logging has stopped.
    click(box(w.get(), "chkEnableGraph"));
    QVERIFY(rig.feed.deviceState().GraphingEnabled);
    rig.update();
    QCOMPARE(chart(w.get(), 0)->sampleCount(1), 2);
    QCOMPARE(legends(w.get(), 0).first(), QStringLiteral("Internal=30°C"));
    QCOMPARE(cmdLog->text(), QStringLiteral("Log Data"));
    QCOMPARE(lblLogged->text(), QStringLiteral("5"));

    // The button only opens the logging window.
    click(cmdLog);
    QCOMPARE(rig.host.opened, std::vector<ToolWindow>{ToolWindow::Logging});
    QVERIFY(!logging.LoggingActive);
}

void TestGraphs::reopensOnTheLastChartWithTheSwitches() {
    Rig rig;
    QPointer<frmGraphing> w = rig.open();
    rig.update();
    click(option(w, 3));
    click(box(w, "chkEnableGraph"));
    click(box(w, "chkFahrenheit"));

    w->close();
    QVERIFY(!rig.feed.flags().GraphsWindowOpen);
    // While closed the layout routine does nothing.
    rig.session.device.state.ChannelMode = ChannelFunction::AinInputs;
    rig.relayout();
    QCOMPARE(chart(w, 3)->channelLabel(1), QStringLiteral("Ain1 Disabled"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(w.isNull());

    QCOMPARE(rig.feed.flags().SelectedGraph, int16_t(3));
    QVERIFY(!rig.feed.deviceState().GraphingEnabled);
    QVERIFY(rig.feed.flags().ShowFahrenheit);

    w = rig.open();
    QVERIFY(rig.feed.flags().GraphsWindowOpen);
    QVERIFY(option(w, 3)->isChecked());
    QCOMPARE(shownCharts(w), QStringLiteral("0001"));
    QVERIFY(!box(w, "chkEnableGraph")->isChecked());
    QVERIFY(box(w, "chkFahrenheit")->isChecked());
    // Charts start empty, laid out for the mode in force now.
    QCOMPARE(chart(w, 0)->sampleCount(1), 0);
    QCOMPARE(chart(w, 3)->channelLabel(1), QStringLiteral("Ain1"));
    QCOMPARE(chart(w, 0)->chartTitle(), QStringLiteral("Temperature(°F)"));
    closeAndDelete(w);

    // A value that names no chart opens on the first one.
    rig.feed.setSelectedGraph(7);
    w = rig.open();
    QCOMPARE(shownCharts(w), QStringLiteral("1000"));
    QCOMPARE(rig.feed.flags().SelectedGraph, int16_t(0));
    closeAndDelete(w);
}

void TestGraphs::historyStaysBoundedAndTimeRunsOnPastMidnight() {
    Rig rig;
    rig.start = QDateTime(QDate(2024, 12, 31), QTime(23, 55, 0));
    rig.clock.setTimeOfDay(86100.0);
    std::unique_ptr<frmGraphing> w(rig.open());
    // Fifteen minutes at four updates a second; ten minutes of it are kept.
    const int updates = 15 * 60 * 4;
    for (int i = 0; i < updates; ++i) rig.update(0.25);
    for (int graph : {0, 1, 3}) {
        StripChart* c = chart(w.get(), graph);
        for (int ch = 1; ch <= c->channelCount(); ++ch) {
            if (!c->channelShown(ch)) continue;
            QVERIFY2(c->sampleCount(ch) <= 2401, kChartNames[graph]);
            QVERIFY2(c->sampleCount(ch) >= 2399, kChartNames[graph]);
        }
    }
    // The time of day wrapped, the stamps did not.
    QVERIFY(rig.clock.timeOfDay() < 3600.0);
    QCOMPARE(w->sampleTime(), QDateTime(QDate(2025, 1, 1), QTime(0, 10, 0)));
    auto data = chart(w.get(), 0)->plot()->graph(0)->data();
    for (auto it = data->constBegin() + 1; it != data->constEnd(); ++it)
        QVERIFY((it - 1)->key < it->key);
    QCOMPARE(chart(w.get(), 0)->timeAxisUpper(), w->sampleTime().toMSecsSinceEpoch() / 1000.0);
}

QTEST_MAIN(TestGraphs)
#include "tst_graphs.moc"

void TestGraphs::channelsArePlottedFromTheirFirstReading() {
    Rig rig;
    rig.session.readings.Taken = 1u << kPollInternalTemp;  // the first tick after start-up
    std::unique_ptr<frmGraphing> w(rig.open());
    rig.update();
    for (int graph : {0, 1, 3}) QCOMPARE(chart(w.get(), graph)->sampleCount(graph ? 1 : 2), 0);
    QCOMPARE(chart(w.get(), 0)->sampleCount(1), 1);
}

void TestGraphs::aNewlyShownChannelStartsWithItsNewFunction() {
    quarnel::test::SimSessionRig rig;
    rig.connect();  // Ain1/Ain2 at power-on
    std::unique_ptr<frmGraphing> w(new frmGraphing(rig.feed, rig.notifier, rig.host));
    for (int tick = 1; tick <= 500; ++tick) {
        rig.clock.advance(0.01);
        rig.worker.step();
        // To external temperature, as the register map writes it.
        if (tick == 200) rig.feed.post(board::WriteRegister{chip::kConfig1, 0x0D});
    }
    auto external = chart(w.get(), 0)->plot()->graph(1)->data();
    QVERIFY(external->size() > 10);
    for (auto it = external->constBegin(); it != external->constEnd(); ++it)
        QVERIFY2(std::isnan(it->value) || (it->value > 0 && it->value < 60), "an Ain1 code");
}
