#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <sstream>

#include "cli/convert_options.h"
#include "cli/option_table.h"
#include "cli/usage.h"

using plimbrook::cli::Command;
using plimbrook::cli::ConvertOptions;
using plimbrook::cli::OptionRow;
using plimbrook::cli::parseOptions;
using plimbrook::cli::UsageError;

namespace {

std::vector<std::string> toArgs(const QStringList& list) {
    std::vector<std::string> args;
    for (const QString& arg : list) {
        args.push_back(arg.toStdString());
    }
    return args;
}

// What a command line asked for, in a few words: "to-bbd force comment=Hi inputs=GAME.srm".
QString described(const ConvertOptions& options) {
    if (options.action != ConvertOptions::Action::Run) {
        QString what = options.action == ConvertOptions::Action::Help ? "help" : "version";
        if (options.helpCommand) {
            what += " " + QString::fromUtf8(plimbrook::cli::commandSpec(*options.helpCommand).name);
        }
        return what;
    }
    QStringList words = {QString::fromUtf8(plimbrook::cli::commandSpec(options.command).name)};
    const std::pair<bool, const char*> flags[] = {
        {options.force, "force"},     {options.noClobber, "no-clobber"}, {options.quiet, "quiet"},
        {options.verbose, "verbose"}, {options.progress, "progress"},    {options.raw, "raw"},
        {options.json, "json"},
    };
    for (const auto& [set, name] : flags) {
        if (set) {
            words << name;
        }
    }
    const auto value = [&](const char* name, const std::optional<std::string>& text) {
        if (text) {
            words << QString(name) + "=" + QString::fromStdString(*text);
        }
    };
    value("comment", options.comment);
    value("template", options.templatePath);
    value("output-dir", options.outputDir);
    value("output", options.output);
    if (options.saveSize) {
        words << "size=" + QString::number(*options.saveSize / 1024);
    }
    if (options.format) {
        words << "format=" + QString::fromUtf8(plimbrook::wordsOf(*options.format).option);
    }
    QStringList inputs;
    for (const std::string& input : options.inputs) {
        inputs << QString::fromStdString(input);
    }
    return words.join(' ') + " inputs=" + inputs.join(',');
}

QString helpOf(std::optional<Command> command) {
    std::ostringstream out;
    plimbrook::cli::printUsage(out, command);
    return QString::fromStdString(out.str());
}

QByteArray sourceFile(const char* name) {
    QFile file(QStringLiteral(PLIMBROOK_SOURCE_DIR "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestCliConventions : public QObject {
    Q_OBJECT

private slots:
    void parsing_data();
    void parsing();
    void helpFits_data();
    void helpFits();
    void commandHelpNamesItsOptions_data();
    void commandHelpNamesItsOptions();
    void oneLetterEach();
    void manPageAgrees();
    void readmeAgrees();
};

void TestCliConventions::parsing_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");  // described(), or the usage error

    const auto row = [](const char* tag, QStringList args, const QString& expected) {
        QTest::newRow(tag) << args << expected;
    };
    row("short_comment", {"to-bbd", "-c", "Hi", "GAME.srm"}, "to-bbd comment=Hi inputs=GAME.srm");
    row("short_value_attached", {"to-bbd", "-cHi", "GAME.srm"},
        "to-bbd comment=Hi inputs=GAME.srm");
    row("short_value_dash", {"to-bbd", "-c", "-f", "GAME.srm"},
        "to-bbd comment=-f inputs=GAME.srm");
    row("short_flags_together", {"to-bbd", "-fq", "GAME.srm"},
        "to-bbd force quiet inputs=GAME.srm");
    row("flags_then_value", {"to-srm", "-nvs", "16", "A"},
        "to-srm no-clobber verbose size=16 inputs=A");
    row("every_short_value",
        {"to-bbd", "-F", "swc", "-t", "t.dat", "-s", "8", "-d", "out", "A", "B"},
        "to-bbd template=t.dat output-dir=out size=8 format=swc inputs=A,B");
    row("short_output", {"to-srm", "-o", "x.srm", "A"}, "to-srm output=x.srm inputs=A");
    row("options_before_command", {"-f", "-c", "Hi", "to-bbd", "GAME.srm"},
        "to-bbd force comment=Hi inputs=GAME.srm");
    row("value_before_command_is_no_command", {"-c", "to-srm", "to-bbd", "to-srm"},
        "to-bbd comment=to-srm inputs=to-srm");
    row("size_before_command_read_by_it", {"-s", "auto", "to-srm", "A"}, "to-srm inputs=A");
    row("size_before_command_refused_by_it", {"-s", "auto", "to-bbd", "A"},
        "option '--size' takes 2, 8, 16 or 32, not 'auto'");
    row("before_command_not_applying", {"--raw", "to-bbd", "A"},
        "option '--raw' does not apply to to-bbd");
    row("progress", {"to-bbd", "--progress", "A"}, "to-bbd progress inputs=A");
    row("json", {"info", "--json", "A"}, "info json inputs=A");
    row("json_only_for_info", {"to-bbd", "--json", "A"},
        "option '--json' does not apply to to-bbd");
    row("quiet_only_for_writers", {"comment", "-q", "A"},
        "option '--quiet' does not apply to comment");
    row("quiet_and_verbose", {"to-bbd", "-q", "--verbose", "A"},
        "options '--quiet' and '--verbose' cannot be used together");
    row("force_and_no_clobber", {"to-srm", "-f", "-n", "A"},
        "options '--force' and '--no-clobber' cannot be used together");
    row("short_value_missing", {"to-bbd", "A", "-c"}, "option '--comment' needs a value");
    row("short_unknown_in_cluster", {"to-bbd", "-fx", "A"}, "unknown option '-x'");
    row("option_mistyped", {"to-bbd", "--forse", "A"},
        "unknown option '--forse'; did you mean '--force'?");
    row("option_letters_swapped", {"to-srm", "--otuput-dir", "d", "A"},
        "unknown option '--otuput-dir'; did you mean '--output-dir'?");
    row("option_far_from_any", {"to-bbd", "--frobnicate", "A"}, "unknown option '--frobnicate'");
    row("command_mistyped", {"to-bdb", "A"}, "unknown command 'to-bdb'; did you mean 'to-bbd'?");
    row("command_letter_off", {"infp", "A"}, "unknown command 'infp'; did you mean 'info'?");
    row("command_far_from_any", {"convert", "A"}, "unknown command 'convert'");
    row("help_of_command", {"to-srm", "-h"}, "help to-srm");
    row("help_before_command", {"-h", "to-srm"}, "help");
    row("version_short", {"-V"}, "version");
    row("version_after_command", {"info", "-V", "--bogus"}, "version info");
}

void TestCliConventions::parsing() {
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    QString actual;
    try {
        actual = described(parseOptions(toArgs(args)));
    } catch (const UsageError& error) {
        actual = QString::fromStdString(error.what());
    }
    QCOMPARE(actual, expected);
}

void TestCliConventions::helpFits_data() {
    QTest::addColumn<int>("index");  // of the command whose help it is; -1: the whole help
    QTest::newRow("whole") << -1;
    const auto commands = plimbrook::cli::commandTable();
    for (std::size_t i = 0; i < commands.size(); ++i) {
        QTest::newRow(commands[i].name.data()) << int(i);
    }
}

// Within 80 columns, as a terminal shows it by default.
void TestCliConventions::helpFits() {
    QFETCH(int, index);
    const auto commands = plimbrook::cli::commandTable();
    const QStringList lines =
        helpOf(index < 0 ? std::nullopt : std::optional(commands[std::size_t(index)].command))
            .split('\n');
    QVERIFY(lines.size() > 10);
    for (const QString& line : lines) {
        QVERIFY2(line.size() <= 80, qPrintable(QString::number(line.size()) + ": " + line));
    }
}

void TestCliConventions::commandHelpNamesItsOptions_data() {
    QTest::addColumn<int>("index");
    const auto commands = plimbrook::cli::commandTable();
    for (std::size_t i = 0; i < commands.size(); ++i) {
        QTest::newRow(commands[i].name.data()) << int(i);
    }
}

// A command's help names the options it takes, in its usage line too, and no other; the whole
// help names them all.
void TestCliConventions::commandHelpNamesItsOptions() {
    QFETCH(int, index);
    const auto& command = plimbrook::cli::commandTable()[std::size_t(index)];
    const QString help = helpOf(command.command);
    const QString whole = helpOf(std::nullopt);
    const QString synopsis = QString::fromUtf8(command.synopsis);
    for (const OptionRow& option : plimbrook::cli::optionTable()) {
        const QString label = QString::fromStdString(plimbrook::cli::optionLabel(option));
        QVERIFY2(whole.contains("  " + label), qPrintable(label));
        // A row of the same name may be the one that applies.
        const bool named =
            (plimbrook::cli::findOption(option.name, command.bit)->applies & command.bit) != 0;
        QVERIFY2(help.contains("  " + label) == named, qPrintable(label));
        const bool inUsage =
            synopsis.contains(QString::fromUtf8(option.name)) ||
            (option.letter != 0 && synopsis.contains(QRegularExpression(QString(R"((^|[\s\[|])-)") +
                                                                        option.letter + R"(\b)")));
        const bool helpOrVersion = option.id == plimbrook::cli::OptionId::Help ||
                                   option.id == plimbrook::cli::OptionId::Version;
        QVERIFY2(inUsage == (named && !helpOrVersion), qPrintable(label));
    }
}

// Each letter names one option, and an option has the same letter in each of its rows; the
// common ones have theirs.
void TestCliConventions::oneLetterEach() {
    std::map<char, std::string_view> owner;
    std::map<std::string_view, char> letterOf;
    for (const OptionRow& option : plimbrook::cli::optionTable()) {
        const auto [known, first] = letterOf.emplace(option.name, option.letter);
        QVERIFY2(known->second == option.letter, option.name.data());
        if (option.letter != 0) {
            const auto [it, inserted] = owner.emplace(option.letter, option.name);
            QVERIFY2(inserted || it->second == option.name, option.name.data());
        }
    }
    const std::pair<char, std::string_view> expected[] = {
        {'c', "--comment"}, {'o', "--output"},  {'d', "--output-dir"}, {'f', "--force"},
        {'F', "--format"},  {'s', "--size"},    {'t', "--template"},   {'V', "--version"},
        {'q', "--quiet"},   {'v', "--verbose"}, {'n', "--no-clobber"}, {'h', "--help"},
    };
    for (const auto& [letter, name] : expected) {
        QCOMPARE(owner[letter], name);
    }
}

// The manual gives each option as the help does ("\-c, \-\-comment"), and names none that the
// program does not take.
void TestCliConventions::manPageAgrees() {
    const QString man = QString::fromUtf8(sourceFile("cli/plimbrook-convert.1"));
    QVERIFY(!man.isEmpty());
    const auto names = plimbrook::cli::optionNames();
    for (const OptionRow& option : plimbrook::cli::optionTable()) {
        QString name = QString::fromUtf8(option.name).replace("-", "\\-");
        if (option.letter != 0) {
            name = QString("\\-") + option.letter + ", " + name;
        }
        QVERIFY2(man.contains(".B \"" + name) || man.contains(".BI \"" + name), qPrintable(name));
    }
    const QRegularExpression mentioned(R"(\\-\\-([a-z](?:[a-z]|\\-)*))");
    for (auto match = mentioned.globalMatch(man); match.hasNext();) {
        const std::string name = "--" + match.next().captured(1).replace("\\-", "-").toStdString();
        const bool placeholder = name == "--name";  // as in "--name value"
        QVERIFY2(placeholder || std::find(names.begin(), names.end(), name) != names.end(),
                 name.c_str());
    }
    for (const auto& command : plimbrook::cli::commandTable()) {
        QVERIFY(man.contains(".B plimbrook-convert " + QString::fromUtf8(command.name)));
    }
}

// The README names only options the program takes, and its examples run as written.
void TestCliConventions::readmeAgrees() {
    const QString readme = QString::fromUtf8(sourceFile("README.md"));
    QVERIFY(!readme.isEmpty());
    const auto names = plimbrook::cli::optionNames();
    const QRegularExpression mentioned(R"((?<![\w-])(--[a-z][a-z-]*))");
    for (auto match = mentioned.globalMatch(readme); match.hasNext();) {
        const std::string name = match.next().captured(1).toStdString();
        QVERIFY2(std::find(names.begin(), names.end(), name) != names.end(), name.c_str());
    }
    int examples = 0;
    const QRegularExpression example(R"(^(?:\.\\)?plimbrook-convert(?:\.exe)? ([^#\n]*))",
                                     QRegularExpression::MultilineOption);
    for (auto match = example.globalMatch(readme); match.hasNext(); ++examples) {
        const QString line = match.next().captured(1).trimmed();
        QStringList args;
        for (const auto& word : QRegularExpression(R"re("([^"]*)"|(\S+))re").globalMatch(line)) {
            args << (word.captured(1).isEmpty() ? word.captured(2) : word.captured(1));
        }
        try {
            parseOptions(toArgs(args));
        } catch (const UsageError& error) {
            QFAIL(qPrintable(line + ": " + error.what()));
        }
    }
    QVERIFY(examples >= 2);
}

QTEST_GUILESS_MAIN(TestCliConventions)
#include "tst_cli_conventions.moc"
