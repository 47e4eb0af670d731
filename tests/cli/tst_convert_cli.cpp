#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <set>
#include <sstream>

#include "cli/convert_app.h"
#include "core/app_facts.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/golden_files.h"
#include "tests/support/rzip_files.h"

using plimbrook::cli::ConvertEnvironment;
using plimbrook::cli::runConvert;
using plimbrook::testing::bbdBytes;
using plimbrook::testing::bbdOfSave;
using plimbrook::testing::commentField;
using plimbrook::testing::kCopierMark;
using plimbrook::testing::kCopierMarkAt;
using plimbrook::testing::kHeader;
using plimbrook::testing::pattern;
using plimbrook::testing::proFighterHeader;
using plimbrook::testing::readFile;
using plimbrook::testing::rzipOf;
using plimbrook::testing::snapshotTree;
using plimbrook::testing::superUfoHeader;
using plimbrook::testing::writeFile;
using plimbrook::testing::zeros;

namespace {

QByteArray gameSave() {
    return pattern(8 * 1024, 1);
}
QByteArray bigSave() {
    return pattern(32 * 1024, 2);
}
QByteArray midSave() {
    return pattern(16 * 1024, 7);
}
QByteArray tinySave() {
    return pattern(1024, 3);
}
// An emulator's save with 25 bytes of clock data after it.
QByteArray clockSave() {
    return pattern(8 * 1024 + 25, 8);
}
QByteArray hugeFile() {
    return pattern(40'000, 9);
}
QByteArray oddSave() {
    return pattern(100, 4);
}
// The copier takes only files whose header has its mark and SRAM type at 8..10; the rest of a
// template is passed through as it is.
QByteArray marked(QByteArray header) {
    return header.replace(8, 3, "\xAA\xBB\x05");
}
QByteArray stuffDat() {
    return marked(pattern(512, 11));
}
QByteArray otherTemplate() {
    return marked(pattern(600, 12));
}
// The header of copier files that another writer made, without the copier's mark.
QByteArray otherHeader() {
    return pattern(512, 11);
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

// A BBD file holding a save of 8, 16 or 32 KiB whole.
QByteArray bbdHolding(const QByteArray& save, const QByteArray& text,
                      const QByteArray& header = stuffDat()) {
    return bbdOfSave(header, commentField(text), save);
}

QByteArray keptImage() {
    return pattern(8 * 1024, 5);
}
QByteArray keptBbd() {
    return bbd(otherHeader(), keptImage(), "Kept comment");
}
// The copier's own kind of header, with its mark.
QByteArray markedBbd() {
    QByteArray file = keptBbd();
    file.replace(kCopierMarkAt, 2, kCopierMark);
    return file;
}
// A BBD file that ends 1 KiB into its body: the copier's mark says what it is.
QByteArray cutBbd() {
    return markedBbd().left(kHeader + 1024);
}

QString crcOf(const QByteArray& bytes) {
    return QString::asprintf("%08x", unsigned(plimbrook::testing::crc32Of(bytes)));
}

// Control characters, Windows-1252 letters and a run of zero bytes, as another writer left it.
// Bytes that read back as C1 controls, which some terminals obey as escape sequences.
QByteArray c1CommentBbd() {
    QByteArray file = bbd(otherHeader(), keptImage(), "");
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
    QByteArray file = bbd(otherHeader(), keptImage(), "");
    file.replace(16, 77, text);
    return file;
}

QByteArray longTarget() {
    return pattern(40'000, 6);
}

using Files = QMap<QString, QByteArray>;

std::vector<std::string> toArgs(const QStringList& list) {
    std::vector<std::string> args;
    for (const QString& arg : list) {
        args.push_back(arg.toStdString());
    }
    return args;
}

// Given PLIMBROOK_CONVERT_PROGRAM, the invocation rows run against that program, copied beside
// prog/Stuff.dat and started through PLIMBROOK_CONVERT_LAUNCHER where one is given, as wine for
// the Windows build; otherwise in this process.
QString programUnderTest() {
    return qEnvironmentVariable("PLIMBROOK_CONVERT_PROGRAM");
}
bool windowsProgram() {
    return programUnderTest().endsWith(".exe");
}

// Rows that only the Linux program can pass, and why.
QString linuxOnly(const QByteArray& row) {
    if (row == "dangling_link_output_refused") {
        return "a symbolic link: the Windows file system reports none";
    }
    if (row == "device_as_input") {
        return "/dev/null is Linux's; tst_windows_convert refuses Windows's devices";
    }
    return QString();
}

QString usageError(const QString& message) {
    return "plimbrook-convert: " + message +
           "\nTry 'plimbrook-convert --help' for more information.\n";
}

using plimbrook::testing::FailingFileSystem;
using plimbrook::testing::NameTakenMeanwhile;
using MakeFileSystem = std::function<std::unique_ptr<FailingFileSystem>()>;

// Every folder a sticky one that anyone may write, and every link made by another user.
class StrangersLinks : public FailingFileSystem {
public:
    int lstatat(int dir, const std::string& name, struct stat& info) override {
        const int result = FailingFileSystem::lstatat(dir, name, info);
        if (result == 0 && S_ISLNK(info.st_mode)) {
            info.st_uid = 5353;
        }
        return result;
    }
    int fstat(int fd, struct stat& info) override {
        const int result = FailingFileSystem::fstat(fd, info);
        if (result == 0 && S_ISDIR(info.st_mode)) {
            info.st_mode |= S_ISVTX | S_IWOTH;
            info.st_uid = 4242;
        }
        return result;
    }
};

}  // namespace

Q_DECLARE_METATYPE(MakeFileSystem)

class TestConvertCli : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    int runInvocation(const QStringList& args, QString& out, QString& err);

    void invocations_data();
    void invocations();
    void help_data();
    void help();
    void rawArguments_data();
    void rawArguments();
    void throughFileSystem_data();
    void throughFileSystem();
    void everyFailingStep();
    void largeSavesRoundTrip_data();
    void largeSavesRoundTrip();
    void copierFormats_data();
    void copierFormats();
    void copierHeaders_data();
    void copierHeaders();
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
        {"prog/Stuff.dat", stuffDat()},
        {"other.dat", otherTemplate()},
        {"short.dat", shortTemplate()},
        {"GAME.srm", gameSave()},
        {"BIG.srm", bigSave()},
        {"TINY.srm", tinySave()},
        {"ODD.srm", oddSave()},
        {"KEEP.bbd", keptBbd()},
        {"NOTES.bbd", oddCommentBbd()},
        {"LONG.bbd", longTarget()},
        {"C1.bbd", c1CommentBbd()},
        {"MID.srm", midSave()},
        {"CLOCK.srm", clockSave()},
        {"HUGE.srm", hugeFile()},
        {"PACKED.srm", rzipOf(midSave(), 4096)},
        {"BROKEN.srm", rzipOf(midSave(), 4096).chopped(5)},
        {"MARKED.bbd", markedBbd()},
        {"CUT.bbd", cutBbd()},
        {"HALVES.bbd", bbdHolding(midSave(), "Halves", otherHeader())},
        {"WIDE.bbd", bbdHolding(bigSave(), "Wide", otherHeader())},
        {"PAIR.srm", gameSave()},
        {"PAIR.bbd", markedBbd()},
        {"-x.srm", tinySave()},
        {"FIG.sav", proFighterHeader() + midSave().repeated(2)},
        {"UFO.ufo", superUfoHeader() + bigSave()},
        {"GD.gd3", midSave().repeated(2)},
    };
    for (auto it = scene.begin(); it != scene.end(); ++it) {
        QVERIFY2(writeFile(dir_->filePath(it.key()), it.value()), qPrintable(it.key()));
    }
    QVERIFY(QFile::link("gone.bbd", dir_->filePath("DANGLING.bbd")));
    if (!programUnderTest().isEmpty()) {
        const QString copy = dir_->filePath("prog/" + QFileInfo(programUnderTest()).fileName());
        QVERIFY(QFile::copy(programUnderTest(), copy));
    }
    previousDir_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_->path()));
}

