#pragma once

#include <string>

namespace plimbrook::cli {

// The shells' completions of plimbrook-convert, made from its option table (option_table.h), so
// that they offer what the parser takes. cli/completion/ keeps them as make_completions writes
// them, for the packages to install; a test checks that they are up to date.
std::string bashCompletion();  // for bash-completion's folder, as "plimbrook-convert"
std::string zshCompletion();   // for zsh's vendor-completions, as "_plimbrook-convert"
std::string fishCompletion();  // for fish's vendor_completions.d, as "plimbrook-convert.fish"

}  // namespace plimbrook::cli
