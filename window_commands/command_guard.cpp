#include "window_commands/command_guard.h"

namespace plimbrook::command_guard {

void refuse(Dialogs& dialogs, const std::string& text) {
    dialogs.ShowMessage(text, MessageIcon::Warning, std::string(kAppTitle));
    throw Refused{};
}

std::string chosen(std::optional<std::string> path) {
    if (!path) {
        throw Cancelled{};
    }
    return *std::move(path);
}

}  // namespace plimbrook::command_guard
