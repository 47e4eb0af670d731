#pragma once

#include <string_view>

namespace plimbrook::cli {

inline constexpr std::string_view kProgramName = "plimbrook-convert";

enum ExitStatus : int {
    kExitSuccess = 0,
    kExitSomeFailed = 1,  // at least one file could not be converted or read
    kExitUsage = 2,
};

}  // namespace plimbrook::cli
