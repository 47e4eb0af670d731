#include "cli/option_table.h"

#include <algorithm>
#include <array>

#include "core/app_facts.h"
#include "core/bbd_layout.h"
#include "core/copier_formats.h"

namespace plimbrook::cli {

namespace {

using V = ValueKind;

// The help's lines are at most 56 characters: they start at column 24 of 80.
constexpr std::string_view kCommentHelp =
    "the comment stored in each BBD file, cut or padded to\n"
    "77 characters (default: \"Enter a Comment and stuff.\")";
static_assert(kCommentHelp.find(kDefaultComment) != std::string_view::npos);
static_assert(layout::kCommentLength == 77);
constexpr std::string_view kTemplateHelp =
    "the header template (default: Stuff.dat beside the\n"
    "program)";
static_assert(kTemplateHelp.find(kTemplateFileName) != std::string_view::npos);

constexpr std::array<OptionRow, 18> kOptions = {{
    {"--format", 'F', OptionId::Format, V::Word, "FORMAT", kToBbd,
     "the copier file to-bbd writes:\n"
     "  swc    Super Wild Card BBD file (.bbd), the default\n"
     "  fig    Pro Fighter save (.sav)\n"
     "  ufo    Super UFO save (.ufo)\n"
     "  ufosd  Super UFO Pro 8 SD save (.ufosd), 128 KiB\n"
     "  gd3    Game Doctor save (.gd3), the 32 KiB alone\n"
     "Only swc files carry a comment and use the template."},
    {"--format", 'F', OptionId::Format, V::Word, "FORMAT", kToSrm | kInfo,
     "to-srm and info tell copier files by what they hold,\n"
     "but a 32 KiB file is a Game Doctor save only with gd3"},
    {"--comment", 'c', OptionId::Comment, V::Text, "TEXT", kToBbd, kCommentHelp},
    {"--template", 't', OptionId::Template, V::File, "FILE", kToBbd, kTemplateHelp},
    {"--size", 's', OptionId::Size, V::Word, "KIB", kToBbd,
     "to-bbd: keep the first 2, 8, 16 or 32 KiB of each save"},
    {"--size", 's', OptionId::Size, V::Word, "KIB", kToSrm,
     "to-srm: the size of each save: 1, 2, 4, 8, 16 or 32,\n"
     "or auto (default): 8 when the four copies agree, 16\n"
     "when the halves do, else 32"},
    {"--save-format", 0, OptionId::SaveFormat, V::Word, "SAVE", kToSrm,
     "what to-srm writes: srm (default), or retron5 for a\n"
     "Retron 5 save (.sav)"},
    {"--output-dir", 'd', OptionId::OutputDir, V::Folder, "DIR", kWriters,
     "write the new files into DIR instead of beside their\n"
     "inputs"},
    {"--output", 'o', OptionId::Output, V::File, "FILE", kWriters,
     "write the new file to FILE (one input only)"},
    {"--force", 'f', OptionId::Force, V::None, "", kWriters,
     "replace output files that already exist"},
    {"--no-clobber", 'n', OptionId::NoClobber, V::None, "", kWriters,
     "skip a file whose output already exists, and count it\n"
     "as skipped, not failed: a batch that stopped halfway\n"
     "can be run again as it stands"},
    {"--quiet", 'q', OptionId::Quiet, V::None, "", kWriters, "print errors only"},
    {"--verbose", 'v', OptionId::Verbose, V::None, "", kWriters,
     "print a line for each file written"},
    {"--progress", 0, OptionId::Progress, V::None, "", kWriters,
     "show progress and a summary even where standard error\n"
     "is not a terminal (on a terminal, a batch longer than\n"
     "a second shows its progress, every batch a summary)"},
    {"--raw", 0, OptionId::Raw, V::None, "", kComment,
     "print all 77 characters of each comment, trailing\n"
     "spaces included"},
    {"--json", 0, OptionId::Json, V::None, "", kInfo,
     "print one JSON document of every file instead (its\n"
     "fields are in the manual)"},
    {"--help", 'h', OptionId::Help, V::None, "", kAll,
     "show this help, or with a command its own, and exit"},
    {"--version", 'V', OptionId::Version, V::None, "", kAll,
     "show the version and licence, and exit"},
}};

// Lines of at most 69 characters: they start at column 11.
constexpr std::array<CommandRow, 4> kCommands = {{
    {"to-bbd", Command::ToBbd, kToBbd,
     "to-bbd [-F FORMAT] [-c TEXT] [-t FILE] [-s KIB]\n"
     "[-d DIR | -o FILE] [-f | -n] [-q | -v] [--progress] SAVE...",
     "write a BBD file for each SAVE, with \".bbd\" in place of its\n"
     "extension (or another copier's file, see --format); saves of up to\n"
     "32 KiB, raw, padded, RetroArch-compressed or from a Retron 5"},
    {"to-srm", Command::ToSrm, kToSrm,
     "to-srm [-F gd3] [-s KIB] [--save-format SAVE]\n"
     "[-d DIR | -o FILE] [-f | -n] [-q | -v] [--progress] COPIER-FILE...",
     "write an SRAM save for each BBD file or other copier's save, with\n"
     "\".srm\" in place of its extension"},
    {"comment", Command::Comment, kComment, "comment [--raw] BBD...",
     "print the comment of each BBD file, one line each; of several\n"
     "files, each line starts with the file's name and \": \""},
    {"info", Command::Info, kInfo, "info [-F gd3] [--json] FILE...",
     "tell what each file holds, the save image a conversion would use\n"
     "and its CRC-32, or why no conversion takes the file"},
}};

// What --size takes: KiB, or for to-srm "auto", for what the file says. to-bbd keeps at least
// 2 KiB: the smallest chip a copier file's copies can be told from.
struct SizeWord {
    std::string_view word;
    unsigned applies;
};
constexpr std::array<SizeWord, 7> kSizeWords = {{
    {"auto", kToSrm},
    {"1", kToSrm},
    {"2", kWriters},
    {"4", kToSrm},
    {"8", kWriters},
    {"16", kWriters},
    {"32", kWriters},
}};

// The number of single-character edits (insert, delete, replace, swap two neighbours) that make
// one word the other.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = i + j;
                continue;
            }
            const std::size_t replace = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, replace});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

