// The command line's arguments as given: help asked for in every way, and arguments that are
// bytes rather than UTF-8, in comments, file names and options.
#include <QTest>

#include <sstream>

#include "cli/convert_app.h"
#include "tests/cli/golden_scene.h"

using namespace plimbrook::testing;
using namespace plimbrook::testing::golden;
using plimbrook::cli::runConvert;

class TestCliArguments : public QObject, private GoldenFolder {
    Q_OBJECT

private slots:
    void init() { enterFolder(); }
    void cleanup() { leaveFolder(); }

    void help_data();
    void help();
    void rawArguments_data();
    void rawArguments();
};

void TestCliArguments::help_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("command");  // whose own help it is; empty: the whole help
    QTest::newRow("alone") << QStringList{"--help"} << "";
    QTest::newRow("short") << QStringList{"-h"} << "";
    QTest::newRow("after_command") << QStringList{"to-bbd", "--help"} << "to-bbd";
    QTest::newRow("wins_over_missing_files")
        << QStringList{"comment", "--raw", "--help"} << "comment";
    QTest::newRow("wins_over_what_follows")
        << QStringList{"to-srm", "--help", "--bogus"} << "to-srm";
}

// However help is asked for, it is the same text, and the whole help names every command and
// option; a command's own starts with its usage.
void TestCliArguments::help() {
    QFETCH(QStringList, args);
    QFETCH(QString, command);
    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(runConvert(toArgs(args), out, err, environment()), 0);
    QCOMPARE(QString::fromStdString(err.str()), QString());

    std::ostringstream reference;
    runConvert(command.isEmpty() ? toArgs({"--help"}) : toArgs({command, "-h"}), reference, err,
               environment());
    QCOMPARE(out.str(), reference.str());
    const QString text = QString::fromStdString(out.str());
    QVERIFY(
        text.startsWith("Usage: plimbrook-convert " + (command.isEmpty() ? "to-bbd" : command)));
    if (!command.isEmpty()) {
        return;
    }
    for (const char* word : {"to-bbd",       "to-srm",
                             "comment",      "info",
                             "--comment",    "--template",
                             "--output-dir", "--output",
                             "--size",       "--format",
                             "--force",      "--raw",
                             "--version",    "Enter a Comment and stuff.",
                             "swc",          "fig",
                             "ufo",          "gd3",
                             ".sav",         ".ufo",
                             ".gd3"}) {
        QVERIFY2(text.contains(word), word);
    }
}

void TestCliArguments::rawArguments_data() {
    QTest::addColumn<QByteArrayList>("args");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<int>("status");
    QTest::addColumn<Files>("written");

    const auto commented = [](const QByteArray& stored) {
        return Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), stored)}};
    };
    // Each malformed sequence is one '?'; an overlong form never stands for the character it
    // spells.
    QTest::newRow("comment_overlong_slash") << QByteArrayList{"to-bbd", "--comment",
                                                              "a\xC0\xAF"
                                                              "b",
                                                              "GAME.srm"}
                                            << QByteArray() << 0 << commented("a?b");
    QTest::newRow("comment_truncated_sequence") << QByteArrayList{"to-bbd", "--comment",
                                                                  "a\xE2\x82"
                                                                  "b",
                                                                  "GAME.srm"}
                                                << QByteArray() << 0 << commented("a?b");

    // A name may hold what a terminal takes for commands; it is shown, not obeyed.
    QTest::newRow("escape_sequence_in_file_name")
        << QByteArrayList{"to-bbd", "bad\x1B]0;owned\x07.srm"}
        << QByteArray("plimbrook-convert: bad\\x1b]0;owned\\x07.srm: No such file or directory\n")
        << 1 << Files{};
    QTest::newRow("c1_control_and_stray_byte_in_file_name")
        << QByteArrayList{"to-srm",
                          "c1\xC2\x9B"
                          "2J\xFF.bbd"}
        << QByteArray("plimbrook-convert: c1\\xc2\\x9b2J\\xff.bbd: No such file or directory\n")
        << 1 << Files{};
    // An overlong form could spell a control character or a slash: shown as bytes.
    QTest::newRow("overlong_three_bytes_in_file_name")
        << QByteArrayList{"to-srm",
                          "a\xE0\x80\xAF"
                          "b.bbd"}
        << QByteArray("plimbrook-convert: a\\xe0\\x80\\xafb.bbd: No such file or directory\n") << 1
        << Files{};
    QTest::newRow("letters_in_file_name_kept")
        << QByteArrayList{"to-srm", "caf\xC3\xA9 \xE2\x9C\x93.bbd"}
        << QByteArray(
               "plimbrook-convert: caf\xC3\xA9 \xE2\x9C\x93.bbd: No such file or directory\n")
        << 1 << Files{};
    QTest::newRow("escape_sequence_in_unknown_option")
        << QByteArrayList{"to-bbd", "--\x1B[2J", "GAME.srm"}
        << usageError("unknown option '--\\x1b[2J'").toUtf8() << 2 << Files{};
}

// Arguments as the shell hands them over: bytes, not necessarily UTF-8.
void TestCliArguments::rawArguments() {
    QFETCH(QByteArrayList, args);
    QFETCH(QByteArray, err);
    QFETCH(int, status);
    QFETCH(Files, written);

    Files expected = snapshotTree(dir_->path());
    for (auto it = written.begin(); it != written.end(); ++it) {
        expected.insert(it.key(), it.value());
    }
    std::vector<std::string> raw;
    for (const QByteArray& arg : args) {
        raw.push_back(arg.toStdString());
    }
    std::ostringstream out;
    std::ostringstream errStream;
    QCOMPARE(runConvert(raw, out, errStream, environment()), status);
    QCOMPARE(QByteArray::fromStdString(errStream.str()), err);
    QCOMPARE(snapshotTree(dir_->path()), expected);
}

QTEST_GUILESS_MAIN(TestCliArguments)
#include "tst_cli_arguments.moc"
