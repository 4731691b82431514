// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/regmap/frmRegMap.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <algorithm>
#include <limits>

#include "device/ChipRegisters.h"
#include "monitor/Session.h"
#include "ui_frmRegMap.h"
#include "widgets/ClickLabel.h"
#include "widgets/ReadableColour.h"
#include "widgets/WidgetAccessibility.h"
#include "windows/CheckBoxes.h"
#include "windows/Twips.h"
#include "windows/regmap/RegMapText.h"

namespace quarnel {

namespace {

constexpr int kClientWidthTwips = 7980;
constexpr int kClientHeightTwips = 5580;
constexpr int kTreeIndentTwips = 200;
constexpr double kBitTopTwips = 240;
constexpr double kBitHeightTwips = 555;
constexpr double kInfoTopTwips = 720;
constexpr double kInfoHeightTwips = 195;

const QColor kLevel1Colour(0, 128, 0);
const QColor kLevel2Colour(192, 0, 0);
const QColor kLevel3Colour(0, 0, 192);
const QColor kValueColour(0, 128, 0);
const QColor kBitColour(0, 0, 255);
const QColor kRefusalColour(192, 0, 0);

// The register tree in the order its nodes are added. Groups carry their
// text; registers their address (their text is the register table's Name),
// and where two registers share the address, the name of the one meant.
struct TreeNode {
    int level;
    const char* parent;
    const char* text;
    int32_t address;
};

constexpr int32_t kGroup = -1;

using namespace chip;

constexpr TreeNode kTree[] = {
    {1, nullptr, "General", kGroup},
    {2, "General", "Configuration", kGroup},
    {3, "Configuration", nullptr, kConfig1},
    {3, "Configuration", nullptr, kConfig2},
    {3, "Configuration", nullptr, kConfig3},
    {3, "Configuration", nullptr, kSpiLock},
    {2, "General", "Status", kGroup},
    {3, "Status", nullptr, kStatus1},
    {3, "Status", nullptr, kStatus2},
    {3, "Status", nullptr, kMask1},
    {3, "Status", nullptr, kMask2},
    {2, "General", "ID/Revision", kGroup},
    {3, "ID/Revision", nullptr, kDeviceId},
    {3, "ID/Revision", nullptr, kCompanyId},
    {3, "ID/Revision", nullptr, kRevision},
    {1, nullptr, "Temperature", kGroup},
    {2, "Temperature", "Internal", kGroup},
    {3, "Internal", nullptr, kInternalTempMsbs},
    {3, "Internal", "Internal Temp LSBs", kInternalTempLsbs},
    {3, "Internal", nullptr, kInternalHighLimit},
    {3, "Internal", nullptr, kInternalLowLimit},
    {3, "Internal", nullptr, kInternalOffset},
    {3, "Internal", nullptr, kInternalAnalogOffset},
    {2, "Temperature", "External", kGroup},
    {3, "External", "External Temp MSBs", kExternalTempMsbs},
    {3, "External", nullptr, kExternalTempLsbs},
    {3, "External", "External High Limit", kExternalHighLimit},
    {3, "External", "External Low Limit", kExternalLowLimit},
    {3, "External", nullptr, kExternalOffset},
    {3, "External", nullptr, kExternalAnalogOffset},
    {1, nullptr, "Voltage I/O", kGroup},
    {2, "Voltage I/O", "Vdd", kGroup},
    {3, "Vdd", nullptr, kVddMsbs},
    {3, "Vdd", "Vdd LSBs", kVddLsbs},
    {3, "Vdd", nullptr, kVddHighLimit},
    {3, "Vdd", nullptr, kVddLowLimit},
    {1, nullptr, "Ain", kGroup},
    {2, "Ain", "Values", kGroup},
    {3, "Values", "Ain1 MSBs", kAin1Msbs},
    {3, "Values", nullptr, kAin2Msbs},
    {3, "Values", nullptr, kAin3Msbs},
    {3, "Values", nullptr, kAin4Msbs},
    {2, "Ain", "Limits", kGroup},
    {3, "Limits", "Ain1 Vhigh Limit", kAin1HighLimit},
    {3, "Limits", "Ain1 Vlow Limit", kAin1LowLimit},
    {3, "Limits", nullptr, kAin2HighLimit},
    {3, "Limits", nullptr, kAin2LowLimit},
    {3, "Limits", nullptr, kAin3HighLimit},
    {3, "Limits", nullptr, kAin3LowLimit},
    {3, "Limits", nullptr, kAin4HighLimit},
    {3, "Limits", nullptr, kAin4LowLimit},
};
static_assert(std::size(kTree) == 51);

// The register a register node shows: the one at its address, or the one it
// names where the address is shared. None when a shared address is not named.
std::optional<int> registerOf(const RegisterTable& table, const TreeNode& node) {
    std::optional<int> found;
    for (int i = 0; i < table.size(); ++i) {
        if (table[i].Address != node.address) continue;
        if (node.text && table[i].Name != node.text) continue;
        if (found) return std::nullopt;
        found = i;
    }
    return found;
}

bool isEnterKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

frmRegMap::frmRegMap(BoardFeed& feed, const RegisterTable& table, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::frmRegMap>()),
      feed_(feed),
      ticket_(feed.newTicket()),
      table_(table),
      openFlag_(feed, FlaggedWindow::RegMap) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(kRegMapTitle));
    resize(sizeHint());

