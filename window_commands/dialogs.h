#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plimbrook {

// Title of every message box the window shows but the tips.
inline constexpr std::string_view kAppTitle = "Dornquist";

// What the window says when its header template is missing or unusable, at start-up and when a
// command finds it gone since.
inline constexpr std::string_view kMissingTemplateText =
    "You are missing a vital data file, you will need to reinstall the program to fix this "
    "error.  This application will now close.";

enum class MessageIcon { Information, Warning, Critical };

// What the desktop offers the commands: the shared file dialog, the text prompt and the message
// box. The shell provides it with Qt; tests with a scripted stand-in. All text is UTF-8.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // `filters` is "description|pattern|description|pattern..."; `filterIndex` counts the pairs
    // from 1. Both prompts start on the path chosen last. No value means cancelled.
    virtual std::optional<std::string> PromptOpenFile(const std::string& title,
                                                      const std::string& filters,
                                                      int filterIndex) = 0;
    virtual std::optional<std::string> PromptSaveFile(const std::string& title,
                                                      const std::string& filters,
                                                      int filterIndex) = 0;
    // Makes `path` the path chosen last, where the next file prompt starts.
    virtual void SetFileName(const std::string& path) = 0;
    // A folder, chosen starting from the path chosen last; no value means cancelled.
    virtual std::optional<std::string> PromptFolder(const std::string& title) = 0;
    // The text confirmed; an empty text when cancelled.
    virtual std::string PromptText(const std::string& prompt, const std::string& title,
                                   const std::string& startText) = 0;
    virtual void ShowMessage(const std::string& text, MessageIcon icon,
                             const std::string& title) = 0;
    // A warning with OK and Cancel; true to go on.
    virtual bool ConfirmWarning(const std::string& text, const std::string& title) = 0;
    // A question answered by one of `choices` or by Cancel; `defaultChoice` counts from 0 and is
    // what Enter picks. The index chosen, or no value when cancelled.
    virtual std::optional<int> PromptChoice(const std::string& text, const std::string& title,
                                            const std::vector<std::string>& choices,
                                            int defaultChoice) = 0;
};

}  // namespace plimbrook
