// SPDX-License-Identifier: GPL-3.0-or-later
// The register map window against a recording board (exact requests) and the
// simulated board (the register-written hook's correction, request trace).

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "gui/support/SessionRig.h"
#include "gui/support/SimSessionRig.h"
#include "widgets/ClickLabel.h"
#include "windows/Twips.h"
#include "windows/regmap/RegMapText.h"
#include "windows/regmap/frmRegMap.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

constexpr int kChip = 0x4A;

// A session over the recording board with the chip at 0x4A, and the window in it.
struct Rig : SessionRig {
    QPointer<frmRegMap> window;

    Rig() : SessionRig(kChip) {
        window = new frmRegMap(feed, table);
        window->show();
    }
    ~Rig() { delete window.data(); }

    // Register reads and writes since the last clear; every one must carry the chip's address.
    std::vector<Access> accesses() const {
        for (const RecordedCall& c : board.callsTo(kRequestRegister))
            if (c.value != kBusSerial + kChip) qFatal("request for device %x", c.value);
        return SessionRig::accesses();
    }

    template <typename T>
    T* get(const QString& name) const {
        return control<T>(window.data(), name);
    }
    QLabel* label(const QString& name) const { return get<QLabel>(name); }
    QLineEdit* box(const char* name) const { return get<QLineEdit>(QString::fromLatin1(name)); }
    QString text(const char* name) const { return label(QString::fromLatin1(name))->text(); }

    QString bits() const {
        QString out;
        for (int i = 7; i >= 0; --i) out += label(QStringLiteral("lblBit_%1").arg(i))->text();
        return out;
    }
    QStringList infos() const {
        QStringList out;
        for (int k = 0; k < 8; ++k) out << label(QStringLiteral("lblInfo_%1").arg(k))->text();
        return out;
    }
    QTreeWidgetItem* node(const QString& text) const {
        const auto found = get<QTreeWidget>(QStringLiteral("TreeView1"))
                               ->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        if (found.size() != 1) qFatal("node %s", qPrintable(text));
        return found.front();
    }
    void typeAddress(const QString& text) {
        box("txtReadAddr")->clear();
        QTest::keyClicks(box("txtReadAddr"), text);
    }
    void read(const QString& address) {
        typeAddress(address);
        board.clear();
        get<QPushButton>(QStringLiteral("cmdRead"))->click();
    }
};

QStringList split(const char* labels) {
    return QString::fromLatin1(labels).split(u':');
}

const QStringList kBitNumbers = split("7:6:5:4:3:2:1:0");

}  // namespace

class RegMapTest : public QObject {
    Q_OBJECT

  private slots:
    void loadShowsInitialCaptionsAndReadsNothing();
    void closingClearsTheOpenFlag();
    void treeHasItsNodesKeysAndColours();
    void bitDisplayIsLaidOutRightToLeft();
    void captionsGrowInsteadOfClipping();
    void readParsesTheAddressBox_data();
    void readParsesTheAddressBox();
    void readOfAnUnknownAddressShowsBitNumbers();
    void sharedAddressesShowTheLowerEntryAfterARead_data();
    void sharedAddressesShowTheLowerEntryAfterARead();
    void groupNodesDoNothing();
    void keyboardInTheTreeReadsAsAClickDoes();
    void bitClickWritesTheComposedValueToTheBoxAddress();
    void writeTakesTxtDecAndClampsAt255();
    void enterInEitherValueBoxWrites();
    void valueBoxesFollowEachOther();
    void outOfRangeInputIsRefusedInTheWindow();
    void continuousReadFollowsTheCheckBox();
    void invalidSelectionIsCorrectedOnTheSimulatedBoard();
    void textRules();
};

