#include "windows/logging/LogFileDialog.h"

#include <QFileDialog>

namespace quarnel {

FileChooser LogFileDialog() {
    return [](QWidget* parent, const QString& caption, const QString& startDir,
              const QString& filter) -> std::optional<QString> {
        const QString path = QFileDialog::getSaveFileName(
            parent, caption, startDir, filter, nullptr, QFileDialog::DontConfirmOverwrite);
        if (path.isEmpty()) return std::nullopt;
        return path;
    };
}

}  // namespace quarnel