    lblBit_ = {ui->lblBit_0, ui->lblBit_1, ui->lblBit_2, ui->lblBit_3,
               ui->lblBit_4, ui->lblBit_5, ui->lblBit_6, ui->lblBit_7};
    lblInfo_ = {ui->lblInfo_0, ui->lblInfo_1, ui->lblInfo_2, ui->lblInfo_3,
                ui->lblInfo_4, ui->lblInfo_5, ui->lblInfo_6, ui->lblInfo_7};

    applyFonts();
    bitLabelFont_ = lblInfo_[0]->font();
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QPushButton*>(w) || qobject_cast<QLineEdit*>(w))
            rememberDesign(w);
    }

    connect(ui->cmdRead, &QPushButton::clicked, this, &frmRegMap::cmdRead_Click);
    connect(ui->cmdWrite, &QPushButton::clicked, this, &frmRegMap::cmdWrite_Click);
    connect(ui->txtDec, &QLineEdit::textChanged, this, &frmRegMap::txtDec_Change);
    connect(ui->txtHex, &QLineEdit::textChanged, this, &frmRegMap::txtHex_Change);
    connect(ui->txtReadAddr, &QLineEdit::textChanged, this, &frmRegMap::txtReadAddr_Change);
    connect(ui->chkContRead, &QCheckBox::toggled, this, &frmRegMap::updateWatch);
    connect(&feed_, &BoardFeed::registerValues, this, &frmRegMap::onValues);
    connect(ui->TreeView1, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* node, int) { TreeView1_NodeClick(node); });
    // Moving through the tree by keyboard reads as a click does; a mouse press
    // also moves the current node, but its click reads.
    connect(ui->TreeView1, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) {
        if (!treeMousePressed_) TreeView1_NodeClick(node);
    });
    ui->TreeView1->installEventFilter(this);
    ui->TreeView1->viewport()->installEventFilter(this);
    ui->txtDec->installEventFilter(this);
    ui->txtHex->installEventFilter(this);
    for (int i = 0; i < 8; ++i) {
        // Reachable by Tab and flipped with Space, like the click does.
        lblBit_[i]->setRole(QAccessible::CheckBox);
        connect(lblBit_[i], &ClickLabel::clicked, this, [this, i] { lblBit_Click(i); });
        lblBit_[i]->setAccessibleDescription(
            QStringLiteral("Space flips the bit and writes the register"));
    }
    applyColours();

    BuildRegisterTree();
    LayoutBitDisplay();
    for (QWidget* w : design_.keys()) fitToText(w);
    growToFit();
    for (QLabel* bit : lblBit_) setCaption(bit, bit->text());  // their accessible names
    if (QTreeWidgetItem* general = ui->TreeView1->topLevelItem(0)) general->setExpanded(true);
    openFlag_.raise();
}

frmRegMap::~frmRegMap() = default;

void frmRegMap::closeEvent(QCloseEvent* event) {
    if (ContinuousReadChecked()) feed_.post(board::Watch{ticket_, std::nullopt});
    openFlag_.lower();
    QWidget::closeEvent(event);
}

