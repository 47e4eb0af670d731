#include "cli/completion.h"

#include <algorithm>
#include <sstream>

#include "cli/option_table.h"

namespace plimbrook::cli {

namespace {

constexpr std::string_view kMadeFrom =
    "# Made by make_completions from plimbrook-convert's option table; do not edit.\n";

// The options that apply to `commands`, each name once.
std::vector<const OptionRow*> optionsOf(unsigned commands) {
    std::vector<const OptionRow*> options;
    for (const OptionRow& option : optionTable()) {
        const bool seen = std::any_of(options.begin(), options.end(),
                                      [&](const OptionRow* o) { return o->name == option.name; });
        if ((option.applies & commands) != 0 && !seen) {
            options.push_back(&option);
        }
    }
    return options;
}

// "--size -s", or "--size|-s" with another separator.
std::string spellings(const OptionRow& option, std::string_view separator = " ") {
    std::string words(option.name);
    if (option.letter != 0) {
        words += separator;
        words += '-';
        words += option.letter;
    }
    return words;
}

// `word` added to a list of words between `separator`s.
void append(std::string& list, std::string_view word, char separator = ' ') {
    if (!list.empty()) {
        list += separator;
    }
    list += word;
}

std::string joined(const std::vector<std::string_view>& words) {
    std::string text;
    for (const std::string_view word : words) {
        append(text, word);
    }
    return text;
}

// Every value an option takes with any of `commands`.
std::vector<std::string_view> wordsFor(const OptionRow& option, unsigned commands) {
    std::vector<std::string_view> words;
    for (const CommandRow& command : commandTable()) {
        if ((command.bit & commands) == 0) {
            continue;
        }
        for (const std::string_view word : valueWords(option, command.bit)) {
            if (std::find(words.begin(), words.end(), word) == words.end()) {
                words.push_back(word);
            }
        }
    }
    return words;
}

// What the shells show beside an option or a command: its help up to the first bracket, colon
// or semicolon, on one line, at most 80 characters.
std::string summary(std::string_view help) {
    std::string text;
    for (const char c : help) {
        if (c == '\n' || (c == ' ' && !text.empty() && text.back() == ' ')) {
            text += text.empty() || text.back() == ' ' ? "" : " ";
        } else {
            text += c;
        }
    }
    for (const std::string_view command : commandNames()) {
        if (text.starts_with(std::string(command) + ": ")) {
            text.erase(0, command.size() + 2);
        }
    }
    text.erase(std::min(text.find_first_of("(:;"), text.size()));
    if (text.size() > 80) {
        text.erase(text.rfind(' ', 80));
    }
    text.erase(text.find_last_not_of(" ,") + 1);
    return text;
}

// Quoted for zsh, within '' and within the brackets of _arguments.
std::string zshQuoted(std::string_view text) {
    std::string quoted;
    for (const char c : text) {
        quoted += c == '\'' ? "'\\''" : c == ']' ? "\\]" : std::string(1, c);
    }
    return quoted;
}

// Quoted for fish, within ''.
std::string fishQuoted(std::string_view text) {
    std::string quoted;
    for (const char c : text) {
        quoted += c == '\'' || c == '\\' ? std::string{'\\', c} : std::string(1, c);
    }
    return quoted;
}

// The case arms that complete an option's value, after the option as a word of its own.
void bashValueCases(std::ostream& out) {
    for (const OptionRow* option : optionsOf(kAll)) {
        if (option->value == ValueKind::None) {
            continue;
        }
        out << "            " << spellings(*option, "|") << ")\n";
        switch (option->value) {
            case ValueKind::Word:
                out << "                case $command in\n";
                for (const CommandRow& command : commandTable()) {
                    const OptionRow& row = *findOption(option->name, command.bit);
                    const auto words = valueWords(row, command.bit);
                    if ((row.applies & command.bit) != 0 && !words.empty()) {
                        out << "                    " << command.name << ") words='"
                            << joined(words) << "' ;;\n";
                    }
                }
                out << "                    *) words='" << joined(wordsFor(*option, kAll))
                    << "' ;;\n                esac\n"
                    << "                COMPREPLY=($(compgen -W \"$words\" -- \"$cur\")) ;;\n";
                break;
            case ValueKind::File:
                out << "                COMPREPLY=($(compgen -f -- \"$cur\")) ;;\n";
                break;
            case ValueKind::Folder:
                out << "                COMPREPLY=($(compgen -d -- \"$cur\")) ;;\n";
                break;
            default:
                out << "                COMPREPLY=() ;;\n";
        }
    }
}

void bashOptionCases(std::ostream& out) {
    out << "        case $command in\n";
    for (const CommandRow& command : commandTable()) {
        std::vector<std::string> names;
        for (const OptionRow* option : optionsOf(command.bit)) {
            names.push_back(spellings(*option));
        }
        out << "            " << command.name << ") words='";
        for (std::size_t i = 0; i < names.size(); ++i) {
            out << (i ? " " : "") << names[i];
        }
        out << "' ;;\n";
    }
    std::string all;
    for (const OptionRow* option : optionsOf(kAll)) {
        append(all, spellings(*option));
    }
    out << "            *) words='" << all << "' ;;\n        esac\n";
}

// One option of a command as _arguments takes it: the options it excludes, its spellings, what
// it is, and how its value is completed.
void zshOption(std::ostream& out, const OptionRow& row, unsigned command) {
    const bool takes = row.value != ValueKind::None;
    out << "                    '";
    if (row.id == OptionId::Help || row.id == OptionId::Version) {
        out << "(- *)'";
    } else {
        out << "(" << spellings(row) << ")'";
    }
    if (row.letter != 0) {
        out << "{-" << row.letter << (takes ? "+," : ",") << row.name << (takes ? "=}" : "}");
    } else {
        out << row.name << (takes ? "=" : "");
    }
    out << "'[" << zshQuoted(summary(row.help)) << "]";
    switch (row.value) {
        case ValueKind::Word:
            out << ":" << row.valueName << ":(" << joined(valueWords(row, command)) << ")";
            break;
        case ValueKind::File:
            out << ":" << row.valueName << ":_files";
            break;
        case ValueKind::Folder:
            out << ":" << row.valueName << ":_files -/";
            break;
        case ValueKind::Text:
            out << ":" << row.valueName << ": ";
            break;
        case ValueKind::None:
            break;
    }
    out << "' \\\n";
}

}  // namespace

std::string bashCompletion() {
    std::string valueOptions;
    for (const OptionRow* option : optionsOf(kAll)) {
        if (option->value != ValueKind::None) {
            append(valueOptions, spellings(*option, "|"), '|');
        }
    }
    std::ostringstream out;
    out << "# bash completion for plimbrook-convert                   -*- shell-script -*-\n"
        << kMadeFrom << "\n"
        << "_plimbrook_convert()\n{\n"
        << "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
        << "    local command= files_only= words i\n"
        << "    COMPREPLY=()\n"
        << "    # The command is the first word that is no option nor an option's value.\n"
        << "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        << "        case ${COMP_WORDS[i]} in\n"
        << "            --) files_only=1 ;;\n"
        << "            " << valueOptions << ") [[ $files_only ]] || ((i++)) ;;\n"
        << "            -*) ;;\n"
        << "            *) [[ $command ]] || command=${COMP_WORDS[i]} ;;\n"
        << "        esac\n    done\n"
        << "    if [[ ! $files_only && $COMP_CWORD -gt 1 ]]; then\n"
        << "        case $prev in\n";
    bashValueCases(out);
    out << "            *) false ;;\n"
        << "        esac && return 0\n    fi\n"
        << "    if [[ ! $files_only && $cur == -* ]]; then\n";
    bashOptionCases(out);
    out << "        COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
        << "    elif [[ ! $command ]]; then\n"
        << "        COMPREPLY=($(compgen -W '" << joined(commandNames()) << "' -- \"$cur\"))\n"
        << "    else\n"
        << "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
        << "    fi\n"
        << "}\n"
        << "complete -o filenames -F _plimbrook_convert plimbrook-convert\n";
    return out.str();
}

std::string zshCompletion() {
    std::ostringstream out;
    out << "#compdef plimbrook-convert\n" << kMadeFrom << "\n";
    out << "local -a commands\ncommands=(\n";
    for (const CommandRow& command : commandTable()) {
        out << "    '" << command.name << ":" << zshQuoted(summary(command.help)) << "'\n";
    }
    out << ")\n"
        << "local context state state_descr line\n"
        << "typeset -A opt_args\n"
        << "_arguments -C \\\n"
        << "    '(- *)'{-h,--help}'[show the help and exit]' \\\n"
        << "    '(- *)'{-V,--version}'[show the version and exit]' \\\n"
        << "    '1:command:->command' \\\n"
        << "    '*::argument:->argument' && return\n"
        << "case $state in\n"
        << "    command) _describe -t commands command commands ;;\n"
        << "    argument)\n"
        << "        case $words[1] in\n";
    for (const CommandRow& command : commandTable()) {
        out << "            " << command.name << ")\n                _arguments \\\n";
        for (const OptionRow* option : optionsOf(command.bit)) {
            zshOption(out, *findOption(option->name, command.bit), command.bit);
        }
        out << "                    '*:file:_files' ;;\n";
    }
    out << "        esac ;;\nesac\n";
    return out.str();
}

std::string fishCompletion() {
    std::ostringstream out;
    const std::string commands = joined(commandNames());
    const std::string c = "complete -c plimbrook-convert";
    out << kMadeFrom << "\n"
        << c << " -f\n"
        << c << " -n 'not __fish_seen_subcommand_from " << commands << "' -a '" << commands
        << "'\n";
    for (const CommandRow& command : commandTable()) {
        out << c << " -n 'not __fish_seen_subcommand_from " << commands << "' -a " << command.name
            << " -d '" << fishQuoted(summary(command.help)) << "'\n";
    }
    for (const CommandRow& command : commandTable()) {
        std::string when = " -n '__fish_seen_subcommand_from ";
        when += command.name;
        when += '\'';
        for (const OptionRow* option : optionsOf(command.bit)) {
            const OptionRow& row = *findOption(option->name, command.bit);
            out << c << when;
            if (row.letter != 0) {
                out << " -s " << row.letter;
            }
            out << " -l " << row.name.substr(2);
            if (row.value == ValueKind::Word) {
                out << " -x -a '" << joined(valueWords(row, command.bit)) << "'";
            } else if (row.value == ValueKind::File) {
                out << " -r -F";
            } else if (row.value == ValueKind::Folder) {
                out << " -x -a '(__fish_complete_directories)'";
            } else if (row.value == ValueKind::Text) {
                out << " -x";
            }
            out << " -d '" << fishQuoted(summary(row.help)) << "'\n";
        }
        out << c << when << " -F\n";
    }
    return out.str();
}

}  // namespace plimbrook::cli