void RegMapTest::loadShowsInitialCaptionsAndReadsNothing() {
    Rig rig;
    QCOMPARE(rig.window->windowTitle(), QStringLiteral("Register Map Access"));
    QCOMPARE(rig.window->sizeHint(), QSize(532, 372));  // 7980 x 5580 twips
    QVERIFY(rig.feed.flags().RegMapWindowOpen);
    QVERIFY(rig.board.calls.empty());
    QCOMPARE(rig.text("lblRegDescription"), QStringLiteral("Description"));
    QCOMPARE(rig.text("lblCurrentAddr"), QStringLiteral("Address"));
    QCOMPARE(rig.text("lblHexVal"), QStringLiteral("HexVal"));
    QCOMPARE(rig.text("lblDecVal"), QStringLiteral("DecVal"));
    QCOMPARE(rig.bits(), QStringLiteral("00000000"));
    QCOMPARE(rig.infos(), QStringList(8, QStringLiteral("X")));
    for (const char* name : {"txtReadAddr", "txtHex", "txtDec"})
        QVERIFY(rig.box(name)->text().isEmpty());
    QCOMPARE(rig.get<QCheckBox>(QStringLiteral("chkContRead"))->checkState(), Qt::Unchecked);

    // Frames and their documented positions (twips / 15).
    const struct {
        const char* name;
        const char* title;
        QRect rect;
    } frames[] = {{"Frame1", "Register Map", {8, 8, 193, 353}},
                  {"Frame3", "Register Details", {216, 8, 305, 129}},
                  {"fraBits", "Bit Display", {216, 152, 305, 73}},
                  {"Frame6", "Read/Write", {216, 240, 305, 121}}};
    for (const auto& f : frames) {
        auto* frame = rig.get<QGroupBox>(QString::fromLatin1(f.name));
        QCOMPARE(frame->title(), QString::fromLatin1(f.title));
        QCOMPARE(frame->geometry(), f.rect);
        QVERIFY(frame->font().bold());
        QCOMPARE(frame->font().pointSizeF(), 8.25);
    }
    QVERIFY(!rig.label(QStringLiteral("Label7"))->font().bold());
    QCOMPARE(rig.box("txtReadAddr")->geometry().topLeft(), QPoint(104, 32));

    // Every text box is captioned by its label for assistive technology.
    const struct {
        const char* label;
        const char* box;
        const char* caption;
    } buddies[] = {{"Label11", "txtReadAddr", "Address"},
                   {"Label5", "txtHex", "Value(Hex)"},
                   {"Label6", "txtDec", "Value(Dec)"}};
    for (const auto& b : buddies) {
        QLabel* caption = rig.label(QString::fromLatin1(b.label));
        QCOMPARE(caption->text(), QString::fromLatin1(b.caption));
        QCOMPARE(caption->buddy(), rig.box(b.box));
    }
}

void RegMapTest::closingClearsTheOpenFlag() {
    Rig rig;
    QVERIFY(rig.feed.flags().RegMapWindowOpen);
    rig.window->close();
    QVERIFY(!rig.feed.flags().RegMapWindowOpen);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(rig.window.isNull());

    // A second window opened later owns the flag; destroying it clears it.
    auto* again = new frmRegMap(rig.feed, rig.table);
    QVERIFY(rig.feed.flags().RegMapWindowOpen);
    delete again;
    QVERIFY(!rig.feed.flags().RegMapWindowOpen);
}

void RegMapTest::treeHasItsNodesKeysAndColours() {
    Rig rig;
    // Level digit and text of every node, depth first, in the order they were added.
    const QStringList expected =
        QString::fromLatin1(
            "1General|2Configuration|3Configuration 1|3Configuration 2|3Configuration 3|"
            "3SPI Lock Status|2Status|3Interrupt Status 1|3Interrupt Status 2|"
            "3Interrupt Mask 1|3Interrupt Mask 2|2ID/Revision|3Device ID|3Company ID|"
            "3Revision|1Temperature|2Internal|3Internal Temp MSBs|3Internal Temp LSBs|"
            "3Internal High Limit|3Internal Low Limit|3Internal Offset|"
            "3Internal Analog Offset|2External|3External Temp MSBs|3External Temp LSBs|"
            "3External High Limit|3External Low Limit|3External Offset|"
            "3External Analog Offset|1Voltage I/O|2Vdd|3Vdd MSBs|3Vdd LSBs|3Vdd High Limit|"
            "3Vdd Low Limit|1Ain|2Values|3Ain1 MSBs|3Ain2 MSBs|3Ain3 MSBs|3Ain4 MSBs|2Limits|"
            "3Ain1 Vhigh Limit|3Ain1 Vlow Limit|3Ain2 Vhigh Limit|3Ain2 Vlow Limit|"
            "3Ain3 Vhigh Limit|3Ain3 Vlow Limit|3Ain4 Vhigh Limit|3Ain4 Vlow Limit")
            .split(u'|');
    const QColor colours[] = {{}, {0, 128, 0}, {192, 0, 0}, {0, 0, 192}};

    auto* tree = rig.get<QTreeWidget>(QStringLiteral("TreeView1"));
    QCOMPARE(tree->indentation(), 13);  // 200 twips
    QStringList seen;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int level) {
        seen << QString::number(level) + item->text(0);
        QCOMPARE(item->data(0, frmRegMap::kNodeKeyRole).toString(), item->text(0));
        QCOMPARE(item->foreground(0).color(), colours[level]);
        for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), level + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i), 1);
    QCOMPARE(seen, expected);
    QVERIFY(rig.node("General")->isExpanded());
    QVERIFY(!rig.node("Configuration")->isExpanded());
    QVERIFY(!rig.node("Temperature")->isExpanded());
}

