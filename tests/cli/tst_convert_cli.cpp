#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <set>
#include <sstream>

#include "app_facts.h"
#include "convert_app.h"
#include "failing_file_system.h"
#include "golden_files.h"

using plimbrook::cli::ConvertEnvironment;
using plimbrook::cli::runConvert;
using plimbrook::testing::bbdBytes;
using plimbrook::testing::commentField;
using plimbrook::testing::kHeader;
using plimbrook::testing::pattern;
using plimbrook::testing::readFile;
using plimbrook::testing::writeFile;

namespace {

QByteArray gameSave() {
    return pattern(8 * 1024, 1);
}
QByteArray bigSave() {
    return pattern(32 * 1024, 2);
}
QByteArray tinySave() {
    return pattern(1024, 3);
}
QByteArray oddSave() {
    return pattern(100, 4);
}
QByteArray stuffDat() {
    return pattern(512, 11);
}
QByteArray otherTemplate() {
    return pattern(600, 12);
}
QByteArray shortTemplate() {
    return pattern(100, 13);
}

QByteArray withZeros(QByteArray bytes, int size) {
    bytes.resize(size, '\0');
    return bytes;
}

// A BBD file built by hand from a template of any length: its first 512 bytes, zero-filled, then
// a comment given in Windows-1252.
QByteArray bbd(const QByteArray& headerTemplate, const QByteArray& image, const QByteArray& text) {
    return bbdBytes(withZeros(headerTemplate.left(kHeader), kHeader), commentField(text), image);
}

QByteArray keptImage() {
    return pattern(8 * 1024, 5);
}
QByteArray keptBbd() {
    return bbd(stuffDat(), keptImage(), "Kept comment");
}

// Control characters, Windows-1252 letters and a run of zero bytes, as another writer left it.
// Bytes that read back as C1 controls, which some terminals obey as escape sequences.
QByteArray c1CommentBbd() {
    QByteArray file = bbd(stuffDat(), keptImage(), "");
    file.replace(16, 77,
                 QByteArray("A\x9D"
                            "B\x81"
                            "C\x1B]0;x\x07")
                     .leftJustified(77, ' '));
    return file;
}

QByteArray oddCommentBbd() {
    QByteArray text("Line1\nLine2\t\xE9t\xE9 \x80");
    text.append(3, '\0');
    text.append("x");
    text = withZeros(text, 77);
    QByteArray file = bbd(stuffDat(), keptImage(), "");
    file.replace(16, 77, text);
    return file;
}

QByteArray longTarget() {
    return pattern(40'000, 6);
}

using Files = QMap<QString, QByteArray>;

// Everything in the folder, hidden files included, so stray temporary files show.
Files snapshot(const QString& root) {
    Files files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), readFile(path));
    }
    return files;
}

std::vector<std::string> toArgs(const QStringList& list) {
    std::vector<std::string> args;
    for (const QString& arg : list) {
        args.push_back(arg.toStdString());
    }
    return args;
}

QString usageError(const QString& message) {
    return "plimbrook-convert: " + message +
           "\nTry 'plimbrook-convert --help' for more information.\n";
}

}  // namespace

class TestConvertCli : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void invocations_data();
    void invocations();
    void help_data();
    void help();
    void everyFailingStep();
    void templateBesideProgram();
    void realProgram_data();
    void realProgram();

private:
    ConvertEnvironment environment() const {
        return {dir_->filePath("prog/Stuff.dat").toStdString()};
    }

    std::unique_ptr<QTemporaryDir> dir_;
    QString previousDir_;
};

// Each row starts from the same folder, and is run from inside it.
void TestConvertCli::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QDir(dir_->path()).mkpath("prog"));
    QVERIFY(QDir(dir_->path()).mkpath("sub"));
    const Files scene = {
        {"prog/Stuff.dat", stuffDat()}, {"other.dat", otherTemplate()},
        {"short.dat", shortTemplate()}, {"GAME.srm", gameSave()},
        {"BIG.srm", bigSave()},         {"TINY.srm", tinySave()},
        {"ODD.srm", oddSave()},         {"KEEP.bbd", keptBbd()},
        {"NOTES.bbd", oddCommentBbd()}, {"LONG.bbd", longTarget()},
        {"C1.bbd", c1CommentBbd()},
    };
    for (auto it = scene.begin(); it != scene.end(); ++it) {
        QVERIFY2(writeFile(dir_->filePath(it.key()), it.value()), qPrintable(it.key()));
    }
    previousDir_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_->path()));
}

