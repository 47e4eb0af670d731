#include "cli/convert_options.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "core/bbd_layout.h"

namespace plimbrook::cli {

namespace {

enum Applies : unsigned {
    kToBbd = 1u << 0,
    kToSrm = 1u << 1,
    kComment = 1u << 2,
    kInfo = 1u << 3,
    kWriters = kToBbd | kToSrm,
    kCopierFiles = kToBbd | kToSrm | kInfo,
    kAll = kToBbd | kToSrm | kComment | kInfo,
};

enum class Id {
    Comment,
    Template,
    OutputDir,
    Output,
    Size,
    Format,
    SaveFormat,
    Force,
    Raw,
    Help,
    Version
};

struct OptionInfo {
    std::string_view name;
    Id id;
    bool takesValue;
    unsigned applies;
};

constexpr std::array<OptionInfo, 11> kOptions = {{
    {"--comment", Id::Comment, true, kToBbd},
    {"--template", Id::Template, true, kToBbd},
    {"--output-dir", Id::OutputDir, true, kWriters},
    {"--output", Id::Output, true, kWriters},
    {"--size", Id::Size, true, kWriters},
    {"--format", Id::Format, true, kCopierFiles},
    {"--save-format", Id::SaveFormat, true, kToSrm},
    {"--force", Id::Force, false, kWriters},
    {"--raw", Id::Raw, false, kComment},
    {"--help", Id::Help, false, kAll},
    {"--version", Id::Version, false, kAll},
}};

struct CommandName {
    std::string_view name;
    Command command;
    unsigned bit;
};

constexpr std::array<CommandName, 4> kCommands = {{
    {"to-bbd", Command::ToBbd, kToBbd},
    {"to-srm", Command::ToSrm, kToSrm},
    {"comment", Command::Comment, kComment},
    {"info", Command::Info, kInfo},
}};

// The values of --size: KiB, or for to-srm "auto", for what the file says. to-bbd keeps at least
// 2 KiB: the smallest chip a copier file's copies can be told from.
struct SaveSizeName {
    std::string_view name;
    std::optional<std::size_t> bytes;
    unsigned applies;
};
constexpr std::size_t kKiB = plimbrook::layout::kKiB;
constexpr std::array<SaveSizeName, 7> kSaveSizes = {{
    {"auto", std::nullopt, kToSrm},
    {"1", 1 * kKiB, kToSrm},
    {"2", 2 * kKiB, kWriters},
    {"4", 4 * kKiB, kToSrm},
    {"8", 8 * kKiB, kWriters},
    {"16", 16 * kKiB, kWriters},
    {"32", 32 * kKiB, kWriters},
}};

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

const OptionInfo& findOption(std::string_view name) {
    const auto found = std::find_if(kOptions.begin(), kOptions.end(),
                                    [&](const OptionInfo& option) { return option.name == name; });
    if (found == kOptions.end()) {
        throw UsageError("unknown option " + quoted(name));
    }
    return *found;
}

bool isOption(const std::string& arg) {
    return arg.size() > 1 && arg.front() == '-';
}

// The command the first argument names. Only an option may stand in its place, and only to
// ask for the help or the version; no command then.
const CommandName* takeCommand(const std::vector<std::string>& args, ConvertOptions& options) {
    if (args.empty()) {
        throw UsageError("missing command");
    }
    const std::string& first = args.front();
    const auto command = std::find_if(kCommands.begin(), kCommands.end(),
                                      [&](const CommandName& c) { return c.name == first; });
    if (command != kCommands.end()) {
        options.command = command->command;
        return &*command;
    }
    if (!isOption(first)) {
        throw UsageError("unknown command " + quoted(first));
    }
    return nullptr;
}

// One option as written: "--name", "--name=value", or "-h".
struct OptionWord {
    const OptionInfo& option;
    std::optional<std::string_view> value;  // the part after '=', if there is one
};

OptionWord optionWord(const std::string& arg) {
    const std::string_view whole = arg == "-h" ? std::string_view("--help") : std::string_view(arg);
    const auto equals = whole.find('=');
    const OptionInfo& option = findOption(whole.substr(0, equals));
    if (equals == std::string_view::npos) {
        return {option, std::nullopt};
    }
    return {option, whole.substr(equals + 1)};
}

void refuseValue(const OptionWord& word) {
    if (word.value) {
        throw UsageError("option " + quoted(word.option.name) + " takes no value");
    }
}

// What --help or --version asks for instead of a run.
ConvertOptions::Action actionOf(const OptionWord& word) {
    refuseValue(word);
    return word.option.id == Id::Help ? ConvertOptions::Action::Help
                                      : ConvertOptions::Action::Version;
}

void checkApplies(const OptionInfo& option, const CommandName* command) {
    if (command == nullptr) {
        throw UsageError("missing command");
    }
    if ((option.applies & command->bit) == 0) {
        throw UsageError("option " + quoted(option.name) + " does not apply to " +
                         std::string(command->name));
    }
}

// The option's value, from after its '=' or from the next argument, which `next` then moves
// past; empty for an option that takes none.
std::string takeValue(const OptionWord& word, const std::vector<std::string>& args,
                      std::size_t& next) {
    const OptionInfo& option = word.option;
    if (!option.takesValue) {
        refuseValue(word);
        return {};
    }
    std::string value;
    if (word.value) {
        value = std::string(*word.value);
    } else if (next + 1 < args.size()) {
        // The value is taken as it stands, so a comment may start with a dash.
        value = args[++next];
    } else {
        throw UsageError("option " + quoted(option.name) + " needs a value");
    }
    // Only the comment may be empty: an empty name would only fail later, file by file.
    if (value.empty() && option.id != Id::Comment) {
        throw UsageError("option " + quoted(option.name) + " needs a value");
    }
    return value;
}

std::optional<std::size_t> saveSizeValue(const std::string& value, Command command) {
    const unsigned bit = command == Command::ToBbd ? kToBbd : kToSrm;
    const auto size = std::find_if(kSaveSizes.begin(), kSaveSizes.end(), [&](const auto& known) {
        return known.name == value && (known.applies & bit) != 0;
    });
    if (size == kSaveSizes.end()) {
        throw UsageError(std::string("option '--size' takes ") +
                         (bit == kToBbd ? "2, 8, 16 or 32" : "auto, 1, 2, 4, 8, 16 or 32") +
                         ", not " + quoted(value));
    }
    return size->bytes;
}

CopierFormat formatValue(const std::string& value) {
    const FormatWords* format = formatNamed(value);
    if (format == nullptr) {
        throw UsageError("option '--format' takes swc, fig, ufo, ufosd or gd3, not " +
                         quoted(value));
    }
    return format->format;
}

SaveFormat saveFormatValue(const std::string& value) {
    if (value == "srm") {
        return SaveFormat::Srm;
    }
    if (value == "retron5") {
        return SaveFormat::Retron5;
    }
    throw UsageError("option '--save-format' takes srm or retron5, not " + quoted(value));
}

void setOption(ConvertOptions& options, Id id, const std::string& value) {
    switch (id) {
        case Id::Comment:
            options.comment = value;
            break;
        case Id::Template:
            options.templatePath = value;
            break;
        case Id::OutputDir:
            options.outputDir = value;
            break;
        case Id::Output:
            options.output = value;
            break;
        case Id::Size:
            options.saveSize = saveSizeValue(value, options.command);
            break;
        case Id::Format:
            options.format = formatValue(value);
            break;
        case Id::SaveFormat:
            options.saveFormat = saveFormatValue(value);
            break;
        case Id::Force:
            options.force = true;
            break;
        case Id::Raw:
            options.raw = true;
            break;
        case Id::Help:
        case Id::Version:
            break;
    }
}

// What each option allows alone, the whole command line may still not: checked once all of it
// is read.
void checkWhole(const ConvertOptions& options, const CommandName* command) {
    if (command == nullptr) {
        throw UsageError("missing command");
    }
    if (options.inputs.empty()) {
        throw UsageError("no input files");
    }
    if (options.output && options.outputDir) {
        throw UsageError("options '--output' and '--output-dir' cannot be used together");
    }
    if (options.output && options.inputs.size() != 1) {
        throw UsageError("option '--output' takes exactly one input file");
    }
    // The other formats' headers are fixed, or absent: there is nowhere to put either.
    if (options.command == Command::ToBbd && options.format && !hasCommentField(*options.format)) {
        const std::string format = "--format " + std::string(wordsOf(*options.format).option);
        if (options.comment) {
            throw UsageError("option '--comment' does not apply to " + format +
                             ": only swc files carry a comment");
        }
        if (options.templatePath) {
            throw UsageError("option '--template' does not apply to " + format +
                             ": only swc files take their header from the template");
        }
    }
}

void addInput(ConvertOptions& options, const std::string& arg, std::size_t position) {
    options.inputs.push_back(arg);
    options.inputPositions.push_back(position);
}

}  // namespace

ConvertOptions parseOptions(const std::vector<std::string>& args) {
    ConvertOptions options;
    const CommandName* command = takeCommand(args, options);

    // After "--" every argument is a file, even one that starts with a dash.
    bool filesOnly = false;
    for (std::size_t next = command != nullptr ? 1 : 0; next < args.size(); ++next) {
        const std::string& arg = args[next];
        if (filesOnly || !isOption(arg)) {
            addInput(options, arg, next);
        } else if (arg == "--") {
            filesOnly = true;
        } else {
            const OptionWord word = optionWord(arg);
            if (word.option.id == Id::Help || word.option.id == Id::Version) {
                options.action = actionOf(word);
                return options;
            }
            checkApplies(word.option, command);
            setOption(options, word.option.id, takeValue(word, args, next));
        }
    }

    checkWhole(options, command);
    return options;
}

}  // namespace plimbrook::cli