void RegMapTest::bitDisplayIsLaidOutRightToLeft() {
    Rig rig;
    // w = (4575 - 200) / 8 = 546.875 twips; bit i's left = 4575 - ((i + 1) w + 100).
    for (int i = 0; i < 8; ++i) {
        const double left = 4575 - ((i + 1) * 546.875 + 100);
        QLabel* bit = rig.label(QStringLiteral("lblBit_%1").arg(i));
        QCOMPARE(bit->x(), twips(left));
        QCOMPARE(bit->x() + bit->width(), twips(left + 546.875));
        QCOMPARE(bit->y(), 16);
        QVERIFY(bit->font().pointSize() == 24);
        QCOMPARE(bit->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        // lblInfo runs the other way: element 7 - i is centred under bit i.
        QLabel* info = rig.label(QStringLiteral("lblInfo_%1").arg(7 - i));
        QVERIFY(qAbs(info->geometry().center().x() - bit->geometry().center().x()) <= 1);
        QCOMPARE(info->y(), 48);
    }
    QCOMPARE(rig.label("lblBit_7")->x(), 7);  // 100 twips from the frame's left
}

void RegMapTest::captionsGrowInsteadOfClipping() {
    Rig rig;
    // Longer texts than the boxes were drawn for, at whatever font the platform has.
    rig.board.registers[0x21] = 0xFF;
    rig.window->TreeView1_NodeClick(rig.node("Internal Analog Offset"));
    QCOMPARE(rig.text("lblRegDescription"), QStringLiteral("Internal Analog Offset"));
    rig.board.registers[0x1B] = 200;
    rig.read("1B");
    auto fitsUnclipped = [&] {
        for (QLabel* l : rig.window->findChildren<QLabel*>()) {
            const QSize hint = l->sizeHint();
            if (l->wordWrap())
                QVERIFY2(l->height() >= l->heightForWidth(l->width()), qPrintable(l->objectName()));
            else
                QVERIFY2(l->width() >= hint.width() && l->height() >= hint.height(),
                         qPrintable(l->objectName()));
            // Nothing runs out of its frame.
            QVERIFY2(l->parentWidget()->rect().contains(l->geometry()),
                     qPrintable(l->objectName() + QLatin1Char(' ') + l->text()));
        }
    };
    fitsUnclipped();
    const int column = rig.label(QStringLiteral("lblBit_0"))->width();  // 1Bh: DRNG, CRNG, ...
    for (QLabel* l : rig.window->findChildren<QLabel*>(QRegularExpression("^lblInfo_")))
        QVERIFY2(QFontMetrics(l->font()).horizontalAdvance(l->text()) < column - 2,
                 qPrintable(l->text()));
    // Each of the status messages.
    rig.box("txtDec")->setText(QStringLiteral("-1"));
    fitsUnclipped();
    rig.box("txtDec")->setText(QStringLiteral("1e12"));
    fitsUnclipped();
    rig.typeAddress(QStringLiteral("100"));
    rig.window->cmdRead_Click();
    QCOMPARE(rig.label(QStringLiteral("lblStatus"))->text(), QString::fromLatin1(kAddressRefused));
    fitsUnclipped();
    // Right-aligned captions keep their right edge (Label9: 840 + 1380 twips).
    QLabel* caption = rig.label(QStringLiteral("Label9"));
    QCOMPARE(caption->x() + caption->width(), 148);
    QVERIFY(caption->alignment() & Qt::AlignRight);
    QCOMPARE(rig.label("lblDecVal")->x(), 160);
}

void RegMapTest::readParsesTheAddressBox_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("reg");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("boxAfter");
    QTest::newRow("empty") << "" << 0x00 << "Interrupt Status 1"
                           << "0H";
    QTest::newRow("1f") << "1f" << 0x1F << "Internal Offset"
                        << "1FH";
    QTest::newRow("1F") << "1F" << 0x1F << "Internal Offset"
                        << "1FH";
    QTest::newRow("1Fh") << "1Fh" << 0x1F << "Internal Offset"
                         << "1FH";
    QTest::newRow("1FH") << "1FH" << 0x1F << "Internal Offset"
                         << "1FH";
    QTest::newRow("blanks and zeros") << " 0 1 f" << 0x1F << "Internal Offset"
                                      << "1FH";
    QTest::newRow("no digit") << "xyz" << 0x00 << "Interrupt Status 1"
                              << "0H";
    QTest::newRow("ends at first non-digit") << "4e-3" << 0x4E << "Company ID"
                                             << "4EH";
    QTest::newRow("top address") << "ff" << 0xFF << "Unknown"
                                 << "FFH";
}

