#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the shells of Unix do for a program and those of Windows leave to it.
namespace plimbrook::cli {

// The arguments after the program's name, from UTF-16 to UTF-8, with "/?" before any "--" as
// "--help". Started with none in a console window of its own, as by a double-click, the program
// is given "--help" and waits for a key before it ends and its window closes.
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv);

// Each file argument with * or ? in its last part replaced by the names in that folder that
// match it, sorted; one that matches nothing is kept, to be reported as missing. Option values
// and command lines that cannot be run are left as they are.
std::vector<std::string> expandWildcards(const std::vector<std::string>& args);

// Whether `name` matches `pattern`, where * stands for any run of characters and ? for one,
// ignoring case as Windows file names do.
bool matchesWildcard(std::wstring_view pattern, std::wstring_view name);

// The running program's own file.
std::string windowsProgramPath();

// Standard output and error get the program's bytes as they are, "\n" not turned into "\r\n",
// and a console shows them as UTF-8 until the program ends.
void prepareConsole();

}  // namespace plimbrook::cli
