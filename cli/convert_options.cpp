#include "cli/convert_options.h"

#include <algorithm>
#include <string_view>

#include "cli/option_table.h"
#include "core/bbd_layout.h"

namespace plimbrook::cli {

namespace {

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

std::string didYouMean(std::string_view typed, const std::vector<std::string_view>& known) {
    const std::string_view nearest = nearestWord(typed, known);
    return nearest.empty() ? "" : "; did you mean " + quoted(nearest) + "?";
}

bool isOption(const std::string& arg) {
    return arg.size() > 1 && arg.front() == '-';
}

// One option as written, and its value where the same word or the next argument gives one.
struct OptionWord {
    const OptionRow* option;
    std::string written;  // "--size" or "-s", as the user typed it
    std::optional<std::string> value;
};

const OptionRow& knownOption(std::string_view written) {
    const OptionRow* option = findOption(written);
    if (option == nullptr) {
        throw UsageError("unknown option " + quoted(written) +
                         (written.starts_with("--") ? didYouMean(written, optionNames()) : ""));
    }
    return *option;
}

// The value of an option that takes one, from the rest of its word or from the next argument,
// which `next` then moves past. The next argument is taken as it stands, so that a comment may
// start with a dash.
std::string valueAfter(const OptionRow& option, std::optional<std::string> rest,
                       const std::vector<std::string>& args, std::size_t& next) {
    if (rest) {
        return *rest;
    }
    if (next + 1 < args.size()) {
        return args[++next];
    }
    throw UsageError("option " + quoted(option.name) + " needs a value");
}

// "--name", "--name=value", or "-abc": letters of flags, the last of which may take the rest of
// the word, or else the next argument, as its value.
std::vector<OptionWord> optionWords(const std::vector<std::string>& args, std::size_t& next) {
    const std::string& arg = args[next];
    if (arg.starts_with("--")) {
        const auto equals = arg.find('=');
        const OptionRow& option = knownOption(std::string_view(arg).substr(0, equals));
        std::optional<std::string> value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
            if (option.value == ValueKind::None) {
                throw UsageError("option " + quoted(option.name) + " takes no value");
            }
        }
        if (option.value != ValueKind::None) {
            value = valueAfter(option, value, args, next);
        }
        return {{&option, arg.substr(0, equals), value}};
    }
    std::vector<OptionWord> words;
    for (std::size_t i = 1; i < arg.size(); ++i) {
        const std::string written = {'-', arg[i]};
        const OptionRow& option = knownOption(written);
        if (option.value == ValueKind::None) {
            words.push_back({&option, written, std::nullopt});
            continue;
        }
        std::optional<std::string> rest;
        if (i + 1 < arg.size()) {
            rest = arg.substr(i + 1);
        }
        words.push_back({&option, written, valueAfter(option, rest, args, next)});
        break;
    }
    return words;
}

std::string wordList(const std::vector<std::string_view>& words) {
    std::string list;
    for (std::size_t i = 0; i < words.size(); ++i) {
        list += i == 0 ? "" : i + 1 == words.size() ? " or " : ", ";
        list += words[i];
    }
    return list;
}

std::optional<std::size_t> saveSizeValue(const OptionRow& option, const std::string& value,
                                         const CommandRow& command) {
    const auto words = valueWords(option, command.bit);
    if (std::find(words.begin(), words.end(), value) == words.end()) {
        throw UsageError("option '--size' takes " + wordList(words) + ", not " + quoted(value));
    }
    if (value == "auto") {
        return std::nullopt;
    }
    return std::stoul(value) * layout::kKiB;
}

CopierFormat formatValue(const std::string& value) {
    const FormatWords* format = formatNamed(value);
    if (format == nullptr) {
        std::vector<std::string_view> names;
        for (const FormatWords& known : choosableFormats()) {
            names.push_back(known.option);
        }
        throw UsageError("option '--format' takes " + wordList(names) + ", not " + quoted(value));
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

void setFlag(ConvertOptions& options, OptionId id) {
    switch (id) {
        case OptionId::Force:
            options.force = true;
            break;
        case OptionId::NoClobber:
            options.noClobber = true;
            break;
        case OptionId::Quiet:
            options.quiet = true;
            break;
        case OptionId::Verbose:
            options.verbose = true;
            break;
        case OptionId::Progress:
            options.progress = true;
            break;
        case OptionId::Raw:
            options.raw = true;
            break;
        case OptionId::Json:
            options.json = true;
            break;
        default:
            break;
    }
}

// An option once the command is known: whether it applies, and what its value means.
void apply(ConvertOptions& options, const OptionWord& word, const CommandRow& command) {
    const OptionRow& option = *findOption(word.option->name, command.bit);
    if ((option.applies & command.bit) == 0) {
        throw UsageError("option " + quoted(option.name) + " does not apply to " +
                         std::string(command.name));
    }
    if (option.value == ValueKind::None) {
        setFlag(options, option.id);
        return;
    }
    const std::string& value = *word.value;
    // Only the comment may be empty: an empty name would only fail later, file by file.
    if (value.empty() && option.id != OptionId::Comment) {
        throw UsageError("option " + quoted(option.name) + " needs a value");
    }
    switch (option.id) {
        case OptionId::Comment:
            options.comment = value;
            break;
        case OptionId::Template:
            options.templatePath = value;
            break;
        case OptionId::OutputDir:
            options.outputDir = value;
            break;
        case OptionId::Output:
            options.output = value;
            break;
        case OptionId::Size:
            options.saveSize = saveSizeValue(option, value, command);
            break;
        case OptionId::Format:
            options.format = formatValue(value);
            break;
        case OptionId::SaveFormat:
            options.saveFormat = saveFormatValue(value);
            break;
        default:
            break;
    }
}

void refuseBoth(bool a, std::string_view aName, bool b, std::string_view bName) {
    if (a && b) {
        throw UsageError("options " + quoted(aName) + " and " + quoted(bName) +
                         " cannot be used together");
    }
}

// What each option allows alone, the whole command line may still not: checked once all of it
// is read.
void checkWhole(const ConvertOptions& options) {
    if (options.inputs.empty()) {
        throw UsageError("no input files");
    }
    refuseBoth(options.output.has_value(), "--output", options.outputDir.has_value(),
               "--output-dir");
    refuseBoth(options.force, "--force", options.noClobber, "--no-clobber");
    refuseBoth(options.quiet, "--quiet", options.verbose, "--verbose");
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

const CommandRow& knownCommand(const std::string& name) {
    const CommandRow* command = findCommand(name);
    if (command == nullptr) {
        throw UsageError("unknown command " + quoted(name) + didYouMean(name, commandNames()));
    }
    return *command;
}

}  // namespace

ConvertOptions parseOptions(const std::vector<std::string>& args) {
    ConvertOptions options;
    const CommandRow* command = nullptr;
    std::vector<OptionWord> beforeCommand;  // applied once the command says what they mean
    // After "--" every argument is a file, even one that starts with a dash.
    bool filesOnly = false;
    for (std::size_t next = 0; next < args.size(); ++next) {
        const std::string& arg = args[next];
        if (filesOnly || !isOption(arg)) {
            if (command != nullptr) {
                options.inputs.push_back(arg);
                options.inputPositions.push_back(next);
                continue;
            }
            command = &knownCommand(arg);
            options.command = command->command;
            for (const OptionWord& word : beforeCommand) {
                apply(options, word, *command);
            }
        } else if (arg == "--") {
            filesOnly = true;
        } else {
            for (const OptionWord& word : optionWords(args, next)) {
                const OptionId id = word.option->id;
                if (id == OptionId::Help || id == OptionId::Version) {
                    options.action = id == OptionId::Help ? ConvertOptions::Action::Help
                                                          : ConvertOptions::Action::Version;
                    options.helpCommand = command ? std::optional(command->command) : std::nullopt;
                    return options;
                }
                if (command != nullptr) {
                    apply(options, word, *command);
                } else {
                    beforeCommand.push_back(word);
                }
            }
        }
    }
    if (command == nullptr) {
        throw UsageError("missing command");
    }
    checkWhole(options);
    return options;
}

}  // namespace plimbrook::cli