int TestConvertCli::runInvocation(const QStringList& args, QString& out, QString& err) {
    if (programUnderTest().isEmpty()) {
        std::ostringstream outStream;
        std::ostringstream errStream;
        const int status = runConvert(toArgs(args), outStream, errStream, environment());
        out = QString::fromStdString(outStream.str());
        err = QString::fromStdString(errStream.str());
        return status;
    }
    const QString copy = dir_->filePath("prog/" + QFileInfo(programUnderTest()).fileName());
    const QString launcher = qEnvironmentVariable("PLIMBROOK_CONVERT_LAUNCHER");
    QProcess process;
    if (launcher.isEmpty()) {
        process.start(copy, args);
    } else {
        process.start(launcher, QStringList{copy} + args);
    }
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    out = QString::fromUtf8(process.readAllStandardOutput());
    err = QString::fromUtf8(process.readAllStandardError());
    if (windowsProgram()) {
        err.replace('\\', '/');  // the names it makes up are joined with Windows's separator
    }
    return process.exitCode();
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
    const QByteArray bigBbd = bbdHolding(bigSave(), defaultText);
    const QByteArray midBbd = bbdHolding(midSave(), defaultText);

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
    QTest::newRow("to_bbd_32k_save_stored_once") << QStringList{"to-bbd", "BIG.srm"} << ""
                                                 << "" << 0 << Files{{"BIG.bbd", bigBbd}};
    QTest::newRow("to_bbd_1k_save_mirrored")
        << QStringList{"to-bbd", "TINY.srm"} << ""
        << "" << 0 << Files{{"TINY.bbd", bbd(stuffDat(), tinySave().repeated(8), defaultText)}};
    QTest::newRow("to_bbd_short_save_zero_filled")
        << QStringList{"to-bbd", "ODD.srm"} << ""
        << "" << 0 << Files{{"ODD.bbd", bbd(stuffDat(), withZeros(oddSave(), 8192), defaultText)}};
    // A header cut short would make files the copier cannot read.
    QTest::newRow("to_bbd_short_template_refused")
        << QStringList{"to-bbd", "--template", "short.dat", "GAME.srm"} << ""
        << "plimbrook-convert: short.dat: a header template of 100 bytes; it needs 512\n"
        << 1 << Files{};
    QTest::newRow("to_bbd_unmarked_template_warned")
        << QStringList{"to-bbd", "--template", "KEEP.bbd", "GAME.srm"} << ""
        << "plimbrook-convert: KEEP.bbd: warning: the template has no AA BB 05 at bytes 8 to 10, "
           "so the copier will not take the files made with it\n"
        << 0 << Files{{"GAME.bbd", bbd(otherHeader(), gameSave(), defaultText)}};
    QTest::newRow("to_bbd_batch_into_folder")
        << QStringList{"to-bbd", "--output-dir", "sub", "GAME.srm", "BIG.srm"} << ""
        << "" << 0 << Files{{"sub/GAME.bbd", gameBbd}, {"sub/BIG.bbd", bigBbd}};
    QTest::newRow("to_bbd_named_output")
        << QStringList{"to-bbd", "--output", "sub/named.x", "GAME.srm"} << ""
        << "" << 0 << Files{{"sub/named.x", gameBbd}};
    QTest::newRow("to_bbd_after_double_dash")
        << QStringList{"to-bbd", "--output", "--raw", "--", "GAME.srm"} << ""
        << "" << 0 << Files{{"--raw", gameBbd}};
    // A lone "-" is a file's name, not an option.
    QTest::newRow("lone_dash_is_a_name") << QStringList{"to-bbd", "-"} << ""
                                         << "plimbrook-convert: -: No such file or directory\n"
                                         << 1 << Files{};
    QTest::newRow("to_bbd_dash_name_after_double_dash")
        << QStringList{"to-bbd", "--", "-x.srm"} << ""
        << "" << 0 << Files{{"-x.bbd", bbd(stuffDat(), tinySave().repeated(8), defaultText)}};
    // As in the window, a file that is replaced holds the conversion and nothing else, however
    // long it was.
    QTest::newRow("to_bbd_force_over_longer_file")
        << QStringList{"to-bbd", "--force", "--output", "LONG.bbd", "GAME.srm"} << ""
        << "" << 0 << Files{{"LONG.bbd", gameBbd}};
    QTest::newRow("to_srm") << QStringList{"to-srm", "KEEP.bbd"} << ""
                            << "" << 0 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("to_srm_force_over_longer_save")
        << QStringList{"to-srm", "--force", "--output", "BIG.srm", "KEEP.bbd"} << ""
        << "" << 0 << Files{{"BIG.srm", keptImage()}};
    QTest::newRow("to_srm_force_over_save_as_long")
        << QStringList{"to-srm", "--force", "--output", "GAME.srm", "KEEP.bbd"} << ""
        << "" << 0 << Files{{"GAME.srm", keptImage()}};
    QTest::newRow("to_srm_force_over_shorter_save")
        << QStringList{"to-srm", "--force", "--output", "TINY.srm", "KEEP.bbd"} << ""
        << "" << 0 << Files{{"TINY.srm", keptImage()}};
    QTest::newRow("to_srm_from_bbd_shorter_than_image")
        << QStringList{"to-srm", "--output-dir", "sub", "CUT.bbd"} << ""
        << "" << 0 << Files{{"sub/CUT.srm", withZeros(keptImage().left(1024), 8192)}};
    QTest::newRow("comment_trimmed") << QStringList{"comment", "KEEP.bbd"} << "Kept comment\n"
                                     << "" << 0 << Files{};
    QTest::newRow("comment_raw") << QStringList{"comment", "--raw", "KEEP.bbd"}
                                 << "Kept comment" + QString(65, ' ') + "\n"
                                 << "" << 0 << Files{};
    QTest::newRow("comment_controls_on_one_line")
        << QStringList{"comment", "NOTES.bbd", "KEEP.bbd"}
        << QString("NOTES.bbd: Line1 Line2 ") + QChar(0xE9) + "t" + QChar(0xE9) + " " +
               QChar(0x20AC) + "   x\nKEEP.bbd: Kept comment\n"
        << "" << 0 << Files{};
    QTest::newRow("comment_raw_keeps_controls")
        << QStringList{"comment", "NOTES.bbd", "--raw"}
        << QString("Line1\nLine2\t") + QChar(0xE9) + "t" + QChar(0xE9) + " " + QChar(0x20AC) +
               QString(3, QChar(0)) + "x" + QString(56, QChar(0)) + "\n"
        << "" << 0 << Files{};

    QTest::newRow("comment_c1_controls_blanked")
        << QStringList{"comment", "C1.bbd"} << "A B C ]0;x\n"
        << "" << 0 << Files{};

    // Saves of every size the copier holds, and inputs that are not what the command takes.
    QTest::newRow("to_bbd_16k_save_twice") << QStringList{"to-bbd", "MID.srm"} << ""
                                           << "" << 0 << Files{{"MID.bbd", midBbd}};
    QTest::newRow("to_bbd_appended_bytes_warned")
        << QStringList{"to-bbd", "CLOCK.srm"} << ""
        << "plimbrook-convert: CLOCK.srm: warning: only the first 8 KiB of this 8217-byte save "
           "fit in a BBD file; the last 25 bytes are left out\n"
        << 0 << Files{{"CLOCK.bbd", bbdHolding(clockSave().left(8192), defaultText)}};
    QTest::newRow("to_bbd_compressed_save") << QStringList{"to-bbd", "PACKED.srm"} << ""
                                            << "" << 0 << Files{{"PACKED.bbd", midBbd}};
    QTest::newRow("to_bbd_refusals_batch_goes_on")
        << QStringList{"to-bbd", "HUGE.srm", "MARKED.bbd", "BROKEN.srm", "GAME.srm"} << ""
        << "plimbrook-convert: HUGE.srm: larger than 32 KiB, the most the copier holds\n"
           "plimbrook-convert: MARKED.bbd: already a BBD file (use to-srm)\n"
           "plimbrook-convert: BROKEN.srm: compressed save is damaged or cut short\n"
        << 1 << Files{{"GAME.bbd", gameBbd}};
    QTest::newRow("to_srm_halves_agree_16k") << QStringList{"to-srm", "HALVES.bbd"} << ""
                                             << "" << 0 << Files{{"HALVES.srm", midSave()}};
    QTest::newRow("to_srm_copies_differ_32k_and_note")
        << QStringList{"to-srm", "WIDE.bbd"} << ""
        << "plimbrook-convert: WIDE.bbd: note: the four 8 KiB copies differ, so all 32 KiB were "
           "written: nothing is lost, and an 8 KiB save is whole in its first 8 KiB\n"
        << 0 << Files{{"WIDE.srm", bigSave()}};
    QTest::newRow("to_srm_size_8_of_differing_copies")
        << QStringList{"to-srm", "--size", "8", "WIDE.bbd"} << ""
        << "" << 0 << Files{{"WIDE.srm", bigSave().left(8192)}};
    QTest::newRow("to_srm_size_auto") << QStringList{"to-srm", "--size", "auto", "KEEP.bbd"} << ""
                                      << "" << 0 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("to_srm_size_16_of_8k_bbd")
        << QStringList{"to-srm", "--size=16", "KEEP.bbd"} << ""
        << "" << 0 << Files{{"KEEP.srm", keptImage().repeated(2)}};
    QTest::newRow("to_srm_size_32_of_16k_bbd")
        << QStringList{"to-srm", "--size", "32", "HALVES.bbd"} << ""
        << "" << 0 << Files{{"HALVES.srm", midSave().repeated(2)}};
    QTest::newRow("to_srm_size_32_of_cut_bbd")
        << QStringList{"to-srm", "--size", "32", "CUT.bbd"} << ""
        << "" << 0 << Files{{"CUT.srm", withZeros(keptImage().left(1024), 32 * 1024)}};
    QTest::newRow("to_srm_refuses_saves")
        << QStringList{"to-srm", "GAME.srm", "PACKED.srm", "KEEP.bbd"} << ""
        << "plimbrook-convert: GAME.srm: looks like an SRAM save, not a BBD file\n"
           "plimbrook-convert: PACKED.srm: a compressed SRAM save, not a BBD file\n"
        << 1 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("comment_refuses_raw_save")
        << QStringList{"comment", "BIG.srm", "KEEP.bbd"} << "KEEP.bbd: Kept comment\n"
        << "plimbrook-convert: BIG.srm: looks like an SRAM save, not a BBD file\n"
        << 1 << Files{};
    // The same save as a raw file, compressed and in a BBD file has one CRC-32; the file's own
    // bytes have theirs.
    const auto block = [](const QString& name, const QStringList& lines, const QByteArray& file) {
        return name + "\n  " + lines.join("\n  ") + "\n  file CRC-32: " + crcOf(file) + '\n';
    };
    const auto saveLines = [](const QString& type, const QString& image, const QByteArray& save) {
        return QStringList{"type: " + type, "save image: " + image, "CRC-32: " + crcOf(save)};
    };
    const auto bbdLines = [](const QString& type, const QString& copies, const QString& comment,
                             const QByteArray& save) {
        return QStringList{"type: " + type + ", 33280 bytes", "copies: " + copies,
                           QStringLiteral("save image: %1 bytes").arg(save.size()),
                           "comment: " + comment, "CRC-32: " + crcOf(save)};
    };
    const QByteArray packedSave = rzipOf(midSave(), 4096);
    const int packed = int(packedSave.size());
    const QString otherKind = "copier file with another 512-byte header";
    const QString differ = "they differ (to-srm writes all 32 KiB)";
    QTest::newRow("info_of_saves")
        << QStringList{"info",    "GAME.srm",   "CLOCK.srm", "TINY.srm",  "missing.srm",
                       "MID.srm", "PACKED.srm", "HUGE.srm",  "BROKEN.srm"}
        << block("GAME.srm", saveLines("raw SRAM save, 8192 bytes", "8192 bytes", gameSave()),
                 gameSave()) +
               block("CLOCK.srm",
                     saveLines("raw SRAM save, 8217 bytes",
                               "8192 bytes (the last 25 bytes do not fit in a BBD file)",
                               clockSave().left(8192)),
                     clockSave()) +
               block(
                   "TINY.srm",
                   QStringList{"type: raw SRAM save, 1024 bytes", "save image: 8192 bytes",
                               "repeats: every 1 KiB", "CRC-32: " + crcOf(tinySave().repeated(8))},
                   tinySave()) +
               block("MID.srm", saveLines("raw SRAM save, 16384 bytes", "16384 bytes", midSave()),
                     midSave()) +
               block("PACKED.srm",
                     saveLines(QStringLiteral("RetroArch-compressed save, %1 bytes, 16384 bytes "
                                              "uncompressed")
                                   .arg(packed),
                               "16384 bytes", midSave()),
                     packedSave) +
               block("HUGE.srm",
                     {"type: unknown, 40000 bytes",
                      "save image: none: larger than 32 KiB, the most the copier "
                      "holds"},
                     hugeFile()) +
               block("BROKEN.srm",
                     {QStringLiteral("type: RetroArch-compressed save, %1 bytes").arg(packed - 5),
                      "save image: none: compressed save is damaged or cut short"},
                     packedSave.chopped(5))
        << "plimbrook-convert: missing.srm: No such file or directory\n"
        << 1 << Files{};
    QTest::newRow("info_of_bbd_files")
        << QStringList{"info", "KEEP.bbd", "HALVES.bbd", "WIDE.bbd", "MARKED.bbd"}
        << block("KEEP.bbd",
                 bbdLines(otherKind, "all four 8 KiB copies agree", "Kept comment", keptImage()),
                 keptBbd()) +
               block("HALVES.bbd",
                     bbdLines(otherKind, "the two 16 KiB halves agree", "Halves", midSave()),
                     bbdHolding(midSave(), "Halves", otherHeader())) +
               block("WIDE.bbd", bbdLines(otherKind, differ, "Wide", bigSave()),
                     bbdHolding(bigSave(), "Wide", otherHeader())) +
               block("MARKED.bbd",
                     bbdLines("Super Wild Card BBD file", "all four 8 KiB copies agree",
                              "Kept comment", keptImage()),
                     markedBbd())
        << "" << 0 << Files{};

    // Other copiers' saves: told by their headers, or as a Game Doctor save only when told so.
    const QByteArray fig = proFighterHeader() + midSave().repeated(2);
    const QByteArray ufo = superUfoHeader() + bigSave();
    const QByteArray gd = midSave().repeated(2);
    QTest::newRow("info_of_other_copiers")
        << QStringList{"info", "FIG.sav", "UFO.ufo", "GD.gd3"}
        << block("FIG.sav",
                 {"type: Pro Fighter save, 33280 bytes", "copies: the two 16 KiB halves agree",
                  "save image: 16384 bytes", "CRC-32: " + crcOf(midSave())},
                 fig) +
               block("UFO.ufo",
                     {"type: Super UFO save, 33280 bytes", "copies: " + differ,
                      "save image: 32768 bytes", "CRC-32: " + crcOf(bigSave())},
                     ufo) +
               block("GD.gd3", saveLines("raw SRAM save, 32768 bytes", "32768 bytes", gd), gd)
        << "" << 0 << Files{};
    QTest::newRow("info_as_game_doctor")
        << QStringList{"info", "--format", "gd3", "GD.gd3", "KEEP.bbd"}
        << block("GD.gd3",
                 {"type: Game Doctor save, 32768 bytes", "copies: the two 16 KiB halves agree",
                  "save image: 16384 bytes", "CRC-32: " + crcOf(midSave())},
                 gd) +
               block("KEEP.bbd",
                     {"type: " + otherKind + ", 33280 bytes",
                      "save image: none: not 32 KiB, the size of a Game Doctor save"},
                     keptBbd())
        << "" << 0 << Files{};
    QTest::newRow("to_srm_as_game_doctor")
        << QStringList{"to-srm", "--format=gd3", "GD.gd3", "KEEP.bbd", "MID.srm", "PACKED.srm"}
        << ""
        << "plimbrook-convert: KEEP.bbd: not 32 KiB, the size of a Game Doctor save\n"
           "plimbrook-convert: MID.srm: not 32 KiB, the size of a Game Doctor save\n"
           "plimbrook-convert: PACKED.srm: a compressed SRAM save, not a BBD file\n"
        << 1 << Files{{"GD.srm", midSave()}};
    QTest::newRow("to_srm_32k_without_header_stays_raw")
        << QStringList{"to-srm", "GD.gd3"} << ""
        << "plimbrook-convert: GD.gd3: looks like an SRAM save, not a BBD file (--format gd3 "
           "reads it as a Game Doctor save)\n"
        << 1 << Files{};
    QTest::newRow("to_bbd_refuses_other_copiers_saves")
        << QStringList{"to-bbd", "--format", "gd3", "FIG.sav", "UFO.ufo", "GAME.srm"} << ""
        << "plimbrook-convert: FIG.sav: already a Pro Fighter save (use to-srm)\n"
           "plimbrook-convert: UFO.ufo: already a Super UFO save (use to-srm)\n"
        << 1 << Files{{"GAME.gd3", gameSave().repeated(4)}};
    QTest::newRow("comment_of_other_copiers")
        << QStringList{"comment", "FIG.sav", "UFO.ufo", "KEEP.bbd"} << "KEEP.bbd: Kept comment\n"
        << "plimbrook-convert: FIG.sav: no comment field in a Pro Fighter save\n"
           "plimbrook-convert: UFO.ufo: no comment field in a Super UFO save\n"
        << 1 << Files{};
    QTest::newRow("to_bbd_swc_format_takes_comment_and_template")
        << QStringList{"to-bbd", "--format",   "swc",       "--comment",
                       "Hi",     "--template", "other.dat", "GAME.srm"}
        << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(otherTemplate(), gameSave(), "Hi")}};

    // Files that fail; the rest of the batch goes on.
    QTest::newRow("missing_save_in_batch")
        << QStringList{"to-bbd", "GAME.srm", "missing.srm", "BIG.srm"} << ""
        << "plimbrook-convert: missing.srm: No such file or directory\n"
        << 1 << Files{{"GAME.bbd", gameBbd}, {"BIG.bbd", bigBbd}};
    QTest::newRow("existing_output_refused")
        << QStringList{"to-bbd", "--output", "KEEP.bbd", "GAME.srm"} << ""
        << "plimbrook-convert: KEEP.bbd: File exists (use --force to replace it)\n"
        << 1 << Files{};
    QTest::newRow("existing_output_refused_in_batch")
        << QStringList{"to-srm", "--output-dir", ".", "KEEP.bbd", "sub/../PAIR.bbd"} << ""
        << "plimbrook-convert: ./PAIR.srm: File exists (use --force to replace it)\n"
        << 1 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("same_output_twice_in_batch")
        << QStringList{"to-bbd",   "--force",        "--output-dir",     "sub",
                       "GAME.srm", "sub/../BIG.srm", "./sub/../GAME.srm"}
        << ""
        << "plimbrook-convert: sub/GAME.bbd: also the output of an earlier file of this batch, "
           "GAME.srm\n"
        << 1 << Files{{"sub/GAME.bbd", gameBbd}, {"sub/BIG.bbd", bigBbd}};
    // However it is named, a file the batch reads is never replaced, not even with --force.
    QTest::newRow("force_never_replaces_its_own_input")
        << QStringList{"to-bbd", "--force", "--output", "GAME.srm", "GAME.srm"} << ""
        << "plimbrook-convert: GAME.srm: the output would be the input itself\n"
        << 1 << Files{};
    // A raw save with a copier format's extension would be written over by its own conversion.
    QTest::newRow("output_named_as_its_input")
        << QStringList{"to-bbd", "--force", "--format", "gd3", "GD.gd3"} << ""
        << "plimbrook-convert: GD.gd3: the output would be the input itself (use --output or "
           "--output-dir)\n"
        << 1 << Files{};
    QTest::newRow("force_never_replaces_another_input")
        << QStringList{"to-bbd", "--force", "PAIR.bbd", "PAIR.srm"} << ""
        << "plimbrook-convert: PAIR.bbd: already a BBD file (use to-srm)\n"
           "plimbrook-convert: PAIR.bbd: also read by this batch\n"
        << 1 << Files{};
    QTest::newRow("force_never_replaces_the_template")
        << QStringList{"to-bbd", "--force", "--output", "prog/Stuff.dat", "GAME.srm"} << ""
        << "plimbrook-convert: prog/Stuff.dat: also read by this batch\n"
        << 1 << Files{};
    QTest::newRow("own_input_without_force_exists")
        << QStringList{"to-bbd", "--output", "GAME.srm", "GAME.srm"} << ""
        << "plimbrook-convert: GAME.srm: the output would be the input itself\n"
        << 1 << Files{};
    // The link itself is what exists; nothing is made where it points.
    QTest::newRow("dangling_link_output_refused")
        << QStringList{"to-bbd", "--output", "DANGLING.bbd", "GAME.srm"} << ""
        << "plimbrook-convert: DANGLING.bbd: File exists (use --force to replace it)\n"
        << 1 << Files{};
    QTest::newRow("output_ending_in_slash_names_nothing")
        << QStringList{"to-bbd", "--output", "nothere.bbd/", "GAME.srm"} << ""
        << "plimbrook-convert: nothere.bbd/: No such file or directory\n"
        << 1 << Files{};
    QTest::newRow("output_ending_in_slash_names_a_file")
        << QStringList{"to-srm", "--force", "--output", "GAME.srm/", "KEEP.bbd"} << ""
        << "plimbrook-convert: GAME.srm/: Not a directory\n"
        << 1 << Files{};
    QTest::newRow("output_ending_in_slash_names_a_folder")
        << QStringList{"to-bbd", "--force", "--output", "sub/", "GAME.srm"} << ""
        << "plimbrook-convert: sub/: Is a directory\n"
        << 1 << Files{};
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
        << QStringList{"comment", "missing.bbd", "KEEP.bbd"} << "KEEP.bbd: Kept comment\n"
        << "plimbrook-convert: missing.bbd: No such file or directory\n"
        << 1 << Files{};

    // Command lines that are wrong do nothing at all.
    QTest::newRow("nothing") << QStringList{} << "" << usageError("missing command") << 2
                             << Files{};
    QTest::newRow("unknown_command") << QStringList{"convert", "GAME.srm"} << ""
                                     << usageError("unknown command 'convert'") << 2 << Files{};
    QTest::newRow("option_before_command") << QStringList{"--force", "to-bbd", "GAME.srm"} << ""
                                           << "" << 0 << Files{{"GAME.bbd", gameBbd}};
    QTest::newRow("unknown_option") << QStringList{"to-bbd", "GAME.srm", "--frobnicate"} << ""
                                    << usageError("unknown option '--frobnicate'") << 2 << Files{};
    QTest::newRow("short_unknown_option") << QStringList{"to-bbd", "-x", "GAME.srm"} << ""
                                          << usageError("unknown option '-x'") << 2 << Files{};
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

    QTest::newRow("size_4_for_to_bbd")
        << QStringList{"to-bbd", "--size", "4", "GAME.srm"} << ""
        << usageError("option '--size' takes 2, 8, 16 or 32, not '4'") << 2 << Files{};
    QTest::newRow("size_auto_for_to_bbd")
        << QStringList{"to-bbd", "--size", "auto", "GAME.srm"} << ""
        << usageError("option '--size' takes 2, 8, 16 or 32, not 'auto'") << 2 << Files{};
    QTest::newRow("size_of_64") << QStringList{"to-srm", "--size", "64", "KEEP.bbd"} << ""
                                << usageError(
                                       "option '--size' takes auto, 1, 2, 4, 8, 16 or 32, not '64'")
                                << 2 << Files{};
    QTest::newRow("comment_with_fig")
        << QStringList{"to-bbd", "--comment", "x", "--format", "fig", "GAME.srm"} << ""
        << usageError(
               "option '--comment' does not apply to --format fig: only swc files carry "
               "a comment")
        << 2 << Files{};
    QTest::newRow("template_with_ufo")
        << QStringList{"to-bbd", "--format", "ufo", "--template", "other.dat", "GAME.srm"} << ""
        << usageError(
               "option '--template' does not apply to --format ufo: only swc files take "
               "their header from the template")
        << 2 << Files{};
    QTest::newRow("unknown_format")
        << QStringList{"to-bbd", "--format", "smc", "GAME.srm"} << ""
        << usageError("option '--format' takes swc, fig, ufo, ufosd or gd3, not 'smc'") << 2
        << Files{};
    QTest::newRow("format_for_comment")
        << QStringList{"comment", "--format", "fig", "FIG.sav"} << ""
        << usageError("option '--format' does not apply to comment") << 2 << Files{};
    QTest::newRow("force_for_info")
        << QStringList{"info", "--force", "GAME.srm"} << ""
        << usageError("option '--force' does not apply to info") << 2 << Files{};
    QTest::newRow("info_without_files")
        << QStringList{"info"} << "" << usageError("no input files") << 2 << Files{};

    QTest::newRow("version") << QStringList{"--version"}
                             << QString(
                                    "plimbrook-convert (Plimbrook) %1.%2\n"
                                    "Copyright (C) 2026 Wexmoor-Soft\n"
                                    "License MIT: <https://opensource.org/licenses/MIT>\n"
                                    "This is free software: you are free to change and "
                                    "redistribute it.\n"
                                    "There is NO WARRANTY, to the extent permitted by law.\n")
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

    if (windowsProgram() && !linuxOnly(QTest::currentDataTag()).isEmpty()) {
        QSKIP(qPrintable(linuxOnly(QTest::currentDataTag())));
    }
    Files expected = snapshotTree(dir_->path());
    for (auto it = written.begin(); it != written.end(); ++it) {
        expected.insert(it.key(), it.value());
    }

    QString actualOut;
    QString actualErr;
    QCOMPARE(runInvocation(args, actualOut, actualErr), status);
    QCOMPARE(actualOut, out);
    QCOMPARE(actualErr, err);

    // Nothing but the named files changed, and no temporary file was left behind.
    const Files after = snapshotTree(dir_->path());
    QCOMPARE(after.keys(), expected.keys());
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    }
}

