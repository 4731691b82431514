// SPDX-License-Identifier: GPL-3.0-or-later
// Random text typed into every text box of every window of the running
// program, with Enter pressed now and then and the board worker ticking in
// between: nothing crashes, the program keeps running, and every register
// write that reaches the board carries a register and a data byte of 00h to
// FFh (the index fits in 16 bits).

#include <QLineEdit>
#include <QTest>
#include <map>
#include <random>
#include <set>

#include "gui/app/AppTestSupport.h"
#include "gui/reliability/ReliabilitySupport.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

constexpr int kStringsPerBox = 3000;
constexpr unsigned kSeed = 20240611;

// Texts that sit on the boundaries the boxes care about.
const char* const kTokens[] = {"0",
                               "FF",
                               "ff",
                               "FFh",
                               "100",
                               "255",
                               "256",
                               "-1",
                               "-0",
                               "0.5",
                               "255.5",
                               "1e2",
                               "1e308",
                               "1e309",
                               "-1e309",
                               "1d3",
                               "inf",
                               "nan",
                               "0x1F",
                               "7fh",
                               "65535",
                               "65536",
                               "2147483647",
                               "2147483648",
                               "4294967295",
                               "4294967296",
                               "18446744073709551616",
                               "9999999999999999999999",
                               "1,5",
                               "1 0",
                               " 12 ",
                               "+7",
                               "--1",
                               "1e",
                               ".",
                               "e5"};

// Characters typed one by one: digits and hex letters most often, then
// signs, separators and a few characters from further afield.
const QString kCommon = QStringLiteral("0123456789abcdefABCDEF");
const QString kOdd = QStringLiteral("hHxX+-.,eEdD \t%$#_/\\\"'") + QChar(0x00E9) + QChar(0x00BD) +
                     QChar(0x0663) + QChar(0xFF11) + QChar(0x221E) + QChar(0x00A0) + QChar(0x00B0);

class TextSource {
  public:
    explicit TextSource(unsigned seed) : random_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    bool chance(int percent) { return below(100) < percent; }

    QString next() {
        if (chance(15)) return QString::fromLatin1(kTokens[below(std::size(kTokens))]);
        if (chance(3)) return QString(below(300) + 20, QChar(u'0' + below(10)));  // very long
        QString text;
        // Mostly short, so many addresses stay within FFh and writes happen.
        const int length = std::geometric_distribution<int>(0.3)(random_);
        for (int i = 0; i < length; ++i)
            text += chance(80) ? kCommon[below(kCommon.size())] : kOdd[below(kOdd.size())];
        return text;
    }

  private:
    std::mt19937 random_;
};

// Types the text key by key; characters beyond ASCII arrive as a key event
// carrying the text, as an input method would send them.
void type(QLineEdit* box, const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(box, static_cast<char>(c.unicode()));
        } else {
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

}  // namespace

class RandomTextTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { clearSettings(); }

    void everyTextBoxOfEveryWindow() {
        std::optional<QString> answer;  // the log dialog is cancelled
        HarnessOptions options;
        options.createWindow = realWindowsAnswering(answer);
        AppHarness h(options);
        QVERIFY(h.app->StartApplication());
        frmMain& main = h.main();
        const ToolWindow all[] = {ToolWindow::Logging, ToolWindow::Config, ToolWindow::Graphs,
                                  ToolWindow::RegMap,  ToolWindow::Limits, ToolWindow::Help,
                                  ToolWindow::About};
        std::vector<QPointer<QLineEdit>> boxes;
        std::set<QString> names;
        for (ToolWindow which : all) {
            main.openWindow(which);
            QWidget* form = openForm(main, which);
            QVERIFY(form);
            for (QLineEdit* box : form->findChildren<QLineEdit*>()) {
                if (box->isReadOnly() || !box->isEnabled()) continue;
                boxes.emplace_back(box);
                names.insert(box->objectName());
            }
        }
        for (const char* name : {"txtReadAddr", "txtHex", "txtDec", "txtLogInt"})
            QVERIFY2(names.count(QLatin1String(name)), name);
        // Enter writes in these; in the others it does nothing.
        const std::set<QString> entering{QStringLiteral("txtHex"), QStringLiteral("txtDec")};

        TextSource source(kSeed);
        std::map<QString, int> typed;
        int enters = 0;
        const int rounds = kStringsPerBox * static_cast<int>(boxes.size());
        for (int round = 0; round < rounds; ++round) {
            QLineEdit* box = boxes[static_cast<size_t>(round) % boxes.size()];
            QVERIFY2(box, "a text box went away");
            switch (source.below(4)) {
                case 0:  // select everything and type over it
                    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
                    break;
                case 1:
                    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
                    QTest::keyClick(box, Qt::Key_Backspace);
                    break;
                case 2:  // edit somewhere inside
                    QTest::keyClick(box, source.chance(50) ? Qt::Key_Home : Qt::Key_Left);
                    if (source.chance(50)) QTest::keyClick(box, Qt::Key_Delete);
                    break;
                default:  // append
                    QTest::keyClick(box, Qt::Key_End);
                    break;
            }
            type(box, source.next());
            ++typed[box->objectName()];
            if (source.chance(40)) {
                const bool keypad = source.chance(50);
                QTest::keyClick(box, keypad ? Qt::Key_Enter : Qt::Key_Return,
                                keypad ? Qt::KeypadModifier : Qt::NoModifier);
                if (entering.count(box->objectName())) ++enters;
            }
            if (round % 7 == 0) QVERIFY(tick(h.clock, *h.app));
        }

        for (const auto& [name, count] : typed) QVERIFY(count >= kStringsPerBox);
        qInfo("%d boxes, %d Enter presses where Enter writes, %zu writes, %zu messages",
              static_cast<int>(boxes.size()), enters, h.counting->registerWriteIndexes.size(),
              h.notifier.messages.size());
        QVERIFY(h.endStatuses.empty());
        QVERIFY(!main.closed());
        const std::vector<int32_t>& writes = h.counting->registerWriteIndexes;
        // Enough writes got through for the check to mean something.
        QVERIFY2(writes.size() > static_cast<size_t>(enters) / 4,
                 qPrintable(QStringLiteral("%1 writes, %2 enters").arg(writes.size()).arg(enters)));
        int at255 = 0;
        for (size_t i = 0; i < writes.size(); ++i) {
            const int32_t index = writes[i];
            QVERIFY2(index >= 0 && index <= 0xFFFF,
                     qPrintable(QStringLiteral("write %1: index %2").arg(i).arg(index, 0, 16)));
            if ((index >> 8) == 0xFF) ++at255;
        }
        QVERIFY(at255 > 0);  // large values are written as FFh, not wrapped

        // Still polling.
        const int requests = h.counting->requests;
        for (int i = 0; i < 12; ++i) QVERIFY(tick(h.clock, *h.app));
        QCOMPARE(h.counting->requests, requests + 24);
    }
};

QUARNEL_APP_TEST_MAIN(RandomTextTest)
#include "tst_randomtext.moc"