QSize frmRegMap::sizeHint() const {
    return {static_cast<int>(std::lround(twips(kClientWidthTwips) * scale_)),
            static_cast<int>(std::lround(twips(kClientHeightTwips) * scale_))};
}

QSize frmRegMap::minimumSizeHint() const {
    return sizeHint();
}

bool frmRegMap::ContinuousReadChecked() const {
    return isChecked(ui->chkContRead);
}

// ---- Commands ------------------------------------------------------------

void frmRegMap::cmdRead_Click() {
    const std::optional<int32_t> address = addressFromBox();
    if (!address) return;
    showStatus(QString());
    readRegister(*address);
}

void frmRegMap::showEntryOf(int32_t address, std::optional<int> index) {
    if (!index) index = table_.FindRegisterByAddress(address);
    if (index) {
        const RegisterInfo& entry = table_[*index];
        setCaption(ui->lblRegDescription, QString::fromStdString(entry.Description));
        setCaption(ui->lblCurrentAddr, regmap::AddressText(entry.Address));
        setAddressBox(entry.Address);
        const std::array<std::string, 8> labels = table_.SplitBitLabels(*index);
        for (int k = 0; k < 8; ++k) setCaption(lblInfo_[k], QString::fromStdString(labels[k]));
    } else {
        setCaption(ui->lblRegDescription, QStringLiteral("Unknown"));
        setCaption(ui->lblCurrentAddr, regmap::AddressText(address));
        setAddressBox(address);
        for (int k = 0; k < 8; ++k) setCaption(lblInfo_[k], QString::number(7 - k));
    }
    shownAddress_ = address;
}

void frmRegMap::readRegister(int32_t address, std::optional<int> index) {
    showEntryOf(address, index);
    feed_.post(board::ReadRegisters{ticket_, {address}});
}

void frmRegMap::onValues(const board::RegisterValues& values) {
    if (values.ticket != ticket_ || values.registers.size() != 1) return;
    const int address = values.registers.front();
    if (values.watched) {
        // Leaves the address box alone when its text already names the register
        // read, so the user can edit it while the reads go on.
        const QScopedValueRollback<bool> keep(keepAddressText_, true);
        showStatus(QString());
        showEntryOf(address);
    } else if (shownAddress_ != address) {
        return;  // the user has moved on to another register meanwhile
    }
    showValue(values.values.front());
}

void frmRegMap::updateWatch() {
    std::optional<int> watched;
    if (ContinuousReadChecked()) {
        const uint64_t address = regmap::ParseHexText(ui->txtReadAddr->text());
        if (address <= 0xFF)
            watched = static_cast<int>(address);
        else
            showStatus(QString::fromLatin1(kAddressRefused));
    }
    feed_.post(board::Watch{ticket_, watched});
}

void frmRegMap::cmdWrite_Click() {
    const std::optional<int32_t> address = addressFromBox();
    if (!address) return;
    const std::optional<int32_t> value = valueFromBox();
    if (!value) return;
    // The worker's link clamps it to 255.
    feed_.post(board::WriteRegister{*address, *value});
    cmdRead_Click();
}

void frmRegMap::lblBit_Click(int i) {
    if (i < 0 || i > 7) return;
    // The target is checked first, so a refused address leaves the digits alone.
    const std::optional<int32_t> address = addressFromBox();
    if (!address) return;
    QLabel* digit = lblBit_[i];
    setCaption(digit,
               digit->text() == QLatin1String("0") ? QStringLiteral("1") : QStringLiteral("0"));
    int32_t value = 0;
    for (int b = 7; b >= 0; --b)
        if (lblBit_[b]->text() != QLatin1String("0")) value += 1 << b;
    feed_.post(board::WriteRegister{*address, value});
    cmdRead_Click();
}

void frmRegMap::TreeView1_NodeClick(QTreeWidgetItem* node) {
    if (!node) return;
    // Groups (levels 1 and 2) do nothing; only register nodes read.
    int level = 0;
    for (QTreeWidgetItem* n = node; n; n = n->parent()) ++level;
    if (level < 3) return;
    const std::optional<int> index = table_.FindRegisterByName(node->text(0).toStdString());
    if (!index) return;
    showStatus(QString());
    ShowRegisterEntry(*index);
}