void TestConvertCli::cleanup() {
    QDir::setCurrent(previousDir_);
    dir_.reset();
}

void TestConvertCli::invocations_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("status");
    QTest::addColumn<Files>("written");

    const QByteArray defaultText = "Enter a Comment and stuff.";
    const QByteArray gameBbd = bbd(stuffDat(), gameSave(), defaultText);

    // Conversions that succeed.
    QTest::newRow("to_bbd_default_comment_and_template") << QStringList{"to-bbd", "GAME.srm"} << ""
                                                         << "" << 0 << Files{{"GAME.bbd", gameBbd}};
    QTest::newRow("to_bbd_comment_and_template")
        << QStringList{"to-bbd", "--comment", "Hello", "--template", "other.dat", "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(otherTemplate(), gameSave(), "Hello")}};
    QTest::newRow("to_bbd_equals_form_after_files")
        << QStringList{"to-bbd", "GAME.srm", "--comment=a=b", "--template=other.dat"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(otherTemplate(), gameSave(), "a=b")}};
    QTest::newRow("to_bbd_comment_starting_with_dash")
        << QStringList{"to-bbd", "--comment", "--force", "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), "--force")}};
    QTest::newRow("to_bbd_comment_77_kept")
        << QStringList{"to-bbd", "--comment", QString(77, 'x'), "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), QByteArray(77, 'x'))}};
    QTest::newRow("to_bbd_comment_78_cut")
        << QStringList{"to-bbd", "--comment", QString(77, 'x') + "Y", "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), QByteArray(77, 'x'))}};
    QTest::newRow("to_bbd_empty_comment_is_spaces")
        << QStringList{"to-bbd", "--comment=", "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), QByteArray(77, ' '))}};
    // Characters count, not bytes: 76 "é" and a "€" fill the field exactly, then "Z" is cut.
    QTest::newRow("to_bbd_utf8_comment_in_windows_1252")
        << QStringList{"to-bbd", "--comment", QString(76, QChar(0xE9)) + QChar(0x20AC) + "Z",
                       "GAME.srm"}
        << ""
        << "" << 0
        << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), QByteArray(76, '\xE9') + '\x80')}};
    QTest::newRow("to_bbd_unmappable_character")
        << QStringList{"to-bbd", "--comment", QString("Tick ") + QChar(0x2713), "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), "Tick ?")}};
    QTest::newRow("to_bbd_long_save_uses_first_8k")
        << QStringList{"to-bbd", "BIG.srm"} << ""
        << "" << 0 << Files{{"BIG.bbd", bbd(stuffDat(), bigSave().left(8192), defaultText)}};
    QTest::newRow("to_bbd_1k_save_mirrored")
        << QStringList{"to-bbd", "TINY.srm"} << ""
        << "" << 0 << Files{{"TINY.bbd", bbd(stuffDat(), tinySave().repeated(8), defaultText)}};
    QTest::newRow("to_bbd_short_save_zero_filled")
        << QStringList{"to-bbd", "ODD.srm"} << ""
        << "" << 0 << Files{{"ODD.bbd", bbd(stuffDat(), withZeros(oddSave(), 8192), defaultText)}};
    QTest::newRow("to_bbd_short_template_zero_filled")
        << QStringList{"to-bbd", "--template", "short.dat", "GAME.srm"} << ""
        << "" << 0
        << Files{{"GAME.bbd", bbd(withZeros(shortTemplate(), 512), gameSave(), defaultText)}};
    QTest::newRow("to_bbd_batch_into_folder")
        << QStringList{"to-bbd", "--output-dir", "sub", "GAME.srm", "BIG.srm"} << ""
        << "" << 0
        << Files{{"sub/GAME.bbd", gameBbd},
                 {"sub/BIG.bbd", bbd(stuffDat(), bigSave().left(8192), defaultText)}};
    QTest::newRow("to_bbd_named_output")
        << QStringList{"to-bbd", "--output", "sub/named.x", "GAME.srm"} << ""
        << "" << 0 << Files{{"sub/named.x", gameBbd}};
    QTest::newRow("to_bbd_after_double_dash")
        << QStringList{"to-bbd", "--output", "--raw", "--", "GAME.srm"} << ""
        << "" << 0 << Files{{"--raw", gameBbd}};
    // As in the window, a longer file that is replaced keeps its bytes past the BBD layout.
    QTest::newRow("to_bbd_force_keeps_longer_tail")
        << QStringList{"to-bbd", "--force", "--output", "LONG.bbd", "GAME.srm"} << ""
        << "" << 0 << Files{{"LONG.bbd", gameBbd + longTarget().mid(gameBbd.size())}};
    QTest::newRow("to_srm") << QStringList{"to-srm", "KEEP.bbd"} << ""
                            << "" << 0 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("to_srm_force_over_longer_save")
        << QStringList{"to-srm", "--force", "--output", "BIG.srm", "KEEP.bbd"} << ""
        << "" << 0 << Files{{"BIG.srm", keptImage() + bigSave().mid(8192)}};
    QTest::newRow("to_srm_from_bbd_shorter_than_image")
        << QStringList{"to-srm", "--output-dir", "sub", "GAME.srm"} << ""
        << "" << 0 << Files{{"sub/GAME.srm", withZeros(gameSave().mid(512), 8192)}};
    QTest::newRow("comment_trimmed") << QStringList{"comment", "KEEP.bbd"} << "Kept comment\n"
                                     << "" << 0 << Files{};
    QTest::newRow("comment_raw") << QStringList{"comment", "--raw", "KEEP.bbd"}
                                 << "Kept comment" + QString(65, ' ') + "\n"
                                 << "" << 0 << Files{};
    QTest::newRow("comment_controls_on_one_line")
        << QStringList{"comment", "NOTES.bbd", "KEEP.bbd"}
        << QString("Line1 Line2 ") + QChar(0xE9) + "t" + QChar(0xE9) + " " + QChar(0x20AC) +
               "   x\nKept comment\n"
        << "" << 0 << Files{};
    QTest::newRow("comment_raw_keeps_controls")
        << QStringList{"comment", "NOTES.bbd", "--raw"}
        << QString("Line1\nLine2\t") + QChar(0xE9) + "t" + QChar(0xE9) + " " + QChar(0x20AC) +
               QString(3, QChar(0)) + "x" + QString(56, QChar(0)) + "\n"
        << "" << 0 << Files{};

    QTest::newRow("comment_c1_controls_blanked")
        << QStringList{"comment", "C1.bbd"} << "A B C ]0;x\n"
        << "" << 0 << Files{};

    // Files that fail; the rest of the batch goes on.
    QTest::newRow("missing_save_in_batch")
        << QStringList{"to-bbd", "GAME.srm", "missing.srm", "BIG.srm"} << ""
        << "plimbrook-convert: missing.srm: No such file or directory\n"
        << 1
        << Files{{"GAME.bbd", gameBbd},
                 {"BIG.bbd", bbd(stuffDat(), bigSave().left(8192), defaultText)}};
    QTest::newRow("existing_output_refused")
        << QStringList{"to-bbd", "--output", "KEEP.bbd", "GAME.srm"} << ""
        << "plimbrook-convert: KEEP.bbd: File exists (use --force to replace it)\n"
        << 1 << Files{};
    QTest::newRow("existing_output_refused_in_batch")
        << QStringList{"to-srm", "--output-dir", ".", "KEEP.bbd", "sub/../GAME.srm"} << ""
        << "plimbrook-convert: ./GAME.srm: File exists (use --force to replace it)\n"
        << 1 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("same_output_twice_in_batch")
        << QStringList{"to-bbd",   "--force",        "--output-dir",     "sub",
                       "GAME.srm", "sub/../BIG.srm", "./sub/../GAME.srm"}
        << ""
        << "plimbrook-convert: sub/GAME.bbd: also the output of an earlier file of this batch\n"
        << 1
        << Files{{"sub/GAME.bbd", gameBbd},
                 {"sub/BIG.bbd", bbd(stuffDat(), bigSave().left(8192), defaultText)}};
    QTest::newRow("folder_as_input") << QStringList{"to-srm", "sub", "KEEP.bbd"} << ""
                                     << "plimbrook-convert: sub: Is a directory\n"
                                     << 1 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("device_as_input") << QStringList{"comment", "/dev/null"} << ""
                                     << "plimbrook-convert: /dev/null: Not a regular file\n"
                                     << 1 << Files{};
    QTest::newRow("missing_output_folder")
        << QStringList{"to-bbd", "--output-dir", "nowhere", "GAME.srm"} << ""
        << "plimbrook-convert: nowhere/GAME.bbd: No such file or directory\n"
        << 1 << Files{};
    QTest::newRow("folder_as_output")
        << QStringList{"to-bbd", "--force", "--output", "sub", "GAME.srm"} << ""
        << "plimbrook-convert: sub: Is a directory\n"
        << 1 << Files{};
    QTest::newRow("missing_template_stops_batch")
        << QStringList{"to-bbd", "--template", "none.dat", "GAME.srm", "BIG.srm"} << ""
        << "plimbrook-convert: none.dat: No such file or directory\n"
        << 1 << Files{};
    QTest::newRow("comment_of_missing_file")
        << QStringList{"comment", "missing.bbd", "KEEP.bbd"} << "Kept comment\n"
        << "plimbrook-convert: missing.bbd: No such file or directory\n"
        << 1 << Files{};

    // Command lines that are wrong do nothing at all.
    QTest::newRow("nothing") << QStringList{} << "" << usageError("missing command") << 2
                             << Files{};
    QTest::newRow("unknown_command") << QStringList{"convert", "GAME.srm"} << ""
                                     << usageError("unknown command 'convert'") << 2 << Files{};
    QTest::newRow("option_before_command") << QStringList{"--force", "to-bbd", "GAME.srm"} << ""
                                           << usageError("missing command") << 2 << Files{};
    QTest::newRow("unknown_option") << QStringList{"to-bbd", "GAME.srm", "--frobnicate"} << ""
                                    << usageError("unknown option '--frobnicate'") << 2 << Files{};
    QTest::newRow("short_unknown_option") << QStringList{"to-bbd", "-f", "GAME.srm"} << ""
                                          << usageError("unknown option '-f'") << 2 << Files{};
    QTest::newRow("comment_option_for_to_srm")
        << QStringList{"to-srm", "--comment", "x", "KEEP.bbd"} << ""
        << usageError("option '--comment' does not apply to to-srm") << 2 << Files{};
    QTest::newRow("raw_for_to_bbd")
        << QStringList{"to-bbd", "--raw", "GAME.srm"} << ""
        << usageError("option '--raw' does not apply to to-bbd") << 2 << Files{};
    QTest::newRow("force_for_comment")
        << QStringList{"comment", "--force", "KEEP.bbd"} << ""
        << usageError("option '--force' does not apply to comment") << 2 << Files{};
    QTest::newRow("value_missing")
        << QStringList{"to-bbd", "GAME.srm", "--comment"} << ""
        << usageError("option '--comment' needs a value") << 2 << Files{};
    QTest::newRow("empty_output_name")
        << QStringList{"to-bbd", "--output=", "GAME.srm"} << ""
        << usageError("option '--output' needs a value") << 2 << Files{};
    QTest::newRow("empty_template_name")
        << QStringList{"to-bbd", "--template", "", "GAME.srm"} << ""
        << usageError("option '--template' needs a value") << 2 << Files{};
    QTest::newRow("value_for_flag")
        << QStringList{"to-bbd", "--force=yes", "GAME.srm"} << ""
        << usageError("option '--force' takes no value") << 2 << Files{};
    QTest::newRow("no_inputs") << QStringList{"to-srm", "--force"} << ""
                               << usageError("no input files") << 2 << Files{};
    QTest::newRow("output_with_two_inputs")
        << QStringList{"to-bbd", "--output", "x.bbd", "GAME.srm", "BIG.srm"} << ""
        << usageError("option '--output' takes exactly one input file") << 2 << Files{};
    QTest::newRow("output_and_output_dir")
        << QStringList{"to-srm", "--output", "x.srm", "--output-dir", "sub", "KEEP.bbd"} << ""
        << usageError("options '--output' and '--output-dir' cannot be used together") << 2
        << Files{};

    QTest::newRow("version") << QStringList{"--version"}
                             << QString("plimbrook-convert %1.%2\n")
                                    .arg(plimbrook::kVersion.major)
                                    .arg(plimbrook::kVersion.revision)
                             << "" << 0 << Files{};
}

