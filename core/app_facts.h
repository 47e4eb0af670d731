#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <plimbrook/version.h>

namespace plimbrook {

// The header template that lies beside the program.
inline constexpr std::string_view kTemplateFileName = "Stuff.dat";

// Where both programs look for the header template: in the folder the program itself is in.
std::filesystem::path templatePathIn(const std::filesystem::path& programFolder);

inline constexpr std::string_view kDefaultComment = "Enter a Comment and stuff.";

// Major, ".", revision: the minor number is never shown, so 1.0.0 reads "1.0" and 2.5.7 "2.7".
std::string versionText(const Version& version);

}  // namespace plimbrook
