#include "window_platform.h"

#include "comment_box.h"
#include "qt_text.h"

namespace plimbrook {

WindowPlatform::WindowPlatform(Dialogs& desktop, CommentBox* commentBox)
    : desktop_(desktop), commentBox_(commentBox) {}

std::optional<std::string> WindowPlatform::PromptOpenFile(const std::string& title,
                                                          const std::string& filters,
                                                          int filterIndex) {
    return desktop_.PromptOpenFile(title, filters, filterIndex);
}

std::optional<std::string> WindowPlatform::PromptSaveFile(const std::string& title,
                                                          const std::string& filters,
                                                          int filterIndex) {
    return desktop_.PromptSaveFile(title, filters, filterIndex);
}

void WindowPlatform::SetFileName(const std::string& path) {
    desktop_.SetFileName(path);
}

std::optional<std::string> WindowPlatform::PromptFolder(const std::string& title) {
    return desktop_.PromptFolder(title);
}

std::string WindowPlatform::PromptText(const std::string& prompt, const std::string& title,
                                       const std::string& startText) {
    return desktop_.PromptText(prompt, title, startText);
}

void WindowPlatform::ShowMessage(const std::string& text, MessageIcon icon,
                                 const std::string& title) {
    desktop_.ShowMessage(text, icon, title);
}

bool WindowPlatform::ConfirmWarning(const std::string& text, const std::string& title) {
    return desktop_.ConfirmWarning(text, title);
}

std::optional<int> WindowPlatform::PromptChoice(const std::string& text, const std::string& title,
                                                const std::vector<std::string>& choices,
                                                int defaultChoice) {
    return desktop_.PromptChoice(text, title, choices, defaultChoice);
}

void WindowPlatform::OpenAddress(WindowHandle owner, const std::string& address) {
    desktop_.OpenAddress(owner, address);
}

std::string WindowPlatform::commentText() const {
    return commentBox_ ? commentBox_->comment().toStdString() : std::string();
}

void WindowPlatform::setCommentText(const std::string& text) {
    if (commentBox_) {
        commentBox_->setComment(toQString(text));
    }
}

}  // namespace plimbrook