void TestConvertCli::help_data() {
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
void TestConvertCli::help() {
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

void TestConvertCli::rawArguments_data() {
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
void TestConvertCli::rawArguments() {
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

void TestConvertCli::throughFileSystem_data() {
    QTest::addColumn<MakeFileSystem>("make");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("status");
    QTest::addColumn<Files>("written");

    const auto failing = [](std::vector<std::pair<std::string, int>> calls) {
        return MakeFileSystem([calls] {
            auto fs = std::make_unique<FailingFileSystem>();
            for (const auto& [kind, error] : calls) {
                fs->failAll(kind, error);
            }
            return fs;
        });
    };
    // Checked when the output is opened, and again when it is put in place.
    QTest::newRow("output_made_meanwhile")
        << MakeFileSystem([] { return std::make_unique<NameTakenMeanwhile>(); })
        << QStringList{"to-bbd", "GAME.srm"}
        << "plimbrook-convert: GAME.bbd: File exists (use --force to replace it)\n"
        << 1 << Files{{"GAME.bbd", "made meanwhile"}};
    QTest::newRow("strangers_link_in_shared_folder")
        << MakeFileSystem([] { return std::make_unique<StrangersLinks>(); })
        << QStringList{"to-srm", "--force", "--output", "DANGLING.bbd", "KEEP.bbd"}
        << "plimbrook-convert: DANGLING.bbd: not following a link that another user made in a "
           "shared folder\n"
        << 1 << Files{};
    // The folder is named as the cause, not the output that was never there.
    QTest::newRow("folder_refuses_new_files")
        << failing({{"unnamed", EPERM}}) << QStringList{"to-bbd", "--output-dir", "sub", "GAME.srm"}
        << "plimbrook-convert: sub/GAME.bbd: cannot create a file in sub: Operation not "
           "permitted\n"
        << 1 << Files{};
}

// What can only be staged through the file-system seam: races, and file systems CI lacks.
void TestConvertCli::throughFileSystem() {
    QFETCH(MakeFileSystem, make);
    QFETCH(QStringList, args);
    QFETCH(QString, err);
    QFETCH(int, status);
    QFETCH(Files, written);

    Files expected = snapshotTree(dir_->path());
    for (auto it = written.begin(); it != written.end(); ++it) {
        expected.insert(it.key(), it.value());
    }
    const auto fs = make();
    std::ostringstream out;
    std::ostringstream errStream;
    QCOMPARE(runConvert(toArgs(args), out, errStream, {environment().defaultTemplatePath, *fs}),
             status);
    QCOMPARE(QString::fromStdString(errStream.str()), err);
    QCOMPARE(snapshotTree(dir_->path()), expected);
}

// A failure at any step of a conversion names a file the user gave, leaves the output either
// absent or complete, and never leaves a temporary file behind.
void TestConvertCli::everyFailingStep() {
    const std::vector<std::string> args = {"to-bbd", "GAME.srm"};
    const Files before = snapshotTree(dir_->path());
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

        Files after = snapshotTree(dir_->path());
        if (status == 0) {
            // Only the folder's sync, its close after that, the look at it that tells which
            // folders of a batch are one, and the close of the new file once it is synced and
            // named, may fail unreported: the file is whole and in place by then. Nor does the
            // look for a killed run's temporaries, which only tidies up. Any other failure, a
            // failed close of an input among them, must be reported.
            const std::string call = fs.log()[std::size_t(failAt - 1)];
            QVERIFY2(call == "sync .  <- fails" || call == "close .  <- fails" ||
                         call == "fstat .  <- fails" || call == "list .  <- fails" ||
                         call == "close ./(unnamed)  <- fails",
                     context);
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

// 16 and 32 KiB saves come back from their BBD files byte for byte.
void TestConvertCli::largeSavesRoundTrip_data() {
    QTest::addColumn<QString>("save");
    QTest::newRow("16k") << "MID.srm";
    QTest::newRow("32k") << "BIG.srm";
}

void TestConvertCli::largeSavesRoundTrip() {
    QFETCH(QString, save);
    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(runConvert(toArgs({"to-bbd", "--output", "round.bbd", save}), out, err, environment()),
             0);
    QCOMPARE(runConvert(toArgs({"to-srm", "--output", "round.srm", "round.bbd"}), out, err,
                        environment()),
             0);
    QCOMPARE(readFile("round.bbd").size(), qsizetype(33'280));
    QCOMPARE(readFile("round.srm"), readFile(save));
}

// Each copier's file, byte for byte as the layout describes it, and the save back from it.
void TestConvertCli::copierFormats_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("header");  // what comes before the 32 KiB body
    QTest::addColumn<QByteArray>("save");

    QByteArray bbdHeader = stuffDat();
    bbdHeader.replace(16, 77, commentField("Enter a Comment and stuff."));
    const struct {
        const char* format;
        const char* extension;
        QByteArray header;
    } formats[] = {
        {"swc", ".bbd", bbdHeader},
        {"fig", ".sav", proFighterHeader()},
        {"ufo", ".ufo", superUfoHeader()},
        {"gd3", ".gd3", QByteArray()},
    };
    const struct {
        int kib;
        const char* name;
        QByteArray save;
    } saves[] = {{8, "GAME", gameSave()}, {16, "MID", midSave()}, {32, "BIG", bigSave()}};
    for (const auto& format : formats) {
        for (const auto& save : saves) {
            QTest::addRow("%s_%dk", format.format, save.kib)
                << format.format << QString(save.name) + ".srm"
                << QString(save.name) + format.extension << format.header << save.save;
        }
    }
}

void TestConvertCli::copierFormats() {
    QFETCH(QString, format);
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, save);
    // Only a BBD file's header comes from the template: the others do without one.
    if (format != "swc") {
        QVERIFY(QFile::remove("prog/Stuff.dat"));
    }

    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(runConvert(toArgs({"to-bbd", "--format", format, input}), out, err, environment()), 0);
    QCOMPARE(QString::fromStdString(err.str()), QString());
    QCOMPARE(readFile(output), header + save.repeated(32 * 1024 / save.size()));

    // Back by its header; a Game Doctor save has none, so it is named.
    QStringList back = {"to-srm", "--output", "back.srm", output};
    if (format == "gd3") {
        back << "--format" << format;
    }
    QCOMPARE(runConvert(toArgs(back), out, err, environment()), 0);
    QCOMPARE(readFile("back.srm"), save);
}

// A header is another copier's only when it is that copier's whole, in a file of at least its
// length (more is extra bytes, ignored); anything near it is a header not known, and a file
// shorter than a save's 32 KiB is then a raw save. Nothing makes a file without a header a Game
// Doctor save but --format.
void TestConvertCli::copierHeaders_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("format");  // empty: none given
    QTest::addColumn<QString>("type");

    const QByteArray body = midSave().repeated(2);
    const QByteArray fig = proFighterHeader();
    const QByteArray ufo = superUfoHeader();
    const QString other = "copier file with another 512-byte header, ";
    const auto changed = [](QByteArray header, int at, char byte) {
        header[at] = byte;
        return header;
    };

    QTest::newRow("fig") << fig + body << ""
                         << "Pro Fighter save, 33280 bytes";
    QTest::newRow("ufo") << ufo + body << ""
                         << "Super UFO save, 33280 bytes";
    QTest::newRow("fig_byte_511_set") << changed(fig, 511, 1) + body << "" << other + "33280 bytes";
    QTest::newRow("fig_1k_short") << fig + body.left(31 * 1024) << ""
                                  << "raw SRAM save, 32256 bytes";
    QTest::newRow("fig_1k_longer") << fig + body + zeros(1024) << ""
                                   << "Pro Fighter save, 34304 bytes";
    QTest::newRow("ufo_byte_0_set") << changed(ufo, 0, 1) + body << "" << other + "33280 bytes";
    QTest::newRow("ufo_name_at_9")
        << zeros(kHeader).replace(9, 8, "SUPERUFO") + body << "" << other + "33280 bytes";
    QTest::newRow("other_header_format_ufo")
        << otherHeader() + body << "ufo" << other + "33280 bytes";
    QTest::newRow("copier_mark_beside_fig_byte")
        << fig.left(8) + kCopierMark + fig.mid(10) + body << ""
        << "Super Wild Card BBD file, 33280 bytes";
    QTest::newRow("raw_32k_starting_as_fig") << (fig + body).left(32 * 1024) << ""
                                             << "raw SRAM save, 32768 bytes";
    QTest::newRow("raw_32k_as_game_doctor") << body << "gd3"
                                            << "Game Doctor save, 32768 bytes";
}

void TestConvertCli::copierHeaders() {
    QFETCH(QByteArray, file);
    QFETCH(QString, format);
    QFETCH(QString, type);
    QVERIFY(writeFile("x.sav", file));

    QStringList args = {"info", "x.sav"};
    if (!format.isEmpty()) {
        args << "--format=" + format;
    }
    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(runConvert(toArgs(args), out, err, environment()), 0);
    const QStringList lines = QString::fromStdString(out.str()).split('\n');
    QVERIFY(lines.size() > 1);
    QCOMPARE(lines[1], "  type: " + type);
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
    QTest::addColumn<int>("fileSizeLimit");  // bytes; 0: none
    QTest::addColumn<int>("closed");         // a standard descriptor the program starts without

    QFile stuff(PLIMBROOK_TEMPLATE_PATH);
    QVERIFY(stuff.open(QIODevice::ReadOnly));
    const QByteArray installed = stuff.readAll();

    // Started through a link, as from the command search path: the template is still found
    // beside the program file itself.
    QTest::newRow("template_beside_program")
        << QStringList{"to-bbd", "--comment", "Linked", "GAME.srm"} << QString() << "" << 0
        << Files{{"GAME.bbd", bbd(installed, gameSave(), "Linked")}} << 0 << -1;
    QTest::newRow("comment_to_full_disk") << QStringList{"comment", "KEEP.bbd"} << "/dev/full"
                                          << "plimbrook-convert: standard output: write error\n"
                                          << 1 << Files{} << 0 << -1;
    // As under "ulimit -f 16": a write failure like any other, not a silent death by SIGXFSZ.
    QTest::newRow("file_size_limit") << QStringList{"to-bbd", "GAME.srm"} << QString()
                                     << "plimbrook-convert: GAME.bbd: File too large\n"
                                     << 1 << Files{} << 16 * 1024 << -1;
    // Started with a standard descriptor closed, the program puts /dev/null there: the file it
    // opens next does not take its number, and what it writes there goes nowhere.
    QTest::newRow("comment_with_stdout_closed") << QStringList{"comment", "KEEP.bbd", "NOTES.bbd"}
                                                << QString() << "" << 0 << Files{} << 0 << 1;
}

void TestConvertCli::realProgram() {
    QFETCH(QStringList, args);
    QFETCH(QString, stdoutFile);
    QFETCH(QString, err);
    QFETCH(int, status);
    QFETCH(Files, written);
    QFETCH(int, fileSizeLimit);
    QFETCH(int, closed);

    Files expected = snapshotTree(dir_->path());
    for (auto it = written.begin(); it != written.end(); ++it) {
        expected.insert(it.key(), it.value());
    }
    QVERIFY(QFile::link(PLIMBROOK_CONVERT_PATH, dir_->filePath("prog/link")));

    QProcess process;
    process.setChildProcessModifier([fileSizeLimit, closed] {
        if (fileSizeLimit > 0) {
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = rlim_t(fileSizeLimit);
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (closed >= 0) {
            ::close(closed);
        }
    });
    if (!stdoutFile.isEmpty()) {
        process.setStandardOutputFile(stdoutFile);
    }
    process.start(dir_->filePath("prog/link"), args);
    QVERIFY(process.waitForFinished(30'000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), err);

    Files after = snapshotTree(dir_->path());
    after.remove("prog/link");
    QCOMPARE(after.keys(), expected.keys());
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    }
}

QTEST_GUILESS_MAIN(TestConvertCli)
#include "tst_convert_cli.moc"