void RegMapTest::readParsesTheAddressBox() {
    QFETCH(QString, typed);
    QFETCH(int, reg);
    QFETCH(QString, description);
    QFETCH(QString, boxAfter);
    Rig rig;
    rig.board.registers[reg] = 0xA5;
    rig.read(typed);
    QCOMPARE(rig.accesses(), (std::vector<Access>{R(reg)}));
    QCOMPARE(rig.text("lblRegDescription"), description);
    QCOMPARE(rig.text("lblCurrentAddr"), regmap::AddressText(reg));
    QCOMPARE(rig.box("txtReadAddr")->text(), boxAfter);
    QCOMPARE(rig.text("lblDecVal"), QStringLiteral("165"));
    QCOMPARE(rig.text("lblHexVal"), QStringLiteral("A5"));
    QCOMPARE(rig.bits(), QStringLiteral("10100101"));
    if (reg == 0x00) {
        QCOMPARE(rig.text("lblCurrentAddr"), QStringLiteral("0h"));
        QCOMPARE(rig.infos(), split("Ain4:Ain3:Ain2:FLT:EXLO:EXHI:INLO:INHI"));
    }
}

void RegMapTest::readOfAnUnknownAddressShowsBitNumbers() {
    Rig rig;
    rig.window->TreeView1_NodeClick(rig.node("Configuration 1"));  // labels to be replaced
    rig.board.registers[0x05] = 0x3C;
    rig.read(QStringLiteral("05"));
    QCOMPARE(rig.accesses(), (std::vector<Access>{R(0x05)}));
    QCOMPARE(rig.text("lblRegDescription"), QStringLiteral("Unknown"));
    QCOMPARE(rig.text("lblCurrentAddr"), QStringLiteral("5h"));
    QCOMPARE(rig.box("txtReadAddr")->text(), QStringLiteral("5H"));
    QCOMPARE(rig.infos(), kBitNumbers);
    QCOMPARE(rig.text("lblDecVal"), QStringLiteral("60"));
    QCOMPARE(rig.text("lblHexVal"), QStringLiteral("3C"));
    QCOMPARE(rig.bits(), QStringLiteral("00111100"));
}

void RegMapTest::sharedAddressesShowTheLowerEntryAfterARead_data() {
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<int>("reg");
    QTest::addColumn<QString>("clickedLabels");
    QTest::addColumn<QString>("afterRead");
    QTest::addColumn<QString>("afterLabels");
    QTest::newRow("03h") << "Vdd LSBs" << 0x03 << "-:-:-:-:V1:V0:-:-"
                         << "Internal Temp LSBs"
                         << "-:-:-:-:-:-:1:0";
    QTest::newRow("08h") << "Ain1 MSBs" << 0x08 << "9:8:7:6:5:4:3:2"
                         << "External Temp MSBs"
                         << "9:8:7:6:5:4:3:2";
    QTest::newRow("27h") << "Ain1 Vhigh Limit" << 0x27 << "7:6:5:4:3:2:1:0"
                         << "External High Limit"
                         << "7:6:5:4:3:2:1:0";
}

void RegMapTest::sharedAddressesShowTheLowerEntryAfterARead() {
    QFETCH(QString, clicked);
    QFETCH(int, reg);
    QFETCH(QString, clickedLabels);
    QFETCH(QString, afterRead);
    QFETCH(QString, afterLabels);
    Rig rig;
    rig.board.registers[reg] = 0x0C;
    auto* tree = rig.get<QTreeWidget>(QStringLiteral("TreeView1"));
    QTreeWidgetItem* node = rig.node(clicked);
    // A real click on the node, through the tree's own signal.
    tree->scrollToItem(node);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
    QCOMPARE(rig.accesses(), (std::vector<Access>{R(reg)}));
    QCOMPARE(rig.text("lblRegDescription"), clicked);
    QCOMPARE(rig.infos(), QString(clickedLabels).split(u':'));
    QCOMPARE(rig.box("txtReadAddr")->text(), regmap::AddressText(reg).toUpper());
    QCOMPARE(rig.text("lblDecVal"), QStringLiteral("12"));

    // The Read command.
    rig.window->cmdRead_Click();
    QCOMPARE(rig.text("lblRegDescription"), afterRead);
    QCOMPARE(rig.infos(), QString(afterLabels).split(u':'));

    // A write ends in the same look-up.
    rig.window->TreeView1_NodeClick(node);
    rig.board.clear();
    rig.box("txtDec")->setText(QStringLiteral("7"));
    rig.window->cmdWrite_Click();
    QCOMPARE(rig.accesses().front(), W(reg, 7));
    QCOMPARE(rig.text("lblRegDescription"), afterRead);
}

