#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "cli/batch_report.h"
#include "cli/program.h"
#include "core/files/file_access.h"

namespace plimbrook::cli {

struct ConvertEnvironment {
    // The header template used when no --template is given: Stuff.dat beside the program.
    std::string defaultTemplatePath;
    FileSystem& fs = realFileSystem();
    // Where a batch's progress and summary go without --progress.
    bool errIsTerminal = false;
    Clock clock = {};  // none: the steady clock
};

// Runs one invocation; `args` excludes the program name. Results go to `out`, each failed
// file to `err` as one line "plimbrook-convert: FILE: REASON".
int runConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const ConvertEnvironment& environment);

// The template beside a program at `programPath`.
std::string templateBeside(std::string_view programPath);

// The running program's own file, links followed; `fallback` if the system will not say.
std::string runningProgramPath(std::string_view fallback);

}  // namespace plimbrook::cli
