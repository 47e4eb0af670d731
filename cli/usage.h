#pragma once

#include <iosfwd>
#include <optional>

#include "cli/convert_options.h"

namespace plimbrook::cli {

// The help, within 80 columns: of every command, or of one command and its options.
void printUsage(std::ostream& out, std::optional<Command> command = std::nullopt);

// The version, the copyright and the licence, as GNU programs give them.
void printVersion(std::ostream& out);

}  // namespace plimbrook::cli
