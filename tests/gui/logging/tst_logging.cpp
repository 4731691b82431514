// SPDX-License-Identifier: GPL-3.0-or-later
// The logging window driven by its control names, on a recording board, a
// manual clock and a file chooser that answers without a dialog.

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <charconv>
#include <cmath>
#include <memory>
#include <random>

#include <sys/stat.h>
#include <regex>
#include <vector>

#include "device/ChipRegisters.h"
#include "gui/app/AppTestSupport.h"
#include "gui/support/SessionRig.h"
#include "monitor/LogFile.h"
#include "monitor/MasterPoll.h"
#include "windows/logging/UpDownArrows.h"
#include "windows/logging/frmSave.h"

using namespace quarnel;
using quarnel::test::SessionRig;

namespace {

const QByteArray kPreamble = "\r\nQUARNEL Log File\r\n\r\n";

struct ChooserCall {
    QString caption;
    QString startDir;
    QString filter;
};

// One session, its fakes and a temp folder per test.
struct Rig : SessionRig {
    QTemporaryDir dir;
    std::optional<QString> answer;  // what the file chooser returns
    std::vector<ChooserCall> chooserCalls;

    Rig() : SessionRig(0x48, 1000.0) {
        DeviceState& state = session.device.state;
        state.ReferenceVoltage = 2.28f;
        state.LogIntervalMs = 250;
        state.VarnoOnAin3 = true;
        state.ChannelMode = ChannelFunction::AinInputs;
        answer = dir.filePath(QStringLiteral("run.csv"));
    }

    FileChooser chooser() {
        return [this](QWidget*, const QString& caption, const QString& startDir,
                      const QString& filter) -> std::optional<QString> {
            chooserCalls.push_back({caption, startDir, filter});
            return answer;
        };
    }

    // The board as connected with the state the test gave, then the window.
    std::unique_ptr<frmSave> open() {
        feed.deliver(board::Connected{session.device.state, session.link.DeviceAddress});
        auto window = std::make_unique<frmSave>(feed, notifier, host, chooser(), appDir);
        window->show();
        return window;
    }

    // An earlier log's channels, as the board said when it stopped.
    void earlierLog() {
        feed.deliver(
            board::LoggingChanged{session.logging, session.device.state.LogIntervalMs, {}, 0, 0});
    }

    // Time passes by more than the interval, then a tick. It reads only the
    // status registers, so the readings the test gave stay.
    void tick() {
        clock.advance(session.device.state.LogIntervalMs / 1000.0 + 0.01);
        worker.poll().PollState = kPollStatus;
        worker.step();
    }

