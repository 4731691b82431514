// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/profile/frmProfileChanges.h"

#include <QDir>
#include <QHeaderView>
#include <QPushButton>

#include "ui_frmProfileChanges.h"

namespace quarnel {
namespace {

// "50h (80)": the program's hex and the decimal beside it.
QString valueText(int value) {
    return QStringLiteral("%1 (%2)").arg(QString::fromStdString(RegisterKey(value))).arg(value);
}

}  // namespace

frmProfileChanges::frmProfileChanges(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmProfileChanges>()) {
    ui->setupUi(this);
    connect(ui->cmdLoad, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->tblChanges->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tblChanges->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
}

frmProfileChanges::~frmProfileChanges() = default;

void frmProfileChanges::showChanges(const QString& file, const std::vector<RegisterChange>& changes,
                                    const QString& warning) {
    ui->lblSummary->setText(QStringLiteral("Loading %1 writes %2 %3:")
                                .arg(QDir::toNativeSeparators(file))
                                .arg(changes.size())
                                .arg(changes.size() == 1 ? "register" : "registers"));
    // The core's messages start in lower case, to follow a program name.
    ui->lblWarning->setText(warning.left(1).toUpper() + warning.mid(1) + ". Load it anyway?");
    ui->lblWarning->setVisible(!warning.isEmpty());
    ui->tblChanges->setRowCount(static_cast<int>(changes.size()));
    for (int row = 0; row < static_cast<int>(changes.size()); ++row) {
        const RegisterChange& c = changes[static_cast<size_t>(row)];
        const QString cells[] = {QString::fromStdString(RegisterKey(c.address)),
                                 QString::fromStdString(c.name), valueText(c.chip),
                                 valueText(c.file)};
        for (int column = 0; column < 4; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            ui->tblChanges->setItem(row, column, item);
        }
    }
}

}  // namespace quarnel
