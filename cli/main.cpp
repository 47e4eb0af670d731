#include <iostream>
#include <string>
#include <vector>

#include "convert_app.h"
#include "file_access.h"
#include "standard_descriptors.h"

int main(int argc, char** argv) {
    namespace cli = plimbrook::cli;
    // Before any file is opened, so none of them can become standard output or error.
    plimbrook::openClosedStandardDescriptors();
    plimbrook::removeTemporariesOnTermination();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const cli::ConvertEnvironment environment{
        cli::templateBeside(cli::runningProgramPath(argc > 0 ? argv[0] : "")),
    };
    int status = cli::runConvert(args, std::cout, std::cerr, environment);

    // A comment listing piped into a full disk or a closed pipe must not look like success.
    if (!std::cout.flush()) {
        std::cerr << cli::kProgramName << ": standard output: write error\n";
        status = cli::kExitSomeFailed;
    }
    return status;
}
