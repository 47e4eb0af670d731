#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/conversion.h"
#include "core/copier_formats.h"

namespace plimbrook::cli {

enum class Command { ToBbd, ToSrm, Comment, Info };

// What one invocation asked for, before any file is touched.
struct ConvertOptions {
    enum class Action { Run, Help, Version };
    Action action = Action::Run;
    Command command = Command::ToBbd;
    // The command whose own help was asked for; none: the whole help.
    std::optional<Command> helpCommand;
    std::optional<std::string> comment;
    std::optional<std::string> templatePath;
    std::optional<std::string> outputDir;
    std::optional<std::string> output;
    // to-srm: the size of each SRAM save written, in bytes; no value: as the file says.
    // to-bbd: how much of each save to keep, where it is longer.
    std::optional<std::size_t> saveSize;
    // What to-srm writes.
    SaveFormat saveFormat = SaveFormat::Srm;
    // The copier file to-bbd writes; for to-srm and info, what to read each input as. No value:
    // a Super Wild Card BBD file, or for reading, what each file's header says.
    std::optional<CopierFormat> format;
    bool force = false;
    bool noClobber = false;  // an output that exists is skipped, not an error
    bool quiet = false;      // errors only
    bool verbose = false;    // a line for each file written
    bool progress = false;   // progress and summary even where standard error is no terminal
    bool raw = false;
    bool json = false;
    std::vector<std::string> inputs;
    // Where each input stood among the arguments, so that only file names are expanded where
    // the program itself expands wildcards.
    std::vector<std::size_t> inputPositions;
};

// A command line that cannot be run; the message says what is wrong with it.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `args` excludes the program name. Options may come before or after the command and the files,
// as "--name value", "--name=value", "-n value", "-nvalue" or several letters in one ("-fq");
// "--" ends them. "--help" and "--version" win where met.
ConvertOptions parseOptions(const std::vector<std::string>& args);

}  // namespace plimbrook::cli
