#pragma once

#include <string>
#include <string_view>

namespace plimbrook::cli {

// Text as it may safely go to a terminal, on standard output as on standard error: control
// characters, C1 controls and bytes that are not UTF-8, any of which a terminal may obey, are
// shown as \xNN.
std::string terminalSafe(std::string_view text);

}  // namespace plimbrook::cli
