#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/files/file_access.h"
#include "window_commands/comment_field.h"
#include "window_commands/dialogs.h"
#include "window_commands/file_channels.h"

namespace plimbrook {

// How a command ended. The user is told of completion and of a file refused for what it holds;
// the rest is for tests.
struct Outcome {
    enum class Kind { Completed, Cancelled, Failed, Refused };
    Kind kind = Kind::Completed;
    std::optional<FileError> error;  // set when Failed

    bool completed() const { return kind == Kind::Completed; }
};

// What a command works with: the desktop's dialogs, the window's comment box and file channels,
// the header template, and the file system (a failing one in tests).
struct CommandContext {
    Dialogs& dialogs;
    CommentField& comment;
    FileChannels& channels;
    std::string templatePath;
    FileSystem& fs = realFileSystem();
};

// Each command runs under one guard: a cancelled prompt or a failed file step ends it at once,
// silently, with the target of any output exactly as it was. An input that is not what the
// command takes ends it the same way, after one message that says so.
Outcome SRAM2BBD(CommandContext& context);
Outcome BBD2SRAM(CommandContext& context);
Outcome OpenBBDComment(CommandContext& context);

// A file given from the desktop, dropped on the window or named on its command line: what it
// holds chooses SRAM -> BBD (a save) or BBD -> SRAM (a copier file), with the file as the input,
// so the open prompt is skipped and the save prompt starts on the same name with the other
// extension. The rest is as the command goes when started from the window.
Outcome ConvertGivenFile(CommandContext& context, const std::string& path);

// Several files given at once: one folder prompt for all the new files, one comment prompt for
// the BBD files among them, a question before any file is replaced, and one message at the end
// that counts what was converted and names what was not. A file that fails does not stop the
// others.
Outcome ConvertGivenFiles(CommandContext& context, const std::vector<std::string>& paths);

}  // namespace plimbrook
