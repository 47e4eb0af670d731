#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "cli/completion.h"
#include "cli/option_table.h"
#include "tests/support/golden_files.h"

using plimbrook::testing::readFile;
using plimbrook::testing::writeFile;

namespace {

// Runs `program` in `folder` with nothing of the user's shell setup: a home of its own.
QString run(const QString& program, const QStringList& args, const QString& folder,
            const QString& home, const QStringList& environment = {}) {
    QProcess process;
    QProcessEnvironment env;
    env.insert("PATH", qEnvironmentVariable("PATH"));
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_CACHE_HOME", home + "/.cache");
    env.insert("LC_ALL", "C.UTF-8");
    for (const QString& pair : environment) {
        env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    }
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder);
    process.start(program, args);
    if (!process.waitForFinished(60'000) || process.exitCode() != 0) {
        qWarning("%s: %s", qPrintable(program), process.readAllStandardError().constData());
        return "(failed)";
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString sortedWords(const QString& text) {
    QStringList words = text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    words.sort();
    return words.join(' ');
}

QString bashCompletionsDir() {
    QProcess process;
    process.start("pkg-config", {"--variable=completionsdir", "bash-completion"});
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

}  // namespace

// The completions are installed by dist/'s rules into a prefix of the test's own, and
// each shell is asked, as it would be at a prompt, what it offers.
class TestCompletion : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void upToDate_data();
    void upToDate();
    void installedWhereShellsLook_data();
    void installedWhereShellsLook();
    void bash_data();
    void bash();
    void fish_data();
    void fish();

private:
    QTemporaryDir prefix_;
    QTemporaryDir home_;
    QTemporaryDir folder_;  // where the shells complete file names
    QString bashFile_;
};

void TestCompletion::initTestCase() {
    QVERIFY(prefix_.isValid() && home_.isValid() && folder_.isValid());
    QProcess install;
    install.start("cmake", {"-DCOMPONENT=convert", "-DCMAKE_INSTALL_PREFIX=" + prefix_.path(), "-P",
                            PLIMBROOK_DIST_BUILD_DIR "/cmake_install.cmake"});
    QVERIFY(install.waitForFinished(60'000));
    QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    const QString bashDir = bashCompletionsDir();
    QVERIFY(bashDir.startsWith("/usr/"));
    bashFile_ = prefix_.path() + bashDir.mid(4) + "/plimbrook-convert";
    QVERIFY(QDir(folder_.path()).mkpath("out"));
    QVERIFY(QDir(folder_.path()).mkpath("prog"));
    QVERIFY(writeFile(folder_.filePath("GAME.srm"), "x"));
    QVERIFY(writeFile(folder_.filePath("KEEP.bbd"), "x"));
}

void TestCompletion::upToDate_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("made");
    QTest::newRow("bash") << "plimbrook-convert.bash"
                          << QString::fromStdString(plimbrook::cli::bashCompletion());
    QTest::newRow("zsh") << "_plimbrook-convert"
                         << QString::fromStdString(plimbrook::cli::zshCompletion());
    QTest::newRow("fish") << "plimbrook-convert.fish"
                          << QString::fromStdString(plimbrook::cli::fishCompletion());
}

// What the packages install is what the option table makes now.
void TestCompletion::upToDate() {
    QFETCH(QString, file);
    QFETCH(QString, made);
    const QByteArray kept = readFile(PLIMBROOK_SOURCE_DIR "/cli/completion/" + file);
    QVERIFY2(QString::fromUtf8(kept) == made,
             "cli/completion/ is older than the option table: cmake --build DIR --target "
             "update_completions");
}

void TestCompletion::installedWhereShellsLook_data() {
    QTest::addColumn<QString>("shell");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("expected");
    const QString share = prefix_.path() + "/share";
    // bash-completion loads a command's completion on first use from its folders under
    // XDG_DATA_DIRS.
    QTest::newRow("bash") << "bash"
                          << QStringList{"-c",
                                         "source /usr/share/bash-completion/bash_completion && "
                                         "__load_completion plimbrook-convert && "
                                         "complete -p plimbrook-convert"}
                          << QStringList{"XDG_DATA_DIRS=" + share}
                          << "complete -o filenames -F _plimbrook_convert plimbrook-convert\n";
    // compinit reads the #compdef line of each file in fpath.
    QTest::newRow("zsh") << "zsh"
                         << QStringList{"-f", "-c",
                                        "fpath=(" + share +
                                            "/zsh/vendor-completions $fpath); "
                                            "autoload -U compinit && compinit -u -D && "
                                            "print -r -- $_comps[plimbrook-convert]"}
                         << QStringList{} << "_plimbrook-convert\n";
    // fish loads a command's completion from its vendor folders, once the command is on PATH.
    const QString bin = QFileInfo(PLIMBROOK_CONVERT_PATH).path();
    QTest::newRow("fish") << "fish" << QStringList{"-c", "complete -C 'plimbrook-convert to-s'"}
                          << QStringList{"XDG_DATA_DIRS=" + share + ":/usr/share",
                                         "PATH=" + bin + ":" + qEnvironmentVariable("PATH")}
                          << "to-srm\twrite an SRAM save for each BBD file or other copier's "
                             "save, with \".srm\" in\n";
}

void TestCompletion::installedWhereShellsLook() {
    QFETCH(QString, shell);
    QFETCH(QStringList, args);
    QFETCH(QStringList, environment);
    QFETCH(QString, expected);
    QCOMPARE(run(shell, args, folder_.path(), home_.path(), environment), expected);
}

void TestCompletion::bash_data() {
    QTest::addColumn<QStringList>("words");  // the command line, the last word being completed
    QTest::addColumn<QString>("offered");    // sorted

    const auto row = [](const char* tag, const QString& line, const QString& offered) {
        QStringList words = line.split(' ');
        QTest::newRow(tag) << words << offered;
    };
    row("commands", "plimbrook-convert ", "comment info to-bbd to-srm");
    row("command_started", "plimbrook-convert to", "to-bbd to-srm");
    row("command_after_option", "plimbrook-convert -f to-b", "to-bbd");
    row("options_of_to_bbd", "plimbrook-convert to-bbd --f", "--force --format");
    row("options_of_comment", "plimbrook-convert comment -", "--help --raw --version -V -h");
    row("options_of_info", "plimbrook-convert info --", "--format --help --json --version");
    row("formats_to_bbd", "plimbrook-convert to-bbd -F ", "fig gd3 swc ufo ufosd");
    row("formats_info", "plimbrook-convert info --format ", "gd3");
    row("sizes_to_srm", "plimbrook-convert to-srm -s ", "1 16 2 32 4 8 auto");
    row("sizes_to_bbd", "plimbrook-convert to-bbd --size ", "16 2 32 8");
    row("sizes_before_command", "plimbrook-convert -s ", "1 16 2 32 4 8 auto");
    row("save_formats", "plimbrook-convert to-srm --save-format r", "retron5");
    row("folders", "plimbrook-convert to-bbd -d ", "out prog");
    row("files", "plimbrook-convert to-bbd -n G", "GAME.srm");
    row("output_file", "plimbrook-convert to-srm -o K", "KEEP.bbd");
    row("comment_text", "plimbrook-convert to-bbd -c ", "");
    row("value_is_no_command", "plimbrook-convert -c to-bbd to-", "to-bbd to-srm");
    row("files_only_after_dashes", "plimbrook-convert to-bbd -- --f", "");
}

void TestCompletion::bash() {
    QFETCH(QStringList, words);
    QFETCH(QString, offered);
    QString quoted;
    for (const QString& word : words) {
        quoted += " '" + word + "'";
    }
    const QString script = "source '" + bashFile_ + "' || exit 1\n" + "COMP_WORDS=(" + quoted +
                           ")\n" + QString("COMP_CWORD=%1\n").arg(words.size() - 1) +
                           "_plimbrook_convert\n"
                           "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
    QCOMPARE(sortedWords(run("bash", {"-c", script}, folder_.path(), home_.path())), offered);
}

void TestCompletion::fish_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("offered");  // sorted, without their descriptions
    QTest::newRow("commands") << "plimbrook-convert "
                              << "comment info to-bbd to-srm";
    QTest::newRow("options_of_info") << "plimbrook-convert info --"
                                     << "--format --help --json --version";
    QTest::newRow("sizes_to_srm") << "plimbrook-convert to-srm --size "
                                  << "1 16 2 32 4 8 auto";
    QTest::newRow("formats_to_bbd") << "plimbrook-convert to-bbd -F"
                                    << "-Ffig -Fgd3 -Fswc -Fufo -Fufosd";
    QTest::newRow("files") << "plimbrook-convert to-srm K"
                           << "KEEP.bbd";
}

void TestCompletion::fish() {
    QFETCH(QString, line);
    QFETCH(QString, offered);
    const QString file = prefix_.path() + "/share/fish/vendor_completions.d/plimbrook-convert.fish";
    QString out =
        run("fish", {"--no-config", "-c", "source '" + file + "'; complete -C '" + line + "'"},
            folder_.path(), home_.path());
    QStringList words;
    for (const QString& completion : out.split('\n', Qt::SkipEmptyParts)) {
        words << completion.section('\t', 0, 0);
    }
    QCOMPARE(sortedWords(words.join(' ')), offered);
}

QTEST_GUILESS_MAIN(TestCompletion)
#include "tst_completion.moc"