void RegMapTest::groupNodesDoNothing() {
    Rig rig;
    for (const char* group : {"Temperature", "Internal", "General", "Limits"}) {
        rig.window->TreeView1_NodeClick(rig.node(QString::fromLatin1(group)));
        QVERIFY(rig.board.calls.empty());
        QCOMPARE(rig.text("lblRegDescription"), QStringLiteral("Description"));
        QVERIFY(rig.box("txtReadAddr")->text().isEmpty());
    }
    rig.window->TreeView1_NodeClick(nullptr);
    QVERIFY(rig.board.calls.empty());
}

void RegMapTest::keyboardInTheTreeReadsAsAClickDoes() {
    Rig rig;
    auto* tree = rig.get<QTreeWidget>(QStringLiteral("TreeView1"));
    tree->setCurrentItem(rig.node("Configuration"));  // a group: nothing read
    QTest::keyClick(tree, Qt::Key_Right);             // opens it
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Return, Qt::Key_Space}) {
        rig.board.clear();
        QTest::keyClick(tree, key);
        QCOMPARE(rig.accesses(), (std::vector<Access>{R(0x18)}));
    }
    // A name typed to find a node takes its blanks; Space reads once the search ends.
    tree->expandAll();
    QTest::keyClicks(tree, QStringLiteral("Ain1 Vl"));
    QCOMPARE(tree->currentItem(), rig.node("Ain1 Vlow Limit"));
    QTest::keyClick(tree, Qt::Key_Return);
    rig.board.clear();
    QTest::keyClick(tree, Qt::Key_Space);
    QCOMPARE(rig.accesses(), (std::vector<Access>{R(0x28)}));
    // A focused digit's frame stays clear of the bit name under it.
    for (int i = 0; i < 8; ++i) {
        auto* bit = rig.get<ClickLabel>(QStringLiteral("lblBit_%1").arg(i));
        bit->setFocus();
        const QRect frame = bit->focusFrame().translated(bit->pos());
        QVERIFY(frame.height() > bit->fontMetrics().tightBoundingRect("0").height());
        QVERIFY(!frame.intersects(rig.label(QStringLiteral("lblInfo_%1").arg(7 - i))->geometry()));
    }
}

void RegMapTest::bitClickWritesTheComposedValueToTheBoxAddress() {
    Rig rig;
    rig.board.registers[0x1F] = 0x80;
    rig.read(QStringLiteral("1F"));
    QCOMPARE(rig.bits(), QStringLiteral("10000000"));

    // The digits still show 1Fh, but the box now names 20h: the write goes there.
    rig.typeAddress(QStringLiteral("20"));
    rig.board.clear();
    QTest::mouseClick(rig.label(QStringLiteral("lblBit_0")), Qt::LeftButton);
    QCOMPARE(rig.accesses(), (std::vector<Access>{W(0x20, 0x81), R(0x20)}));
    QCOMPARE(rig.text("lblRegDescription"), QStringLiteral("External Offset"));
    QCOMPARE(rig.bits(), QStringLiteral("10000001"));
    QCOMPARE(rig.text("lblHexVal"), QStringLiteral("81"));

    // Clearing a bit.
    rig.board.clear();
    QTest::keyClick(rig.label(QStringLiteral("lblBit_7")), Qt::Key_Space);
    QCOMPARE(rig.accesses().front(), W(0x20, 0x01));
    QCOMPARE(rig.bits(), QStringLiteral("00000001"));
    rig.board.clear();
    rig.window->lblBit_Click(8);  // no such digit
    QVERIFY(rig.board.calls.empty());
}

void RegMapTest::writeTakesTxtDecAndClampsAt255() {
    Rig rig;
    rig.typeAddress(QStringLiteral("1f"));
    const struct {
        const char* dec;
        int written;
    } cases[] = {{"300", 255}, {"", 0}, {"12", 12}, {"abc", 0}, {"255", 255}, {"2147483647", 255}};
    for (const auto& c : cases) {
        rig.box("txtDec")->setText(QString::fromLatin1(c.dec));
        rig.board.clear();
        rig.get<QPushButton>(QStringLiteral("cmdWrite"))->click();
        QCOMPARE(rig.accesses(), (std::vector<Access>{W(0x1F, c.written), R(0x1F)}));
        QCOMPARE(rig.text("lblDecVal"), QString::number(c.written));
    }
    QVERIFY(rig.notifier.messages.empty());
}

