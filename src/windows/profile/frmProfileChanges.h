// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What loading a profile will change: register, name, the chip's value and the
// file's. Load goes ahead, Cancel writes nothing.

#include <QDialog>
#include <memory>
#include <vector>

#include "device/Profile.h"

namespace Ui {
class frmProfileChanges;
}

namespace quarnel {

class frmProfileChanges : public QDialog {
    Q_OBJECT
  public:
    explicit frmProfileChanges(QWidget* parent = nullptr);
    ~frmProfileChanges() override;

    // warning: why the profile may not belong on this chip; empty when it does.
    void showChanges(const QString& file, const std::vector<RegisterChange>& changes,
                     const QString& warning);

  private:
    std::unique_ptr<Ui::frmProfileChanges> ui;
};

}  // namespace quarnel
