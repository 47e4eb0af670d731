#pragma once

#include <string>
#include <vector>

#include "window_commands/commands.h"

namespace plimbrook {

// Several files given at once (see ConvertGivenFiles).
Outcome convertSeveral(CommandContext& context, const std::vector<std::string>& paths);

}  // namespace plimbrook
