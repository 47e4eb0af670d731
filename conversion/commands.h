#pragma once

#include <optional>
#include <string>

#include "file_access.h"
#include "file_channels.h"
#include "platform.h"

namespace plimbrook {

// How a command ended. The user is told of completion and of a file refused for what it holds;
// the rest is for tests.
struct Outcome {
    enum class Kind { Completed, Cancelled, Failed, Refused };
    Kind kind = Kind::Completed;
    std::optional<FileError> error;  // set when Failed

    bool completed() const { return kind == Kind::Completed; }
};

struct CommandContext {
    Platform& platform;
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

}  // namespace plimbrook
