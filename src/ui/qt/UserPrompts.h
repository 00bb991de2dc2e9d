// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes and file-name dialogs of the settings dialogs and commands, behind one seam:
// the program shows real dialogs, tests install handlers that answer them without a modal
// loop.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace kavri::ui {

enum class MessageIcon { None, Warning };

struct MessageRequest {
    QWidget* parent = nullptr;
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::None;
};

enum class FileDialogMode {
    Save,  // asks before replacing an existing file; the folder must exist
    Open,  // the file must exist
};

struct FileRequest {
    QWidget* parent = nullptr;
    FileDialogMode mode = FileDialogMode::Open;
    QString filter;         // e.g. "Settings File (*.fws)"
    QString defaultSuffix;  // appended to a name typed without one, e.g. "fws"
};

// A message with an OK button; returns when the user has closed it.
void ShowMessage(const MessageRequest& request);

// The full path the user chose, or an empty string when the dialog was cancelled.
QString AskFileName(const FileRequest& request);

// Replaces the real dialogs while it exists (tests). Handlers left empty keep the real dialog.
class ScopedPromptHandlers {
public:
    using MessageHandler = std::function<void(const MessageRequest&)>;
    using FileHandler = std::function<QString(const FileRequest&)>;

    ScopedPromptHandlers(MessageHandler message, FileHandler file = {});
    ~ScopedPromptHandlers();
    ScopedPromptHandlers(const ScopedPromptHandlers&) = delete;
    ScopedPromptHandlers& operator=(const ScopedPromptHandlers&) = delete;

private:
    MessageHandler previousMessage_;
    FileHandler previousFile_;
};

}  // namespace kavri::ui
