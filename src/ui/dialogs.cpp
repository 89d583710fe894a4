#include "ui/dialogs.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>

constexpr int DIALOG_WIDTH = 820;
constexpr int DIALOG_HEIGHT = 500;

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
    dialog.resize(DIALOG_WIDTH, DIALOG_HEIGHT);
    // Size, kind and date whole; the name takes the rest.
    if (auto* details = dialog.findChild<QTreeView*>()) {
        QHeaderView* header = details->header();
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
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