void RegMapTest::enterInEitherValueBoxWrites() {
    Rig rig;
    rig.typeAddress(QStringLiteral("1F"));
    rig.board.clear();
    QTest::keyClicks(rig.box("txtHex"), QStringLiteral("FF"));
    QVERIFY(rig.board.calls.empty());
    QTest::keyClick(rig.box("txtHex"), Qt::Key_Return);
    QCOMPARE(rig.accesses(), (std::vector<Access>{W(0x1F, 255), R(0x1F)}));
    QCOMPARE(rig.text("lblRegDescription"), QStringLiteral("Internal Offset"));

    rig.box("txtDec")->clear();
    QTest::keyClicks(rig.box("txtDec"), QStringLiteral("17"));
    rig.board.clear();
    QTest::keyClick(rig.box("txtDec"), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(rig.accesses().front(), W(0x1F, 17));

    // Enter in the address box, and other keys in the value boxes, write nothing.
    rig.board.clear();
    QTest::keyClick(rig.box("txtReadAddr"), Qt::Key_Return);
    QTest::keyClick(rig.box("txtDec"), Qt::Key_Tab);
    QVERIFY(!rig.window->txtHex_KeyDown(Qt::Key_Space));
    QVERIFY(rig.board.calls.empty());
}

void RegMapTest::valueBoxesFollowEachOther() {
    // Each sequence starts from empty boxes, typed key by key.
    {
        Rig rig;
        QTest::keyClicks(rig.box("txtHex"), QStringLiteral("1a"));
        QCOMPARE(rig.box("txtHex")->text(), QStringLiteral("1A"));
        QCOMPARE(rig.box("txtDec")->text(), QStringLiteral("26"));
        QCOMPARE(rig.box("txtHex")->cursorPosition(), 2);
        // Emptied, the hex box comes back as the 0 that its mirror holds.
        rig.box("txtHex")->clear();
        QCOMPARE(rig.box("txtDec")->text(), QStringLiteral("0"));
        QCOMPARE(rig.box("txtHex")->text(), QStringLiteral("0"));
    }
    {
        Rig rig;
        QTest::keyClicks(rig.box("txtHex"), QStringLiteral("G"));
        QCOMPARE(rig.box("txtHex")->text(), QStringLiteral("0"));
        QCOMPARE(rig.box("txtDec")->text(), QStringLiteral("0"));
    }
    {
        Rig rig;
        QTest::keyClicks(rig.box("txtDec"), QStringLiteral("300"));
        QCOMPARE(rig.box("txtDec")->text(), QStringLiteral("300"));
        QCOMPARE(rig.box("txtHex")->text(), QStringLiteral("12C"));
        QCOMPARE(rig.box("txtDec")->cursorPosition(), 3);
        // A fraction is rounded, and the rounded value comes back into the box.
        rig.box("txtDec")->setText(QStringLiteral("12.5"));
        QCOMPARE(rig.box("txtHex")->text(), QStringLiteral("C"));
        QCOMPARE(rig.box("txtDec")->text(), QStringLiteral("12"));
        QCOMPARE(rig.box("txtDec")->cursorPosition(), 2);
    }
    {
        // The address box turns upper case as it is typed in, caret at the end.
        Rig rig;
        QLineEdit* address = rig.box("txtReadAddr");
        QTest::keyClicks(address, QStringLiteral("4eh"));
        QCOMPARE(address->text(), QStringLiteral("4EH"));
        QCOMPARE(address->cursorPosition(), 3);
        QVERIFY(rig.board.calls.empty());
    }
}

void RegMapTest::outOfRangeInputIsRefusedInTheWindow() {
    Rig rig;
    QLabel* status = rig.label(QStringLiteral("lblStatus"));
    QVERIFY(status->text().isEmpty());
    rig.board.registers[0x1F] = 0x42;
    rig.read(QStringLiteral("1F"));
    const QString shown = rig.text("lblDecVal");

    // Addresses above FFh: Read, Write and a bit click all do nothing.
    for (const char* address : {"100", "fff", "1FF h", "123456789ABCDEF0123"}) {
        rig.typeAddress(QString::fromLatin1(address));
        rig.board.clear();
        rig.window->cmdRead_Click();
        QCOMPARE(status->text(), QString::fromLatin1(kAddressRefused));
        rig.box("txtDec")->setText(QStringLiteral("5"));
        rig.window->cmdWrite_Click();
        rig.window->lblBit_Click(0);
        QVERIFY(rig.board.calls.empty());
        QCOMPARE(rig.text("lblDecVal"), shown);
        QCOMPARE(rig.bits(), QStringLiteral("01000010"));
    }
    QCOMPARE(status->palette().color(QPalette::WindowText), QColor(192, 0, 0));

    // Leading zeros do not make an address large; a good command clears the message.
    rig.read(QStringLiteral("000000FF"));
    QCOMPARE(rig.accesses(), (std::vector<Access>{R(0xFF)}));
    QVERIFY(status->text().isEmpty());

    // Values below 0 or beyond the 32-bit range: reported as typed, never written.
    rig.typeAddress(QStringLiteral("1F"));
    const struct {
        const char* dec;
        const char* message;
    } values[] = {{"-5", kNegativeValueRefused},
                  {"-0.6", kNegativeValueRefused},
                  {"2147483648", kValueTooLargeRefused},
                  {"1e12", kValueTooLargeRefused}};
    for (const auto& v : values) {
        rig.box("txtHex")->setText(QStringLiteral("7"));
        rig.box("txtDec")->setText(QString::fromLatin1(v.dec));
        QCOMPARE(status->text(), QString::fromLatin1(v.message));
        QCOMPARE(rig.box("txtDec")->text(), QString::fromLatin1(v.dec));  // nothing lost
        QCOMPARE(rig.box("txtHex")->text(), QStringLiteral("7"));
        rig.board.clear();
        QTest::keyClick(rig.box("txtDec"), Qt::Key_Return);
        QVERIFY(rig.board.calls.empty());
    }
    rig.box("txtDec")->selectAll();
    QTest::keyClicks(rig.box("txtDec"), QStringLiteral("-1\r"));  // "-" is refused as typed
    QCOMPARE(rig.box("txtDec")->text(), QStringLiteral("-1"));
    QVERIFY(rig.board.calls.empty());
    // Eight hex digits mirror a decimal beyond the range, which is refused too.
    rig.box("txtHex")->setText(QStringLiteral("FFFFFFFF"));
    QCOMPARE(rig.box("txtDec")->text(), QStringLiteral("4294967295"));
    QCOMPARE(status->text(), QString::fromLatin1(kValueTooLargeRefused));
    rig.window->cmdWrite_Click();
    QVERIFY(rig.board.calls.empty());
    // Back in range: the message goes as the box is corrected.
    rig.box("txtDec")->setText(QStringLiteral("9"));
    QVERIFY(status->text().isEmpty());
    QCOMPARE(rig.box("txtHex")->text(), QStringLiteral("9"));
    QVERIFY(rig.notifier.messages.empty());  // no modal box in the way of continuous read
}

void RegMapTest::continuousReadFollowsTheCheckBox() {
    Rig rig;
    auto* check = rig.get<QCheckBox>(QStringLiteral("chkContRead"));
    rig.session.device.state.ReferenceVoltage = 2.28f;  // the ticks' Ain readings need it
    rig.board.registers[0x25] = 0x3C;
    rig.board.registers[0x1F] = 0x07;
    rig.box("txtReadAddr")->setText(QStringLiteral("25"));
    rig.box("txtReadAddr")->setCursorPosition(1);
    // One tick of the worker `seconds` of the time of day on: how often it read reg.
    auto reads = [&](int reg, double seconds) {
        rig.board.clear();
        rig.clock.advance(seconds);
        rig.worker.step();
        const std::vector<Access> all = rig.accesses();
        return int(std::count(all.begin(), all.end(), R(reg)));
    };
    QCOMPARE(reads(0x25, 1.0), 0);  // not ticked: nothing watched
    QVERIFY(!rig.window->ContinuousReadChecked());
    rig.board.clear();
    QTest::mouseClick(check, Qt::LeftButton);
    QVERIFY(rig.window->ContinuousReadChecked());
    QVERIFY(rig.board.calls.empty());  // read by the ticks only
    QCOMPARE(reads(0x25, 0.01), 1);
    QCOMPARE(rig.text("lblRegDescription"), QStringLiteral("Internal High Limit"));
    QCOMPARE(rig.text("lblDecVal"), QStringLiteral("60"));
    // A box that names the register read is left as the user is editing it.
    QVERIFY(rig.box("txtReadAddr")->text() == "25" &&
            rig.box("txtReadAddr")->cursorPosition() == 1);

    // At most every 0.5 s of the time of day.
    QCOMPARE(reads(0x25, 0.01), 0);
    QCOMPARE(reads(0x25, 0.48), 0);
    QCOMPARE(reads(0x25, 0.02), 1);
    // Another address while ticked: the ticks read that register instead.
    rig.typeAddress(QStringLiteral("1F"));
    QCOMPARE(reads(0x1F, 0.51), 1);
    QCOMPARE(rig.text("lblRegDescription"), QStringLiteral("Internal Offset"));
    QCOMPARE(rig.text("lblDecVal"), QStringLiteral("7"));

    check->setChecked(false);
    QVERIFY(!rig.window->ContinuousReadChecked());
    QCOMPARE(reads(0x1F, 1.0), 0);
}

void RegMapTest::invalidSelectionIsCorrectedOnTheSimulatedBoard() {
    SimSessionRig sim;
    QVERIFY(sim.downloadFirmware());
    QPointer<frmRegMap> window = new frmRegMap(sim.feed, sim.table);

    auto* address = window->findChild<QLineEdit*>(QStringLiteral("txtReadAddr"));
    auto* dec = window->findChild<QLineEdit*>(QStringLiteral("txtDec"));
    auto text = [&](const char* name) {
        return window->findChild<QLabel*>(QString::fromLatin1(name))->text();
    };
    address->setText(QStringLiteral("4e"));
    window->cmdRead_Click();
    QCOMPARE(text("lblRegDescription"), QStringLiteral("Company ID"));
    QCOMPARE(text("lblHexVal"), QStringLiteral("41"));

    // 0Bh selects neither function: the hook says so and writes 09h instead.
    address->setText(QStringLiteral("18"));
    dec->setText(QStringLiteral("11"));
    window->cmdWrite_Click();
    QCOMPARE(sim.notifier.messages.size(), size_t{1});
    QCOMPARE(sim.notifier.messages[0].text, std::string(kInvalidSelectionMessage));
    QCOMPARE(text("lblRegDescription"), QStringLiteral("Configuration 1"));
    QCOMPARE(text("lblHexVal"), QStringLiteral("9"));
    QCOMPARE(text("lblDecVal"), QStringLiteral("9"));
    QCOMPARE(sim.session.device.state.ChannelMode, ChannelFunction::AinInputs);
    QVERIFY(sim.failures.empty());

    const QStringList lines = sim.newTraceLines();
    const qsizetype wrong = lines.indexOf("222 0x00000148 0x00000B18 0 0 -> 0");
    const qsizetype corrected = lines.indexOf("222 0x00000148 0x00000918 0 0 -> 0");
    QVERIFY(wrong >= 0);
    QVERIFY(corrected > wrong);
    QVERIFY(lines.indexOf("222 0x00000148 0x00000018 1 1 -> 0 09", corrected) > corrected);
    delete window.data();
}

void RegMapTest::textRules() {
    using namespace regmap;
    QCOMPARE(ParseHexText(QStringLiteral("")), uint64_t{0});
    QCOMPARE(ParseHexText(QStringLiteral(" 1 f h")), uint64_t{0x1F});
    QCOMPARE(ParseHexText(QStringLiteral("h1F")), uint64_t{0});
    QCOMPARE(ParseHexText(QStringLiteral("ffffffffffffffffff")), ~uint64_t{0});  // no wrap
    QCOMPARE(ParseDecimalText(QStringLiteral(" 1 2 ")), 12.0);
    QCOMPARE(ParseDecimalText(QStringLiteral("12.5x")), 12.5);
    QCOMPARE(ParseDecimalText(QStringLiteral("-.5")), -0.5);
    QCOMPARE(ParseDecimalText(QStringLiteral("1e3")), 1000.0);
    QCOMPARE(ParseDecimalText(QStringLiteral("1e")), 1.0);
    QCOMPARE(ParseDecimalText(QStringLiteral("-")), 0.0);
    QCOMPARE(ParseDecimalText(QStringLiteral(".")), 0.0);
    QCOMPARE(ParseDecimalText(QStringLiteral("1,5")), 1.0);
    QVERIFY(std::isinf(ParseDecimalText(QStringLiteral("1e999"))));
    QCOMPARE(RoundHalfEven(2.5), 2.0);
    QCOMPARE(RoundHalfEven(3.5), 4.0);
    QCOMPARE(RoundHalfEven(12.5), 12.0);
    QCOMPARE(RoundHalfEven(-0.5), -0.0);
    QCOMPARE(AddressText(0), QStringLiteral("0h"));
    QCOMPARE(AddressText(31), QStringLiteral("1Fh"));
    QCOMPARE(AddressText(127), QStringLiteral("7Fh"));
    QCOMPARE(HexValueText(25), QStringLiteral("19"));
    QCOMPARE(DecValueText(25), QStringLiteral("25"));
}

QTEST_MAIN(RegMapTest)
#include "tst_regmap.moc"
