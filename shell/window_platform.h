#pragma once

#include <QPointer>

#include "platform.h"

namespace plimbrook {

class CommentBox;

// What the main window's commands see: the desktop's dialogs, messages and address hand-off,
// and the window's own comment box, the one place the commands' text meets it.
class WindowPlatform final : public Platform {
public:
    WindowPlatform(Dialogs& desktop, CommentBox* commentBox);

    std::optional<std::string> PromptOpenFile(const std::string& title, const std::string& filters,
                                              int filterIndex) override;
    std::optional<std::string> PromptSaveFile(const std::string& title, const std::string& filters,
                                              int filterIndex) override;
    void SetFileName(const std::string& path) override;
    std::optional<std::string> PromptFolder(const std::string& title) override;
    std::string PromptText(const std::string& prompt, const std::string& title,
                           const std::string& startText) override;
    void ShowMessage(const std::string& text, MessageIcon icon, const std::string& title) override;
    bool ConfirmWarning(const std::string& text, const std::string& title) override;
    std::optional<int> PromptChoice(const std::string& text, const std::string& title,
                                    const std::vector<std::string>& choices,
                                    int defaultChoice) override;
    void OpenAddress(WindowHandle owner, const std::string& address) override;
    std::string commentText() const override;
    void setCommentText(const std::string& text) override;

private:
    Dialogs& desktop_;
    QPointer<CommentBox> commentBox_;
};

}  // namespace plimbrook
