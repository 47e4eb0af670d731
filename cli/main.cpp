#include <iostream>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/convert_app.h"
#include "core/files/file_access.h"
#ifdef _WIN32
#include "cli/windows_command_line.h"
#else
#include "core/files/standard_descriptors.h"
#endif

namespace {

namespace cli = plimbrook::cli;

int run(const std::vector<std::string>& args, const std::string& programPath) {
    plimbrook::removeTemporariesOnTermination();
    cli::ConvertEnvironment environment{cli::templateBeside(programPath)};
    environment.errIsTerminal = cli::standardErrorIsTerminal();
    int status = cli::runConvert(args, std::cout, std::cerr, environment);

    // A comment listing piped into a full disk or a closed pipe must not look like success.
    if (!std::cout.flush()) {
        std::cerr << cli::kProgramName << ": standard output: write error\n";
        status = cli::kExitSomeFailed;
    }
    return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    cli::prepareConsole();
    return run(cli::expandWildcards(cli::utf8Arguments(argc, argv)), cli::windowsProgramPath());
}
#else
int main(int argc, char** argv) {
    // Before any file is opened, so none of them can become standard output or error.
    plimbrook::openClosedStandardDescriptors();
    return run({argv + 1, argv + argc}, cli::runningProgramPath(argc > 0 ? argv[0] : ""));
}
#endif
