#include "convert_options.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "bbd_layout.h"
#include "copier_format_words.h"

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

enum class Id { Comment, Template, OutputDir, Output, Size, Format, Force, Raw, Help, Version };

struct OptionInfo {
    std::string_view name;
    Id id;
    bool takesValue;
    unsigned applies;
};

constexpr std::array<OptionInfo, 10> kOptions = {{
    {"--comment", Id::Comment, true, kToBbd},
    {"--template", Id::Template, true, kToBbd},
    {"--output-dir", Id::OutputDir, true, kWriters},
    {"--output", Id::Output, true, kWriters},
    {"--size", Id::Size, true, kToSrm},
    {"--format", Id::Format, true, kCopierFiles},
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

// The values of --size: KiB, or "auto" for what the BBD file's copies say.
struct SaveSizeName {
    std::string_view name;
    std::optional<std::size_t> bytes;
};
constexpr std::array<SaveSizeName, 4> kSaveSizes = {{
    {"auto", std::nullopt},
    {"8", plimbrook::layout::kSramSize},
    {"16", plimbrook::layout::kHalfBodySize},
    {"32", plimbrook::layout::kMaxSaveSize},
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

}  // namespace

ConvertOptions parseOptions(const std::vector<std::string>& args) {
    ConvertOptions options;
    if (args.empty()) {
        throw UsageError("missing command");
    }

    std::size_t next = 0;
    unsigned commandBit = 0;
    const std::string& first = args[next];
    const auto command = std::find_if(kCommands.begin(), kCommands.end(),
                                      [&](const CommandName& c) { return c.name == first; });
    if (command != kCommands.end()) {
        options.command = command->command;
        commandBit = command->bit;
        ++next;
    } else if (!isOption(first)) {
        throw UsageError("unknown command " + quoted(first));
    }

    bool filesOnly = false;
    for (; next < args.size(); ++next) {
        const std::string& arg = args[next];
        if (filesOnly || !isOption(arg)) {
            options.inputs.push_back(arg);
            options.inputPositions.push_back(next);
            continue;
        }
        if (arg == "--") {
            filesOnly = true;
            continue;
        }

        const std::string_view whole =
            arg == "-h" ? std::string_view("--help") : std::string_view(arg);
        const auto equals = whole.find('=');
        const OptionInfo& option = findOption(whole.substr(0, equals));
        if (option.id == Id::Help || option.id == Id::Version) {
            if (equals != std::string_view::npos) {
                throw UsageError("option " + quoted(option.name) + " takes no value");
            }
            options.action = option.id == Id::Help ? ConvertOptions::Action::Help
                                                   : ConvertOptions::Action::Version;
            return options;
        }
        if (commandBit == 0) {
            throw UsageError("missing command");
        }
        if ((option.applies & commandBit) == 0) {
            throw UsageError("option " + quoted(option.name) + " does not apply to " +
                             std::string(command->name));
        }

        std::string value;
        if (option.takesValue) {
            if (equals != std::string_view::npos) {
                value = std::string(whole.substr(equals + 1));
            } else if (next + 1 < args.size()) {
                // The value is taken as it stands, so a comment may start with a dash.
                value = args[++next];
            } else {
                throw UsageError("option " + quoted(option.name) + " needs a value");
            }
        } else if (equals != std::string_view::npos) {
            throw UsageError("option " + quoted(option.name) + " takes no value");
        }
        // Only the comment may be empty: an empty name would only fail later, file by file.
        if (option.takesValue && value.empty() && option.id != Id::Comment) {
            throw UsageError("option " + quoted(option.name) + " needs a value");
        }

        switch (option.id) {
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
            case Id::Size: {
                const auto size =
                    std::find_if(kSaveSizes.begin(), kSaveSizes.end(),
                                 [&](const SaveSizeName& known) { return known.name == value; });
                if (size == kSaveSizes.end()) {
                    throw UsageError("option '--size' takes auto, 8, 16 or 32, not " +
                                     quoted(value));
                }
                options.saveSize = size->bytes;
                break;
            }
            case Id::Format: {
                const FormatWords* format = formatNamed(value);
                if (format == nullptr) {
                    throw UsageError("option '--format' takes swc, fig, ufo or gd3, not " +
                                     quoted(value));
                }
                options.format = format->format;
                break;
            }
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

    if (commandBit == 0) {
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
    return options;
}

}  // namespace plimbrook::cli