void frmRegMap::ShowRegisterEntry(int index) {
    if (index < 0 || index >= table_.size()) return;
    readRegister(table_[index].Address, index);
}

void frmRegMap::ShowRegisterBits(int value) {
    for (int i = 7; i >= 0; --i)
        setCaption(lblBit_[i], (value >> i) & 1 ? QStringLiteral("1") : QStringLiteral("0"));
}

void frmRegMap::showValue(int value) {
    setCaption(ui->lblDecVal, regmap::DecValueText(static_cast<uint64_t>(value)));
    setCaption(ui->lblHexVal, regmap::HexValueText(static_cast<uint64_t>(value)));
    ShowRegisterBits(value);
}

// ---- Input boxes ---------------------------------------------------------

std::optional<int32_t> frmRegMap::addressFromBox() {
    const uint64_t address = regmap::ParseHexText(ui->txtReadAddr->text());
    if (address > 0xFF) {
        showStatus(QString::fromLatin1(kAddressRefused));
        return std::nullopt;
    }
    return static_cast<int32_t>(address);
}

std::optional<int32_t> frmRegMap::valueFromBox() {
    // A lone "-" reads as 0; refused now, it is not turned into 0 before the
    // digit that follows it is typed.
    const QString text = ui->txtDec->text();
    const double value = regmap::RoundHalfEven(regmap::ParseDecimalText(text));
    if (value < 0 || regmap::StartsWithMinus(text)) {
        showStatus(QString::fromLatin1(kNegativeValueRefused));
        return std::nullopt;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        showStatus(QString::fromLatin1(kValueTooLargeRefused));
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

void frmRegMap::txtDec_Change() {
    // A value that cannot be written is reported now and leaves txtHex as it
    // was, so neither box loses what the user typed.
    const std::optional<int32_t> value = valueFromBox();
    if (!value) return;
    const QString status = ui->lblStatus->text();
    if (status == QLatin1String(kNegativeValueRefused) ||
        status == QLatin1String(kValueTooLargeRefused))
        showStatus(QString());
    setBoxText(ui->txtHex, regmap::HexValueText(static_cast<uint64_t>(*value)));
}

void frmRegMap::txtHex_Change() {
    setBoxText(ui->txtDec, regmap::DecValueText(regmap::ParseHexText(ui->txtHex->text())));
}

void frmRegMap::txtReadAddr_Change() {
    setBoxText(ui->txtReadAddr, ui->txtReadAddr->text().toUpper());
    if (ContinuousReadChecked()) updateWatch();
}

bool frmRegMap::txtDec_KeyDown(int key) {
    if (!isEnterKey(key)) return false;
    cmdWrite_Click();
    return true;
}

bool frmRegMap::txtHex_KeyDown(int key) {
    if (!isEnterKey(key)) return false;
    cmdWrite_Click();
    return true;
}

void frmRegMap::setBoxText(QLineEdit* box, const QString& text) {
    // The same text fires no change rule, which ends the exchange between the boxes.
    if (box->text() == text) return;
    box->setText(text);
    box->setCursorPosition(static_cast<int>(text.size()));
}

void frmRegMap::setAddressBox(int32_t address) {
    if (keepAddressText_ && regmap::ParseHexText(ui->txtReadAddr->text()) == uint64_t(address))
        return;
    setBoxText(ui->txtReadAddr, regmap::AddressText(address));
}

bool frmRegMap::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->TreeView1->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) treeMousePressed_ = true;
        if (event->type() == QEvent::MouseButtonPress) treeSearching_ = false;
        if (event->type() == QEvent::MouseButtonRelease) treeMousePressed_ = false;
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (watched == ui->TreeView1) {
            const QString typed = static_cast<QKeyEvent*>(event)->text();
            const bool space = key == Qt::Key_Space;
            if (space && treeSearching_) return false;  // "Ain1 Vlow": the search goes on
            treeSearching_ = !space && !typed.isEmpty() && typed.front().isPrint();
            if (!space && !isEnterKey(key)) return false;
            TreeView1_NodeClick(ui->TreeView1->currentItem());
            return true;
        }
        if (watched == ui->txtDec) return txtDec_KeyDown(key);
        if (watched == ui->txtHex) return txtHex_KeyDown(key);
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Tree and bit display --------------------------------------------------

void frmRegMap::BuildRegisterTree() {
    QTreeWidget* tree = ui->TreeView1;
    tree->clear();
    tree->setIndentation(twips(kTreeIndentTwips));
    // Long register names scroll sideways rather than being cut short.
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree->header()->setStretchLastSection(false);
    tree->setTextElideMode(Qt::ElideNone);
    const RegisterTable& table = table_;
    QHash<QString, QTreeWidgetItem*> byKey;
    for (const TreeNode& node : kTree) {
        QString text = QString::fromLatin1(node.text);
        if (node.address != kGroup) {
            const std::optional<int> index = registerOf(table, node);
            if (!index) continue;
            text = QString::fromStdString(table[*index].Name);
        }
        QTreeWidgetItem* item =
            node.parent ? new QTreeWidgetItem(byKey.value(QString::fromLatin1(node.parent)))
                        : new QTreeWidgetItem(tree);
        item->setText(0, text);
        item->setData(0, kNodeKeyRole, text);
        const QColor& colour = node.level == 1   ? kLevel1Colour
                               : node.level == 2 ? kLevel2Colour
                                                 : kLevel3Colour;
        item->setForeground(0, ReadableOn(colour, tree->palette().color(QPalette::Base)));
        byKey.insert(text, item);
    }
}

void frmRegMap::LayoutBitDisplay() {
    // Worked in twips like the rest of the form's design; pixels only to draw.
    const double frameWidth = toTwips(ui->fraBits->width());
    const double w = (frameWidth - 200) / 8;
    for (int i = 7; i >= 0; --i) {
        const double left = frameWidth - ((i + 1) * w + 100);
        const int x = twips(left);
        const QRect bit(x, twips(kBitTopTwips), twips(left + w) - x, twips(kBitHeightTwips));
        lblBit_[i]->setGeometry(bit);
        design_.insert(lblBit_[i], bit);

        QLabel* info = lblInfo_[7 - i];
        const double infoWidth = toTwips(design_.value(info, info->geometry()).width());
        const double infoLeft = left + w / 2 - infoWidth / 2;
        const int ix = twips(infoLeft);
        const QRect label(ix, twips(kInfoTopTwips), twips(infoLeft + infoWidth) - ix,
                          twips(kInfoHeightTwips));
        info->setGeometry(label);
        design_.insert(info, label);
    }
}

// ---- Captions that grow instead of clipping ----------------------------------

void frmRegMap::applyColours() {
    // The documented colours, lightened where a dark palette would swallow them.
    const auto paint = [](QWidget* w, const QColor& colour) {
        QPalette palette = w->palette();
        palette.setColor(QPalette::WindowText, ReadableOn(colour, palette.color(QPalette::Window)));
        w->setPalette(palette);
    };
    for (QLabel* value : {ui->lblRegDescription, ui->lblCurrentAddr, ui->lblHexVal, ui->lblDecVal})
        paint(value, kValueColour);
    for (QLabel* bit : lblBit_) paint(bit, kBitColour);
    paint(ui->lblStatus, kRefusalColour);
}

void frmRegMap::applyFonts() {
    // Frame captions are bold 8.25 point; their contents keep the window's font.
    for (QGroupBox* frame : findChildren<QGroupBox*>()) {
        const QFont normal = font();
        for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            QFont f = child->font();
            f.setBold(false);
            f.setPointSizeF(child->font().pointSizeF());
            child->setFont(f);
        }
        QFont caption = normal;
        caption.setBold(true);
        caption.setPointSizeF(8.25);
        frame->setFont(caption);
    }
}

