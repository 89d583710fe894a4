#include "ui/dialogs.h"

#include <QFileDialog>

static std::optional<std::string> AskFile(QWidget* owner, const FileFilter& filter,
                                          QFileDialog::AcceptMode mode) {
    QFileDialog dialog(owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromStdString(filter.description));
    dialog.setDefaultSuffix(QString::fromStdString(filter.default_extension));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst().toStdString();
}

std::optional<std::string> AskFileToOpen(QWidget* owner, const FileFilter& filter) {
    return AskFile(owner, filter, QFileDialog::AcceptOpen);
}

std::optional<std::string> AskFileToSave(QWidget* owner, const FileFilter& filter) {
    return AskFile(owner, filter, QFileDialog::AcceptSave);
}
