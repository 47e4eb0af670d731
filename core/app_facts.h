#pragma once

#include <string>
#include <string_view>

#include <plimbrook/version.h>

namespace plimbrook {

// The header template that lies beside the program.
inline constexpr std::string_view kTemplateFileName = "Stuff.dat";

inline constexpr std::string_view kDefaultComment = "Enter a Comment and stuff.";

// Major, ".", revision: the minor number is never shown, so 1.0.0 reads "1.0" and 2.5.7 "2.7".
std::string versionText(const Version& version);

}  // namespace plimbrook
