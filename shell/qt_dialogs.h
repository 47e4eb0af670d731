#pragma once

#include <QString>
#include <QStringList>

#include "window_commands/dialogs.h"

class QWidget;

namespace plimbrook {

class FileDialog;

// The desktop's dialogs on Qt. Each file prompt gets a dialog of its own, which starts on the
// path chosen last by any command.
class QtDialogs final : public Dialogs {
public:
    // `parent` owns the dialogs.
    explicit QtDialogs(QWidget* parent);
    ~QtDialogs() override;

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

    // "desc|pattern|desc|pattern" as Qt name filters that show the description alone and match
    // as the lists mean it: "*.*" takes every file, dot or not, and patterns ignore case, so a
    // "GAME.BBD" copied off a copier's floppy shows under "*.bbd".
    static QStringList nameFilters(const QString& filterList);

private:
    std::optional<std::string> promptFile(bool save, const std::string& title,
                                          const std::string& filters, int filterIndex);
    // Shows the prompt; what it chose is where the next prompt starts.
    std::optional<std::string> ask(FileDialog& dialog);

    QWidget* parent_;
    QString lastPath_;
};

}  // namespace plimbrook