void frmRegMap::rememberDesign(QWidget* w) {
    design_.insert(w, w->geometry());
}

void frmRegMap::setCaption(QLabel* label, const QString& text) {
    label->setText(text);
    const auto info = std::find(lblInfo_.begin(), lblInfo_.end(), label);
    if (info != lblInfo_.end()) fitBitLabel(label);
    fitToText(label);
    // A screen reader hears each digit with its bit and name: "Bit 7 GEN1: 0".
    for (int i = 0; i < 8; ++i) {
        if (label != lblBit_[i] && label != lblInfo_[7 - i]) continue;
        const QString name = lblInfo_[7 - i]->text();
        const bool plain =
            name == QLatin1String("X") || name == QLatin1String("-") || name == QString::number(i);
        SetAccessibleName(lblBit_[i], QStringLiteral("Bit %1%2: %3")
                                          .arg(i)
                                          .arg(plain ? QString() : QLatin1Char(' ') + name)
                                          .arg(lblBit_[i]->text()));
    }
}

void frmRegMap::growToFit() {
    // A font larger than the design's needs more room than the documented
    // boxes give: the whole form grows in proportion until every control fits
    // inside its frame. At the design's font nothing moves.
    constexpr int kMargin = 2;
    for (int pass = 0; pass < 4; ++pass) {
        double grow = 1.0;
        for (const QGroupBox* frame : findChildren<QGroupBox*>()) {
            const double w = frame->width(), h = frame->height();
            for (const QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                // The control keeps the size its text needs while the frame and
                // its place in it grow: the factor at which it fits.
                const QRect g = child->geometry();
                const auto room = [](double need, double space) {
                    return space > 0 ? need / space : 2.0;
                };
                grow = std::max({grow, room(g.width() + kMargin, w - g.x()),
                                 room(g.height() + kMargin, h - g.y()),
                                 room(g.width() + kMargin, g.x() + g.width())});
            }
        }
        if (grow <= 1.0) return;
        const auto scaled = [grow](const QRect& r) {
            return QRect(int(std::lround(r.x() * grow)), int(std::lround(r.y() * grow)),
                         int(std::lround(r.width() * grow)), int(std::lround(r.height() * grow)));
        };
        scale_ *= grow;
        for (QGroupBox* frame : findChildren<QGroupBox*>()) {
            frame->setGeometry(scaled(frame->geometry()));
            for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (!design_.contains(child)) child->setGeometry(scaled(child->geometry()));
        }
        for (QRect& rect : design_) rect = scaled(rect);
        for (QWidget* w : design_.keys()) fitToText(w);
        resize(sizeHint());
    }
}

