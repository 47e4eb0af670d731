#pragma once

#include <string>

#include "core/conversion.h"
#include "window_commands/commands.h"

namespace plimbrook::command_steps {

// The steps the window's commands share.

// The header template, read whole; where it is gone or cut short, the user is told as at
// start-up and the command ends.
HeaderTemplate readTemplate(CommandContext& context, FileChannels& channels);

// What a file holds, read by the one rule every face of the program uses.
FileReading readGiven(FileSystem& fs, const std::string& path);

// Where the copies differ, only the user knows whether the body is one 32 KiB save: the size
// they choose. A cancelled question ends the command.
std::size_t askSizeWhenCopiesDiffer(Dialogs& dialogs, const FileReading& reading);

// Replacing a file the new one is made from would lose it: such a target, reached by any name
// (another case of the name included), is kept, with `refuse` called instead.
ReplaceOptions keepingInput(FileSystem& fs, const InputFile& input, std::function<void()> refuse);

// Inputs are closed before the output is committed, so that a failure anywhere leaves the
// target untouched and no success is reported.
void closeAndCommit(FileChannels& channels);

// The same name in the same folder with another extension: where a given file's counterpart
// goes unless the user says otherwise.
std::string withExtension(const std::string& path, std::string_view extension);

}  // namespace plimbrook::command_steps
