#include "cli/convert_app.h"

#include <filesystem>
#include <ostream>
#include <system_error>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/convert_options.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "core/app_facts.h"

namespace plimbrook::cli {

namespace {

int runBatch(const ConvertOptions& options, std::ostream& out, std::ostream& err,
             const ConvertEnvironment& environment) {
    ReportSettings report;
    report.quiet = options.quiet;
    report.verbose = options.verbose;
    const bool writes = options.command == Command::ToBbd || options.command == Command::ToSrm;
    report.shown = writes && (options.progress || environment.errIsTerminal);
    report.now = environment.clock;
    Batch batch(options, out, err, environment.fs, report);
    switch (options.command) {
        case Command::ToBbd:
            batch.noteInputs();
            toBbd(batch, options.templatePath.value_or(environment.defaultTemplatePath));
            break;
        case Command::ToSrm:
            batch.noteInputs();
            toSrm(batch);
            break;
        case Command::Comment:
            printComments(batch);
            break;
        case Command::Info:
            printInfo(batch);
            break;
    }
    return batch.finish();
}

}  // namespace

int runConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const ConvertEnvironment& environment) {
    ConvertOptions options;
    try {
        options = parseOptions(args);
    } catch (const UsageError& error) {
        err << kProgramName << ": " << terminalSafe(error.what()) << "\n"
            << "Try '" << kProgramName << " --help' for more information.\n";
        return kExitUsage;
    }

    switch (options.action) {
        case ConvertOptions::Action::Help:
            printUsage(out, options.helpCommand);
            return kExitSuccess;
        case ConvertOptions::Action::Version:
            printVersion(out);
            return kExitSuccess;
        case ConvertOptions::Action::Run:
            break;
    }
    return runBatch(options, out, err, environment);
}

std::string templateBeside(std::string_view programPath) {
    const std::filesystem::path program(std::u8string(programPath.begin(), programPath.end()));
    const std::u8string name = templatePathIn(program.parent_path()).u8string();
    return std::string(name.begin(), name.end());
}

std::string runningProgramPath(std::string_view fallback) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(fallback) : self.string();
}

}  // namespace plimbrook::cli
