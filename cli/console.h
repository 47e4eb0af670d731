#pragma once

namespace plimbrook::cli {

// Whether standard error is a terminal or console that a progress line can be redrawn on: on
// Windows a console, not a pipe or a file (nor the pipe of a terminal emulator that is no
// console).
bool standardErrorIsTerminal();

}  // namespace plimbrook::cli