    QByteArray log() const {
        QFile file(*answer);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

QCheckBox* box(QWidget* w, int i) {
    return w->findChild<QCheckBox*>(QStringLiteral("chkLog_%1").arg(i));
}
QLabel* label(QWidget* w, const char* name) {
    return w->findChild<QLabel*>(name);
}
QPushButton* button(QWidget* w, const char* name) {
    return w->findChild<QPushButton*>(name);
}
QLineEdit* intervalBox(QWidget* w) {
    return w->findChild<QLineEdit*>("txtLogInt");
}
UpDownArrows* arrows(QWidget* w) {
    return w->findChild<UpDownArrows*>("UpDown1");
}
QString caption(QWidget* w) {
    return button(w, "cmdLog")->text();
}

void setBoxes(QWidget* w, std::initializer_list<int> checked) {
    for (int i = 0; i < kLogChannelCount; ++i) box(w, i)->setChecked(false);
    for (int i : checked) box(w, i)->setChecked(true);
}

QPoint centreIn(QWidget* w, QWidget* top) {
    return w->mapTo(top, w->rect().center());
}

// Independent reading of the interval rule: regex for "numeric", from_chars
// for the value, the FPU's round-to-nearest-even for the rounding.
std::optional<int32_t> expectedInterval(const QString& text) {
    static const std::regex numeric(R"(^ *[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)? *$)");
    const std::string s = text.toStdString();
    std::smatch m;
    if (!std::regex_match(s, m, numeric)) return std::nullopt;
    std::string body = s.substr(s.find_first_not_of(' '));
    body = body.substr(0, body.find_last_not_of(' ') + 1);
    const bool negative = body[0] == '-';
    if (body[0] == '+' || body[0] == '-') body.erase(0, 1);
    double value = 0.0;
    const auto res = std::from_chars(body.data(), body.data() + body.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // Under- or overflow of a double: the exponent's sign tells which.
        if (m[2].length() > 1 && m[2].str()[1] == '-') return 0;
        return std::nullopt;
    }
    const double rounded = std::nearbyint(negative ? -value : value);
    if (rounded < -2147483648.0 || rounded > 2147483647.0) return std::nullopt;
    return static_cast<int32_t>(rounded);
}

}  // namespace

class TestLogging : public QObject {
    Q_OBJECT
  private slots:
    void opening_showsLoggingStateAndConditions_data();
    void opening_showsLoggingStateAndConditions();
    void layout_columnsLabelsAndBuddies();
    void noBoxChecked_saysSoUntilANameTicksOne();
    void disabledBox_isUncheckedAtOpeningAndNotLogged();
    void pinsSwitchedToTheDiode_leaveAin1OutOfTheLog();
    void boxes_areReadOnlyAtStart();
    void secondStart_appendsNewPreambleAndHeader();
    void cancel_isSilent();
    void chooser_startsAtHomeWhenProgramFolderIsNotWritable();
    void unwritablePath_showsMessageAndStaysOff();
    void failedWrite_showsStoppedState();
    void captions_throughStartStopAndReopen();
    void interval_rule_data();
    void interval_rule();
    void interval_everyEditAndRunningLog();
    void upDown_stepsTheBoxByTen();
    void randomText_neverCrashesAndFollowsTheRule();
};

void TestLogging::opening_showsLoggingStateAndConditions_data() {
    QTest::addColumn<int>("channelMode");
    QTest::addColumn<bool>("varnoOnAin3");
    QTest::addColumn<QList<int>>("disabled");
    QTest::newRow("Ain1/Ain2") << 2 << true << QList<int>{1};
    QTest::newRow("external") << 1 << true << QList<int>{3, 4};
    QTest::newRow("undetermined") << 0 << true << QList<int>{1, 3, 4};
    QTest::newRow("no VARNO") << 2 << false << QList<int>{1, 5, 7};
}

void TestLogging::opening_showsLoggingStateAndConditions() {
    QFETCH(int, channelMode);
    QFETCH(bool, varnoOnAin3);
    QFETCH(QList<int>, disabled);
    Rig rig;
    rig.session.device.state.ChannelMode = static_cast<ChannelFunction>(channelMode);
    rig.session.device.state.VarnoOnAin3 = varnoOnAin3;
    rig.session.logging.LogChannelSelected.fill(true);
    rig.session.logging.LogChannelSelected[6] = false;
    rig.earlierLog();
    rig.feed.setLogIntervalMs(1250);

    auto w = rig.open();
    QCOMPARE(w->windowTitle(), QStringLiteral("Logging/Save/Recall"));
    QCOMPARE(w->findChild<QGroupBox*>("Frame1")->title(), QStringLiteral("Data  Logging"));
    QCOMPARE(caption(w.get()), QStringLiteral("Start Logging"));
    QCOMPARE(button(w.get(), "cmdClose")->text(), QStringLiteral("Close"));
    QCOMPARE(intervalBox(w.get())->text(), QStringLiteral("1250"));
    QCOMPARE(rig.session.device.state.LogIntervalMs, 1250);
    for (int i = 0; i < kLogChannelCount; ++i) {
        const bool enabled = !disabled.contains(i);
        QVERIFY2(box(w.get(), i)->isEnabled() == enabled, qPrintable(QString::number(i)));
        // Checked only where the flag is set and the condition holds.
        QCOMPARE(box(w.get(), i)->isChecked(), enabled && i != 6);
    }
}

void TestLogging::layout_columnsLabelsAndBuddies() {
    Rig rig;
    auto w = rig.open();
    const char* texts[] = {"Internal Temp", "External Temp", "Vdd",  "Ain1", "Ain2", "Ain3",
                           "Ain4",          "VARNO",         "Ain5", "Ain6", "Ain7", "Ain8"};
    const int columns[3][4] = {{0, 1, 7, 2}, {3, 4, 5, 6}, {8, 9, 10, 11}};
    int previousColumnX = -1;
    for (const auto& column : columns) {
        const int x = centreIn(box(w.get(), column[0]), w.get()).x();
        QVERIFY(x > previousColumnX);
        previousColumnX = x;
        int previousY = -1;
        for (int i : column) {
            QCheckBox* b = box(w.get(), i);
            QLabel* l = w->findChild<QLabel*>(QStringLiteral("Label1_%1").arg(i));
            QCOMPARE(l->text(), QString::fromLatin1(texts[i]));
            QCOMPARE(l->buddy(), b);
            QCOMPARE(b->accessibleName(), l->text());
            const QPoint boxAt = centreIn(b, w.get());
            const QPoint labelAt = centreIn(l, w.get());
            QCOMPARE(boxAt.x(), x);
            QVERIFY(boxAt.y() > previousY);
            previousY = boxAt.y();
            QVERIFY(labelAt.x() < boxAt.x());  // label to the left, same row
            QVERIFY(std::abs(labelAt.y() - boxAt.y()) <= 2);
            QVERIFY(l->width() >= l->sizeHint().width());  // not clipped
        }
    }
    QLabel* intervalLabel = label(w.get(), "Label2");
    QCOMPARE(intervalLabel->text(), QStringLiteral("Log Interval (ms)"));
    QCOMPARE(intervalLabel->buddy(), intervalBox(w.get()));
    // The arrows sit right beside the box, below its label.
    QLineEdit* text = intervalBox(w.get());
    QVERIFY(intervalLabel->mapTo(w.get(), QPoint()).y() < text->mapTo(w.get(), QPoint()).y());
    QCOMPARE(arrows(w.get())->mapTo(w.get(), QPoint()).x(),
             text->mapTo(w.get(), QPoint(text->width(), 0)).x());
    // The widest caption fits the button.
    QPushButton* log = button(w.get(), "cmdLog");
    QVERIFY(log->width() >= log->fontMetrics().horizontalAdvance("Stop Logging...") + 8);
}

void TestLogging::noBoxChecked_saysSoUntilANameTicksOne() {
    Rig rig;
    auto w = rig.open();
    setBoxes(w.get(), {});
    QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    QVERIFY(rig.chooserCalls.empty() && !rig.session.logging.LoggingActive);
    QCOMPARE(rig.notifier.messages.at(0).text, std::string(kNoChannelChosen));

    // A click on a channel's name ticks its box; the dialog starts in the
    // program's folder, then where the last log went.
    QTest::mouseClick(label(w.get(), "Label1_3"), Qt::LeftButton);
    for (int i = 0; i < 4; ++i) QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    QCOMPARE(rig.chooserCalls.at(0).filter, QStringLiteral("Log Files (*.csv)"));
    QCOMPARE(rig.chooserCalls.at(0).startDir, rig.appDir);
    QCOMPARE(rig.chooserCalls.at(1).startDir, rig.dir.path());
    QVERIFY(box(w.get(), 3)->isChecked() && rig.notifier.messages.size() == 1);
}

void TestLogging::disabledBox_isUncheckedAtOpeningAndNotLogged() {
    Rig rig;
    rig.session.device.state.ChannelMode =
        ChannelFunction::ExternalTemp;  // external: Ain1 and Ain2 off
    rig.session.logging.LogChannelSelected[3] = true;
    rig.session.logging.LogChannelSelected[4] = true;
    rig.session.logging.LogChannelSelected[1] = true;
    rig.earlierLog();
    rig.session.readings.ExternalTemp = -5.5f;
    rig.session.readings.Ain1 = 0.012f;

    auto w = rig.open();
    QVERIFY(!box(w.get(), 3)->isChecked());
    QVERIFY(!box(w.get(), 3)->isEnabled());
    QTest::mouseClick(box(w.get(), 3), Qt::LeftButton);  // a disabled box cannot be ticked
    QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    rig.tick();

    const std::array<bool, kLogChannelCount> selected{false, true};
    QCOMPARE(rig.session.logging.LogChannelSelected, selected);
    QCOMPARE(rig.log(), kPreamble +
                            "Time(s) ,External(\xB0"
                            "C) ,\r\n0,-5.5,\r\n");
}

void TestLogging::pinsSwitchedToTheDiode_leaveAin1OutOfTheLog() {
    Rig rig;
    auto w = rig.open();  // Ain1/Ain2
    setBoxes(w.get(), {0, 3});
    rig.feed.post(board::WriteRegister{chip::kConfig1, 0x0C});  // the external diode
    QVERIFY(!box(w.get(), 3)->isChecked());
    QVERIFY(!box(w.get(), 3)->isEnabled());
    QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    QVERIFY(rig.session.logging.LoggingActive);
    QCOMPARE(rig.log(), kPreamble +
                            "Time(s) ,Internal(\xB0"
                            "C) ,\r\n");
}

void TestLogging::boxes_areReadOnlyAtStart() {
    Rig rig;
    rig.session.readings.InternalTemp = 23.25f;
    rig.session.readings.Vdd = 3.299f;
    rig.session.readings.Ain4 = 1.5f;
    auto w = rig.open();
    setBoxes(w.get(), {0, 2});
    QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    rig.tick();

    // Changing the boxes while logging leaves the running log alone.
    QTest::mouseClick(box(w.get(), 0), Qt::LeftButton);
    QTest::mouseClick(box(w.get(), 6), Qt::LeftButton);
    QVERIFY(box(w.get(), 6)->isChecked());
    rig.tick();

    // Reopening shows the running log's boxes again.
    w.reset();
    w = rig.open();
    QCOMPARE(caption(w.get()), QStringLiteral("Stop Logging..."));
    for (int i = 0; i < kLogChannelCount; ++i)
        QCOMPARE(box(w.get(), i)->isChecked(), i == 0 || i == 2);
    rig.tick();
    QCOMPARE(rig.log(), kPreamble +
                            "Time(s) ,Internal(\xB0"
                            "C) ,Vdd(V) ,\r\n"
                            "0, 23.25, 3.299,\r\n.25, 23.25, 3.299,\r\n.5, 23.25, 3.299,\r\n");
}

void TestLogging::secondStart_appendsNewPreambleAndHeader() {
    Rig rig;
    rig.session.readings.Ain8 = 0.5f;
    auto w = rig.open();
    setBoxes(w.get(), {11});
    QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    rig.tick();
    rig.tick();
    QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    QVERIFY(!rig.session.logging.LoggingActive);
    QCOMPARE(rig.host.statusTexts.last(), QStringLiteral("Status"));
    rig.tick();  // nothing written while stopped

    // Fahrenheit now: the new header says so; the old lines stay as they were.
    rig.feed.setShowFahrenheit(true);
    setBoxes(w.get(), {0, 11});
    rig.session.readings.InternalTemp = 74.3f;
    QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    QCOMPARE(rig.chooserCalls.size(), size_t(2));
    rig.tick();
    QCOMPARE(rig.log(), kPreamble + "Time(s) ,Ain8(V) ,\r\n0, .5,\r\n.25, .5,\r\n" + kPreamble +
                            "Time(s) ,Internal(\xB0"
                            "F) ,Ain8(V) ,\r\n0, 74.3, .5,\r\n");
}

void TestLogging::cancel_isSilent() {
    Rig rig;
    auto w = rig.open();
    setBoxes(w.get(), {0});
    rig.session.logging.LogFilePath = "/earlier/run.csv";
    for (const std::optional<QString>& answer :
         {std::optional<QString>(), std::optional<QString>(QString())}) {
        rig.answer = answer;
        QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
        QVERIFY(!rig.session.logging.LoggingActive);
        // Nothing reaches the board: the stopped log's path is left as it was.
        QCOMPARE(rig.session.logging.LogFilePath, std::string("/earlier/run.csv"));
        QCOMPARE(caption(w.get()), QStringLiteral("Start Logging"));
    }
    QCOMPARE(rig.chooserCalls.size(), size_t(2));
    QVERIFY(rig.notifier.messages.empty());
    QVERIFY(QDir(rig.dir.path()).isEmpty());
}

void TestLogging::chooser_startsAtHomeWhenProgramFolderIsNotWritable() {
    Rig rig;
    // Stands for an installed program's read-only folder, also when the tests run as root.
    rig.appDir = rig.dir.filePath(QStringLiteral("missing"));
    rig.answer.reset();
    auto w = rig.open();
    setBoxes(w.get(), {0});
    QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    QCOMPARE(rig.chooserCalls.at(0).startDir, QDir::homePath());
}

void TestLogging::unwritablePath_showsMessageAndStaysOff() {
    Rig rig;
    auto w = rig.open();
    // A FIFO with no reader yet is refused at once, not waited on.
    QVERIFY(::mkfifo(QFile::encodeName(rig.dir.filePath("fifo")).constData(), 0600) == 0);
    const QString paths[] = {rig.dir.filePath("missing/run.csv"), rig.dir.path(),
                             rig.dir.filePath("fifo")};
    setBoxes(w.get(), {0});
    for (const QString& path : paths) {
        rig.notifier.messages.clear();
        rig.answer = path;
        QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
        QVERIFY(!rig.session.logging.LoggingActive);
        QCOMPARE(caption(w.get()), QStringLiteral("Start Logging"));
        QCOMPARE(rig.notifier.messages.size(), size_t(1));
        QCOMPARE(rig.notifier.messages[0].icon, Notifier::Icon::Error);
        const QString text = QString::fromStdString(rig.notifier.messages[0].text);
        QVERIFY2(text.contains(path) && text.contains("not started"), qPrintable(text));
    }
    QVERIFY(!QFile::exists(rig.dir.filePath("missing")));
    rig.tick();
    QVERIFY(rig.notifier.messages.size() == 1);  // no step writes anything either
}

void TestLogging::failedWrite_showsStoppedState() {
    Rig rig;
    const QString folder = rig.dir.filePath("logs");
    QVERIFY(QDir().mkpath(folder));
    rig.answer = folder + "/run.csv";
    auto w = rig.open();
    setBoxes(w.get(), {0});
    QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    rig.tick();
    QVERIFY(QDir(folder).removeRecursively());
    rig.tick();

    QVERIFY(!rig.session.logging.LoggingActive);
    QCOMPARE(caption(w.get()), QStringLiteral("Log Data"));
    QCOMPARE(rig.notifier.messages.size(), size_t(1));
    // Starting again works from the stopped state.
    rig.answer = rig.dir.filePath("again.csv");
    QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    QVERIFY(rig.session.logging.LoggingActive);
    QCOMPARE(caption(w.get()), QStringLiteral("Stop Logging..."));
}

void TestLogging::captions_throughStartStopAndReopen() {
    Rig rig;
    QPointer<frmSave> w = rig.open().release();
    setBoxes(w, {0});
    QCOMPARE(caption(w), QStringLiteral("Start Logging"));
    QTest::mouseClick(button(w, "cmdLog"), Qt::LeftButton);
    QCOMPARE(caption(w), QStringLiteral("Stop Logging..."));

    // Closing does not stop logging; the window goes away.
    QTest::mouseClick(button(w, "cmdClose"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(w.isNull());
    QVERIFY(rig.session.logging.LoggingActive);

    w = rig.open().release();
    QCOMPARE(caption(w), QStringLiteral("Stop Logging..."));
    QTest::mouseClick(button(w, "cmdLog"), Qt::LeftButton);
    QCOMPARE(caption(w), QStringLiteral("Log Data"));
    QVERIFY(!rig.session.logging.LoggingActive);
    QTest::mouseClick(button(w, "cmdLog"), Qt::LeftButton);
    QCOMPARE(caption(w), QStringLiteral("Stop Logging..."));
    QTest::mouseClick(button(w, "cmdLog"), Qt::LeftButton);
    delete w.data();

    w = rig.open().release();
    QCOMPARE(caption(w), QStringLiteral("Start Logging"));
    delete w.data();
}

void TestLogging::interval_rule_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");  // -1: the previous interval (100) stays
    const int keep = -1;
    QTest::newRow("integer") << "500" << 500;
    QTest::newRow("blanks around") << "  42 " << 42;
    QTest::newRow("half to even down") << "12.5" << 12;
    QTest::newRow("half to even up") << "13.5" << 14;
    QTest::newRow("negative half") << "-2.5" << -2;
    QTest::newRow("plus sign") << "+7" << 7;
    QTest::newRow("exponent") << "2.5e2" << 250;
    QTest::newRow("capital exponent, signed") << "1E+3" << 1000;
    QTest::newRow("fraction only") << ".5" << 0;
    QTest::newRow("point at end") << "5." << 5;
    QTest::newRow("largest") << "2147483647" << 2147483647;
    QTest::newRow("smallest") << "-2147483648" << int(-2147483648LL);
    QTest::newRow("just beyond") << "2147483648" << keep;
    QTest::newRow("rounds beyond") << "2147483647.5" << keep;
    QTest::newRow("beyond a double") << "1e999" << keep;
    QTest::newRow("below a double") << "1e-999" << 0;
    QTest::newRow("letters") << "abc" << keep;
    QTest::newRow("empty") << "" << keep;
    QTest::newRow("decimal comma") << "1,5" << keep;
    QTest::newRow("hexadecimal") << "0x10" << keep;
    QTest::newRow("exponent without digits") << "1e" << keep;
    QTest::newRow("infinity") << "inf" << keep;
    QTest::newRow("blank inside") << "1 2" << keep;
    QTest::newRow("other digits") << QString::fromUtf8("\u0661\u0662") << keep;
    QTest::newRow("no-break space") << QString::fromUtf8(
                                           "\u00A0"
                                           "5")
                                    << keep;
}

void TestLogging::interval_rule() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    Rig rig;
    auto w = rig.open();
    intervalBox(w.get())->setText("100");
    QCOMPARE(rig.session.device.state.LogIntervalMs, 100);
    intervalBox(w.get())->setText(text);
    QCOMPARE(rig.session.device.state.LogIntervalMs, expected == -1 ? 100 : expected);
    QCOMPARE(intervalBox(w.get())->text(), text);  // stays as typed
}

void TestLogging::interval_everyEditAndRunningLog() {
    Rig rig;
    auto w = rig.open();
    QLineEdit* text = intervalBox(w.get());
    text->selectAll();
    QTest::keyClicks(text, "1");
    QCOMPARE(rig.session.device.state.LogIntervalMs, 1);
    QTest::keyClicks(text, "a");
    QCOMPARE(text->text(), QStringLiteral("1a"));
    QCOMPARE(rig.session.device.state.LogIntervalMs, 1);
    QTest::keyClick(text, Qt::Key_Backspace);
    QTest::keyClicks(text, "000");
    QCOMPARE(rig.session.device.state.LogIntervalMs, 1000);

    // A running log takes a new interval at once: time = interval x count.
    setBoxes(w.get(), {0});
    QTest::mouseClick(button(w.get(), "cmdLog"), Qt::LeftButton);
    rig.tick();
    rig.tick();
    text->setText("300");
    rig.tick();
    QStringList times;
    for (const QByteArray& line : rig.log().split('\n').mid(4, 3)) times << line.split(',')[0];
    QCOMPARE(times, QStringList({"0", "1", ".6"}));
}

void TestLogging::upDown_stepsTheBoxByTen() {
    Rig rig;
    auto w = rig.open();
    QLineEdit* text = intervalBox(w.get());
    UpDownArrows* updown = arrows(w.get());
    QVERIFY(updown->isVisible());

    QTest::keyClick(updown, Qt::Key_Up);
    QCOMPARE(text->text(), QStringLiteral("260"));
    QCOMPARE(rig.session.device.state.LogIntervalMs, 260);
    QTest::keyClick(updown, Qt::Key_Down);
    QTest::keyClick(updown, Qt::Key_Down);
    QCOMPARE(text->text(), QStringLiteral("240"));

    // The mouse on the arrows: upper half up, lower half down.
    QTest::mouseClick(updown, Qt::LeftButton, {}, QPoint(updown->width() / 2, 3));
    QCOMPARE(text->text(), QStringLiteral("250"));
    QTest::mouseClick(updown, Qt::LeftButton, {},
                      QPoint(updown->width() / 2, updown->height() - 4));
    QCOMPARE(text->text(), QStringLiteral("240"));

    // Bounds 0 and 3,600,000.
    text->setText("5");
    updown->stepBy(-1);
    QCOMPARE(text->text(), QStringLiteral("0"));
    QTest::keyClick(updown, Qt::Key_Down);
    QCOMPARE(text->text(), QStringLiteral("0"));
    text->setText("3599995");
    QTest::keyClick(updown, Qt::Key_Up);
    QCOMPARE(text->text(), QStringLiteral("3600000"));
    QTest::keyClick(updown, Qt::Key_Up);
    QCOMPARE(text->text(), QStringLiteral("3600000"));
    QCOMPARE(rig.session.device.state.LogIntervalMs, 3600000);

    // A fraction steps as shown; a text that is no number steps from the interval.
    text->setText("12.5");
    QTest::keyClick(updown, Qt::Key_Up);
    QCOMPARE(text->text(), QStringLiteral("22.5"));
    QCOMPARE(rig.session.device.state.LogIntervalMs, 22);
    text->setText("soon");
    QTest::keyClick(updown, Qt::Key_Up);
    QCOMPARE(text->text(), QStringLiteral("32"));
}

void TestLogging::randomText_neverCrashesAndFollowsTheRule() {
    Rig rig;
    auto w = rig.open();
    QLineEdit* text = intervalBox(w.get());
    UpDownArrows* updown = arrows(w.get());
    std::mt19937 random(20240611);
    const QString alphabet = QString::fromUtf8(
        "0123456789012345678901234567890123456789"
        "++--..eeE   ,xabfin\t\u00A0\u00E9\u0661\U0001D7D9");
    std::uniform_int_distribution<int> length(0, 14);
    std::uniform_int_distribution<int> pick(0, int(alphabet.size()) - 1);
    std::uniform_int_distribution<int> action(0, 19);

    for (int n = 0; n < 5000; ++n) {
        QString typed;
        for (int k = length(random); k > 0; --k) typed += alphabet.at(pick(random));
        const int32_t before = rig.session.device.state.LogIntervalMs;
        const int what = action(random);
        if (what == 0) {
            // Through the keyboard, one edit at a time (key clicks take printable ASCII).
            typed.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() > 0x7E; });
            text->clear();
            QTest::keyClicks(text, typed);
            typed = text->text();
        } else {
            text->setText(typed);
            QCOMPARE(text->text(), typed);
        }
        const std::optional<int32_t> expected = expectedInterval(typed);
        if (what == 0 && !expected) continue;  // earlier keystrokes may have set a value
        QVERIFY2(rig.session.device.state.LogIntervalMs == expected.value_or(before),
                 qPrintable(typed));
        if (what == 1) {
            // A step lands inside 0 to 3,600,000; an arrow pointing out of it does nothing.
            QTest::keyClick(updown, (n & 1) ? Qt::Key_Up : Qt::Key_Down);
            if (text->text() != typed) {
                const std::optional<int32_t> stepped = expectedInterval(text->text());
                QVERIFY2(stepped && *stepped >= 0 && *stepped <= 3600000, qPrintable(typed));
            }
        }
    }
}

QUARNEL_APP_TEST_MAIN(TestLogging)
#include "tst_logging.moc"
