#include "cli/usage.h"

#include <cctype>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/option_table.h"
#include "cli/program.h"
#include "core/app_facts.h"

namespace plimbrook::cli {

namespace {

constexpr std::size_t kHelpColumn = 24;     // where an option's help starts
constexpr std::size_t kCommandColumn = 11;  // where a command's help and usage go on

constexpr std::string_view kAbout =
    "Converts emulator SRAM saves (.srm) to and from Super Wild Card Battery Backup\n"
    "Data files (.bbd) and the save files of other copiers, and prints the comments\n"
    "that BBD files carry.\n";
constexpr std::string_view kExitStatus =
    "Exit status: 0 if every file was done (or skipped with -n), 1 if any failed,\n"
    "2 if the command line is wrong.\n";

// Each line of `text` after the first indented to `column`.
void printLines(std::ostream& out, std::string_view text, std::size_t column) {
    for (std::size_t start = 0, line = 0; start <= text.size(); ++line) {
        const auto end = std::min(text.find('\n', start), text.size());
        out << (line == 0 ? "" : std::string(column, ' ')) << text.substr(start, end - start)
            << '\n';
        start = end + 1;
    }
}

void printSynopsis(std::ostream& out, const CommandRow& command, std::string_view lead) {
    out << lead << kProgramName << ' ';
    printLines(out, command.synopsis, kCommandColumn);
}

void printOption(std::ostream& out, const OptionRow& option, bool withLabel) {
    std::string label;
    if (withLabel) {
        label = "  ";
        label += optionLabel(option);
    }
    if (withLabel && !option.valueName.empty()) {
        label += ' ';
        label += option.valueName;
    }
    if (label.size() + 2 > kHelpColumn) {
        out << label << '\n';
        label.clear();
    }
    out << label << std::string(kHelpColumn - label.size(), ' ');
    printLines(out, option.help, kHelpColumn);
}

// The options of `commands`, each named once: a second row of the same option goes on under
// the first.
void printOptions(std::ostream& out, unsigned commands) {
    out << "Options:\n";
    std::string_view last;
    for (const OptionRow& option : optionTable()) {
        if ((option.applies & commands) == 0) {
            continue;
        }
        printOption(out, option, option.name != last);
        last = option.name;
    }
}

void printCommandHelp(std::ostream& out, Command which) {
    const CommandRow& command = commandSpec(which);
    printSynopsis(out, command, "Usage: ");
    out << '\n';
    // The summary's lines, from its own help in the list of commands, as sentences.
    std::string text(command.help);
    text.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(text.front())));
    printLines(out, text + ".", 0);
    out << '\n';
    printOptions(out, command.bit);
    out << '\n' << kExitStatus;
}

}  // namespace

void printUsage(std::ostream& out, std::optional<Command> command) {
    if (command) {
        printCommandHelp(out, *command);
        return;
    }
    std::string_view lead = "Usage: ";
    for (const CommandRow& command : commandTable()) {
        printSynopsis(out, command, lead);
        lead = "       ";
    }
    out << '\n' << kAbout << '\n' << "Commands:\n";
    for (const CommandRow& command : commandTable()) {
        out << "  " << command.name << std::string(kCommandColumn - 2 - command.name.size(), ' ');
        printLines(out, command.help, kCommandColumn);
    }
    out << '\n';
    printOptions(out, kAll);
    out << '\n'
        << "Options may stand before the command. '" << kProgramName << " COMMAND --help' shows\n"
        << "the options of one command.\n\n"
        << kExitStatus;
}

void printVersion(std::ostream& out) {
    out << kProgramName << " (Plimbrook) " << versionText(kVersion) << '\n'
        << "Copyright (C) 2026 Wexmoor-Soft\n"
        << "License MIT: <https://opensource.org/licenses/MIT>\n"
        << "This is free software: you are free to change and redistribute it.\n"
        << "There is NO WARRANTY, to the extent permitted by law.\n";
}

}  // namespace plimbrook::cli
