// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/UserPrompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <utility>

namespace kavri::ui {

namespace {

ScopedPromptHandlers::MessageHandler& MessageOverride() {
    static ScopedPromptHandlers::MessageHandler handler;
    return handler;
}

ScopedPromptHandlers::FileHandler& FileOverride() {
    static ScopedPromptHandlers::FileHandler handler;
    return handler;
}

}  // namespace

void ShowMessage(const MessageRequest& request) {
    if (MessageOverride()) {
        MessageOverride()(request);
        return;
    }
    QMessageBox box(
        request.icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
        request.caption, request.text, QMessageBox::Ok, request.parent);
    box.exec();
}

QString AskFileName(const FileRequest& request) {
    if (FileOverride()) return FileOverride()(request);
    QFileDialog dialog(request.parent);
    dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (request.mode == FileDialogMode::Save) {
        // Replacing an existing file is confirmed first (the dialog's default behaviour).
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

ScopedPromptHandlers::ScopedPromptHandlers(MessageHandler message, FileHandler file)
    : previousMessage_(std::exchange(MessageOverride(), std::move(message))),
      previousFile_(std::exchange(FileOverride(), std::move(file))) {}

ScopedPromptHandlers::~ScopedPromptHandlers() {
    MessageOverride() = std::move(previousMessage_);
    FileOverride() = std::move(previousFile_);
}

}  // namespace kavri::ui
