#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

#include "platform.h"

class QFileDialog;
class QWidget;

namespace plimbrook {

class CommentBox;

// The desktop behind the commands' Platform interface, on Qt. One file dialog serves every
// file prompt of every command, so the path chosen last is where the next prompt starts.
class QtPlatform final : public Platform {
public:
    // `parent` owns the dialogs; `commentBox` is the main window's comment box.
    QtPlatform(QWidget* parent, CommentBox* commentBox);
    ~QtPlatform() override;

    std::optional<std::string> PromptOpenFile(const std::string& title, const std::string& filters,
                                              int filterIndex) override;
    std::optional<std::string> PromptSaveFile(const std::string& title, const std::string& filters,
                                              int filterIndex) override;
    std::string PromptText(const std::string& prompt, const std::string& title,
                           const std::string& startText) override;
    void ShowMessage(const std::string& text, MessageIcon icon, const std::string& title) override;
    void OpenAddress(WindowHandle owner, const std::string& address) override;
    std::string commentText() const override;
    void setCommentText(const std::string& text) override;

    // CommonDialog1, created when first needed; tests reach in to answer it.
    QFileDialog* commonDialog();

    // "desc|pattern|desc|pattern" as Qt name filters that show the description alone and match
    // as the lists mean it: "*.*" takes every file, dot or not, and patterns ignore case, so a
    // "GAME.BBD" copied off a copier's floppy shows under "*.bbd".
    static QStringList nameFilters(const QString& filterList);

private:
    std::optional<std::string> promptFile(bool save, const std::string& title,
                                          const std::string& filters, int filterIndex);

    QWidget* parent_;
    QPointer<CommentBox> commentBox_;
    QPointer<QFileDialog> commonDialog1_;
    QString lastPath_;
};

}  // namespace plimbrook