std::span<const OptionRow> optionTable() {
    return kOptions;
}

std::span<const CommandRow> commandTable() {
    return kCommands;
}

const OptionRow* findOption(std::string_view word, unsigned command) {
    const OptionRow* first = nullptr;
    for (const OptionRow& option : kOptions) {
        const bool named = word.size() == 2 && word[0] == '-' && word[1] != '-'
                               ? option.letter == word[1]
                               : option.name == word;
        if (!named) {
            continue;
        }
        if ((option.applies & command) != 0) {
            return &option;
        }
        first = first ? first : &option;
    }
    return first;
}

const CommandRow* findCommand(std::string_view name) {
    const auto found = std::find_if(kCommands.begin(), kCommands.end(),
                                    [&](const CommandRow& c) { return c.name == name; });
    return found == kCommands.end() ? nullptr : &*found;
}

const CommandRow& commandSpec(Command command) {
    return *std::find_if(kCommands.begin(), kCommands.end(),
                         [&](const CommandRow& c) { return c.command == command; });
}

std::string optionLabel(const OptionRow& option) {
    const std::string letter = option.letter ? std::string{'-', option.letter, ','} : "   ";
    return letter + " " + std::string(option.name);
}

std::vector<std::string_view> valueWords(const OptionRow& option, unsigned command) {
    std::vector<std::string_view> words;
    switch (option.id) {
        case OptionId::Size:
            for (const SizeWord& size : kSizeWords) {
                if ((size.applies & command) != 0) {
                    words.push_back(size.word);
                }
            }
            break;
        case OptionId::Format:
            // Only gd3 changes what to-srm and info read.
            for (const FormatWords& format : choosableFormats()) {
                if ((command & kToBbd) != 0 || format.format == CopierFormat::GameDoctor) {
                    words.push_back(format.option);
                }
            }
            break;
        case OptionId::SaveFormat:
            words = {"srm", "retron5"};
            break;
        default:
            break;
    }
    return words;
}

std::string_view nearestWord(std::string_view typed, const std::vector<std::string_view>& known) {
    // Within a third of the word's length, so that "--frobnicate" suggests nothing.
    std::size_t best = std::max<std::size_t>(1, typed.size() / 3) + 1;
    std::string_view nearest;
    for (const std::string_view word : known) {
        const std::size_t distance = editDistance(typed, word);
        if (distance < best) {
            best = distance;
            nearest = word;
        }
    }
    return nearest;
}

std::vector<std::string_view> optionNames() {
    std::vector<std::string_view> names;
    for (const OptionRow& option : kOptions) {
        if (std::find(names.begin(), names.end(), option.name) == names.end()) {
            names.push_back(option.name);
        }
    }
    return names;
}

std::vector<std::string_view> commandNames() {
    std::vector<std::string_view> names;
    for (const CommandRow& command : kCommands) {
        names.push_back(command.name);
    }
    return names;
}

}  // namespace plimbrook::cli