void TestConvertCli::invocations() {
    QFETCH(QStringList, args);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(int, status);
    QFETCH(Files, written);

    Files expected = snapshot(dir_->path());
    for (auto it = written.begin(); it != written.end(); ++it) {
        expected.insert(it.key(), it.value());
    }

    std::ostringstream outStream;
    std::ostringstream errStream;
    QCOMPARE(runConvert(toArgs(args), outStream, errStream, environment()), status);
    QCOMPARE(QString::fromStdString(outStream.str()), out);
    QCOMPARE(QString::fromStdString(errStream.str()), err);

    // Nothing but the named files changed, and no temporary file was left behind.
    const Files after = snapshot(dir_->path());
    QCOMPARE(after.keys(), expected.keys());
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    }
}

void TestConvertCli::help_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("alone") << QStringList{"--help"};
    QTest::newRow("short") << QStringList{"-h"};
    QTest::newRow("after_command") << QStringList{"to-bbd", "--help"};
    QTest::newRow("wins_over_missing_files") << QStringList{"comment", "--raw", "--help"};
    QTest::newRow("wins_over_what_follows") << QStringList{"to-srm", "--help", "--bogus"};
}

// However help is asked for, it is the same text, and it names every command and option.
void TestConvertCli::help() {
    QFETCH(QStringList, args);
    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(runConvert(toArgs(args), out, err, environment()), 0);
    QCOMPARE(QString::fromStdString(err.str()), QString());

    std::ostringstream reference;
    runConvert({"--help"}, reference, err, environment());
    QCOMPARE(out.str(), reference.str());
    const QString text = QString::fromStdString(out.str());
    QVERIFY(text.startsWith("Usage: plimbrook-convert to-bbd"));
    for (const char* word :
         {"to-bbd", "to-srm", "comment", "--comment", "--template", "--output-dir", "--output",
          "--force", "--raw", "--version", "Enter a Comment and stuff."}) {
        QVERIFY2(text.contains(word), word);
    }
}

