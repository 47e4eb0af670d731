#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/convert_options.h"

namespace plimbrook::cli {

// The one table of commands and options: the parser, the help, the suggestions for a mistyped
// word and the shells' completions are all made from it.

enum CommandBit : unsigned {
    kToBbd = 1u << 0,
    kToSrm = 1u << 1,
    kComment = 1u << 2,
    kInfo = 1u << 3,
    kWriters = kToBbd | kToSrm,
    kCopierFiles = kToBbd | kToSrm | kInfo,
    kAll = kToBbd | kToSrm | kComment | kInfo,
};

enum class OptionId {
    Comment,
    Template,
    OutputDir,
    Output,
    Size,
    Format,
    SaveFormat,
    Force,
    NoClobber,
    Quiet,
    Verbose,
    Progress,
    Raw,
    Json,
    Help,
    Version,
};

// What an option's value is, for the shells to complete.
enum class ValueKind { None, Text, File, Folder, Word };

// One option as some commands take it. An option whose meaning differs between commands (--size,
// --format) has a row for each, under one name.
struct OptionRow {
    std::string_view name;  // "--comment"
    char letter;            // 'c' for "-c"; 0: none
    OptionId id;
    ValueKind value;
    std::string_view valueName;  // "TEXT" in the help; empty for a flag
    unsigned applies;            // CommandBits
    std::string_view help;       // the help's lines, '\n' between them
};

struct CommandRow {
    std::string_view name;
    Command command;
    CommandBit bit;
    std::string_view synopsis;  // after "plimbrook-convert", lines of the help's usage
    std::string_view help;      // what it does, lines of the help
};

std::span<const OptionRow> optionTable();
std::span<const CommandRow> commandTable();

// The row of `word` ("--size", "-s") that applies to `command`, else its first row; null for an
// option not known.
const OptionRow* findOption(std::string_view word, unsigned command = kAll);
const CommandRow* findCommand(std::string_view name);
const CommandRow& commandSpec(Command command);

// "-s, --size" or "    --raw", as the help and the completions name an option.
std::string optionLabel(const OptionRow& option);

// The values an option with a ValueKind::Word takes with `command`, as the user types them.
std::vector<std::string_view> valueWords(const OptionRow& option, unsigned command);

// The known word nearest a mistyped one, for "did you mean"; empty if none is near enough.
std::string_view nearestWord(std::string_view typed, const std::vector<std::string_view>& known);
std::vector<std::string_view> optionNames();
std::vector<std::string_view> commandNames();

}  // namespace plimbrook::cli
