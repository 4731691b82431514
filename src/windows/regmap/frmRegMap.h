// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The register map window: pick a register from the tree or type its address,
// read it, see it in decimal, hexadecimal and as eight bits with their names,
// write a value or flip one bit. The master timer calls cmdRead_Click while
// continuous read is ticked.

#include <QFont>
#include <QHash>
#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "device/RegisterTable.h"
#include "windows/BoardFeed.h"
#include "windows/WindowHost.h"

class QLabel;
class QLineEdit;
class QTreeWidgetItem;

namespace Ui {
class frmRegMap;
}

namespace quarnel {

class ClickLabel;

inline constexpr const char* kRegMapTitle = "Register Map Access";

// Messages of the status line when input is refused (nothing is read or written).
inline constexpr const char* kAddressRefused = "Address above FFh: nothing read or written";
inline constexpr const char* kNegativeValueRefused = "Value(Dec) is negative: nothing written";
// Beyond the 32-bit range; from 256 up to there, 255 is written.
inline constexpr const char* kValueTooLargeRefused = "Value(Dec) is too large: nothing written";

class frmRegMap : public QWidget {
    Q_OBJECT

  public:
    // Item data role of TreeView1 that holds a node's key (equal to its text).
    static constexpr int kNodeKeyRole = Qt::UserRole;

    // Builds the tree and the bit display and raises its open flag
    // (RegMapWindowOpen); reads nothing.
    frmRegMap(BoardFeed& feed, const RegisterTable& table, QWidget* parent = nullptr);
    ~frmRegMap() override;

    bool ContinuousReadChecked() const;

    void cmdRead_Click();

    void cmdWrite_Click();
    void lblBit_Click(int i);
    void TreeView1_NodeClick(QTreeWidgetItem* node);
    void txtDec_Change();
    void txtHex_Change();
    void txtReadAddr_Change();
    // True when the key ran the Write command (Return or the keypad's Enter).
    bool txtDec_KeyDown(int key);
    bool txtHex_KeyDown(int key);

    void ShowRegisterEntry(int index);
    void ShowRegisterBits(int value);
    void BuildRegisterTree();
    void LayoutBitDisplay();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // The register address in txtReadAddr, or nothing (and the refusal shown)
    // when it is above FFh.
    std::optional<int32_t> addressFromBox();
    // The value in txtDec as an integer, or nothing (and the refusal shown)
    // when it is negative or beyond the 32-bit range.
    std::optional<int32_t> valueFromBox();
    void showValue(int value);
    // Shows the register's entry (or "Unknown") and asks the board for its value.
    // index: the table entry meant where two share the address (a tree node's);
    // by default the lower one.
    void readRegister(int32_t address, std::optional<int> index = std::nullopt);
    void showEntryOf(int32_t address, std::optional<int> index = std::nullopt);
    // The board's answer: shown when it is the register on display.
    void onValues(const board::RegisterValues& values);
    // chkContRead and the address box tell the board which register to watch.
    void updateWatch();
    void showStatus(const QString& text);
    void setCaption(QLabel* label, const QString& text);
    void setBoxText(QLineEdit* box, const QString& text);
    void setAddressBox(int32_t address);
    void fitBitLabel(QLabel* label);
    void rememberDesign(QWidget* w);
    void fitToText(QWidget* w);
    void applyFonts();
    void applyColours();
    void growToFit();

    std::unique_ptr<Ui::frmRegMap> ui;
    BoardFeed& feed_;
    uint64_t ticket_ = 0;
    std::optional<int32_t> shownAddress_;  // the register whose value the bits show
    const RegisterTable& table_;
    std::array<ClickLabel*, 8> lblBit_{};
    std::array<QLabel*, 8> lblInfo_{};
    QHash<QWidget*, QRect> design_;
    QFont bitLabelFont_;  // the bit names' font where they fit their column  // documented geometry
                          // that text may grow from
    WindowOpenFlag openFlag_;
    bool keepAddressText_ = false;  // a continuous read is running
    bool treeMousePressed_ = false;
    // A name is being typed into the tree (Qt's search by the first letters):
    // Space belongs to it, until another key or a click ends it.
    bool treeSearching_ = false;
    double scale_ = 1.0;  // how much the form grew for a larger font
};

}  // namespace quarnel