void frmRegMap::fitBitLabel(QLabel* label) {
    // Eight names side by side: one wider than its digit's column is set
    // smaller, so that neighbouring names never run together ("DRNGCRNG").
    constexpr int kGap = 4;
    const int column = lblBit_[0]->width() - kGap;
    QFont font = bitLabelFont_;
    while (font.pointSizeF() > 5.0 && QFontMetrics(font).horizontalAdvance(label->text()) > column)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
}

void frmRegMap::showStatus(const QString& text) {
    setCaption(ui->lblStatus, text);
}

void frmRegMap::fitToText(QWidget* w) {
    const auto it = design_.constFind(w);
    if (it == design_.cend()) return;
    const QRect d = *it;
    QSize need;
    Qt::Alignment align = Qt::AlignLeft;
    if (auto* label = qobject_cast<QLabel*>(w)) {
        align = label->alignment();
        need = label->sizeHint();
        if (label->wordWrap())
            need.setHeight(label->heightForWidth(std::max(d.width(), need.width())));
        if (label->wordWrap()) need.setWidth(std::min(need.width(), d.width()));
    } else if (qobject_cast<QLineEdit*>(w)) {
        // The box keeps its width; only a taller font makes it taller.
        need = QSize(d.width(), w->minimumSizeHint().height());
    } else if (qobject_cast<QPushButton*>(w)) {
        align = Qt::AlignHCenter;
        need = QSize(w->sizeHint().width(), w->minimumSizeHint().height());
    } else {
        need = w->sizeHint();
    }
    const int width = std::max(d.width(), need.width());
    const int height = std::max(d.height(), need.height());
    int left = d.left();
    if (align & Qt::AlignRight)
        left = d.left() + d.width() - width;  // right-aligned captions grow to the left
    else if (align & Qt::AlignHCenter)
        left = d.left() - (width - d.width()) / 2;
    w->setGeometry(left, d.top(), width, height);
}

}  // namespace quarnel
