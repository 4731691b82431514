// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Check boxes that stand for register bits: the grey third state counts as
// unchecked, and a box is set without a third state.

#include <QCheckBox>

namespace quarnel {

inline bool isChecked(const QCheckBox* box) {
    return box->checkState() == Qt::Checked;
}

inline void setChecked(QCheckBox* box, bool checked) {
    box->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

}  // namespace quarnel
