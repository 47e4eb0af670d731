#pragma once

#include <iosfwd>

namespace plimbrook::cli {

// The help: every command and option, within 80 columns.
void printUsage(std::ostream& out);

}  // namespace plimbrook::cli