// A failure at any step of a conversion names a file the user gave, leaves the output either
// absent or complete, and never leaves a temporary file behind.
void TestConvertCli::everyFailingStep() {
    const std::vector<std::string> args = {"to-bbd", "GAME.srm"};
    const Files before = snapshot(dir_->path());
    const QByteArray gameBbd = bbd(stuffDat(), gameSave(), "Enter a Comment and stuff.");

    plimbrook::testing::FailingFileSystem counter;
    {
        std::ostringstream out;
        std::ostringstream err;
        ConvertEnvironment env = environment();
        QCOMPARE(runConvert(args, out, err, {env.defaultTemplatePath, counter}), 0);
        QVERIFY(QFile::remove("GAME.bbd"));
    }
    QVERIFY(counter.count() > 10);

    const std::set<std::string> named = {environment().defaultTemplatePath, "GAME.srm", "GAME.bbd"};
    for (long failAt = 1; failAt <= counter.count(); ++failAt) {
        plimbrook::testing::FailingFileSystem fs(failAt, EIO);
        std::ostringstream out;
        std::ostringstream err;
        const int status = runConvert(args, out, err, {environment().defaultTemplatePath, fs});
        const QByteArray context = QByteArray::number(static_cast<qlonglong>(failAt)) + ": " +
                                   QByteArray::fromStdString(err.str());
        QVERIFY2(fs.fired(), context);
        QCOMPARE(out.str(), std::string());

        Files after = snapshot(dir_->path());
        if (status == 0) {
            // Only the folder's sync may fail unreported: the file is in place by then.
            QVERIFY2(err.str().empty(), context);
            QVERIFY2(after.value("GAME.bbd") == gameBbd, context);
            after.remove("GAME.bbd");
            QFile::remove("GAME.bbd");
        } else {
            QCOMPARE(status, 1);
            const std::string line = err.str();
            const std::string prefix = "plimbrook-convert: ";
            const auto nameEnd = line.find(": ", prefix.size());
            QVERIFY2(line.rfind(prefix, 0) == 0 && nameEnd != std::string::npos, context);
            QVERIFY2(named.count(line.substr(prefix.size(), nameEnd - prefix.size())) == 1,
                     context);
            QVERIFY2(line.find('\n') == line.size() - 1, context);
        }
        QVERIFY2(after == before, context);
    }
}

void TestConvertCli::templateBesideProgram() {
    QCOMPARE(plimbrook::cli::templateBeside("/opt/p/libexec/plimbrook/plimbrook-convert"),
             std::string("/opt/p/libexec/plimbrook/Stuff.dat"));
    QCOMPARE(plimbrook::cli::templateBeside("plimbrook-convert"), std::string("Stuff.dat"));
}

void TestConvertCli::realProgram_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("stdoutFile");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("status");
    QTest::addColumn<Files>("written");
    QTest::addColumn<int>("closed");  // a standard descriptor the program starts without

    QFile stuff(PLIMBROOK_TEMPLATE_PATH);
    QVERIFY(stuff.open(QIODevice::ReadOnly));
    const QByteArray installed = stuff.readAll();

    // Started through a link, as from the command search path: the template is still found
    // beside the program file itself.
    QTest::newRow("template_beside_program")
        << QStringList{"to-bbd", "--comment", "Linked", "GAME.srm"} << QString() << "" << 0
        << Files{{"GAME.bbd", bbd(installed, gameSave(), "Linked")}} << -1;
    QTest::newRow("comment_to_full_disk") << QStringList{"comment", "KEEP.bbd"} << "/dev/full"
                                          << "plimbrook-convert: standard output: write error\n"
                                          << 1 << Files{} << -1;
    // Started with a standard descriptor closed, the program puts /dev/null there: the file it
    // opens next does not take its number, and what it writes there goes nowhere.
    QTest::newRow("comment_with_stdout_closed")
        << QStringList{"comment", "KEEP.bbd", "NOTES.bbd"} << QString() << "" << 0 << Files{} << 1;
}

void TestConvertCli::realProgram() {
    QFETCH(QStringList, args);
    QFETCH(QString, stdoutFile);
    QFETCH(QString, err);
    QFETCH(int, status);
    QFETCH(Files, written);
    QFETCH(int, closed);

    Files expected = snapshot(dir_->path());
    for (auto it = written.begin(); it != written.end(); ++it) {
        expected.insert(it.key(), it.value());
    }
    QVERIFY(QFile::link(PLIMBROOK_CONVERT_PATH, dir_->filePath("prog/link")));

    QProcess process;
    if (!stdoutFile.isEmpty()) {
        process.setStandardOutputFile(stdoutFile);
    }
    if (closed >= 0) {
        process.setChildProcessModifier([closed] { ::close(closed); });
    }
    process.start(dir_->filePath("prog/link"), args);
    QVERIFY(process.waitForFinished(30'000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), err);

    Files after = snapshot(dir_->path());
    after.remove("prog/link");
    QCOMPARE(after.keys(), expected.keys());
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    }
}

QTEST_GUILESS_MAIN(TestConvertCli)
#include "tst_convert_cli.moc"
