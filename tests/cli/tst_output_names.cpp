#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <sstream>

#include "cli/convert_app.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/golden_files.h"

using plimbrook::cli::runConvert;
using namespace plimbrook::testing;

namespace {

using Files = QMap<QString, QByteArray>;
using Setup = std::function<void()>;

QByteArray markedHeader() {
    return pattern(kHeader, 11).replace(kCopierMarkAt, 3, "\xAA\xBB\x05");
}
QByteArray saveOf(int seed) {
    return pattern(kSram, seed);
}
QByteArray bbdOf(int seed) {
    return bbdBytes(markedHeader(), commentField("Enter a Comment and stuff."), saveOf(seed));
}

void symlinkAt(const char* target, const char* name) {
    QVERIFY(::symlink(target, name) == 0);
}

// Gives each spelling of a folder a number of its own, as a FUSE driver may: "out" and
// "out/../out" are then told apart by their names alone.
class SpellingsApart : public plimbrook::testing::FailingFileSystem {
public:
    int fstat(int fd, struct stat& info) override {
        const int result = FailingFileSystem::fstat(fd, info);
        if (result == 0 && S_ISDIR(info.st_mode)) {
            info.st_ino = ino_t(std::hash<std::string>()(pathOf(fd)));
        }
        return result;
    }
    int stat(const std::string& path, struct stat& info) override {
        const int result = FailingFileSystem::stat(path, info);
        if (result == 0 && S_ISDIR(info.st_mode)) {
            info.st_ino = ino_t(std::hash<std::string>()(path));
        }
        return result;
    }
};

// Every regular file under `root` with its bytes; a FIFO is left unread.
Files regularFiles(const QString& root) {
    Files files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileInfo().isFile() && !it.fileInfo().isSymLink()) {
            files.insert(QDir(root).relativeFilePath(path), readFile(path));
        }
    }
    return files;
}

}  // namespace

Q_DECLARE_METATYPE(Setup)

// One output has one name in a run: however two outputs, or an output and an input, are
// spelled (another case, a linked folder, "..", a hard link), the second is refused, with or
// without --force, and the message names the earlier file and never advises --force.
class TestOutputNames : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void oneOutputOneName_data();
    void oneOutputOneName();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString previousDir_;
};

void TestOutputNames::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    previousDir_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_->path()));
    for (const char* folder : {"x", "a", "c", "d", "o3", "T", "out", "sub"}) {
        QVERIFY(QDir().mkdir(folder));
    }
    QVERIFY(writeFile("Stuff.dat", markedHeader()));
    QVERIFY(writeFile("x/A.srm", saveOf(1)));
    QVERIFY(writeFile("x/A.sav", saveOf(2)));
    QVERIFY(writeFile("a/G.srm", saveOf(3)));
    QVERIFY(writeFile("c/g.srm", saveOf(4)));
    QVERIFY(writeFile("o3/g.bbd", bbdOf(5)));
    QVERIFY(writeFile("T/Stuff.dat", markedHeader()));
    QVERIFY(writeFile("GAME.srm", saveOf(6)));
    QVERIFY(writeFile("d/G.bbd", bbdOf(7)));
    QVERIFY(writeFile("out/A.srm", saveOf(8)));
    QVERIFY(writeFile("out/A.sav", saveOf(9)));
}

void TestOutputNames::cleanup() {
    QDir::setCurrent(previousDir_);
    dir_.reset();
}

void TestOutputNames::oneOutputOneName_data() {
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("openFiles");  // a limit on open files; 0: as it is
    QTest::addColumn<bool>("spellingsApart");
    QTest::addColumn<QString>("err");
    QTest::addColumn<Files>("changed");  // every file the run leaves other than it found

    const Setup linked = [] { symlinkAt("x", "y"); };
    const Setup nothing = [] {};
    const QString earlier = "also the output of an earlier file of this batch, ";
    // x/A.srm and y/A.sav, with y a link to x, both make x/A.bbd.
    for (const bool force : {true, false}) {
        QStringList args{"to-bbd", "x/A.srm", "y/A.sav"};
        if (force) {
            args.insert(1, "--force");
        }
        QTest::addRow("linked_folder%s", force ? "_force" : "")
            << linked << args << 0 << false
            << "plimbrook-convert: y/A.bbd: " + earlier + "x/A.srm\n"
            << Files{{"x/A.bbd", bbdOf(1)}};
    }
    // Small groups put x/A.bbd in place before y/A.sav is done: the answer is the same.
    QTest::newRow("linked_folder_few_open_files")
        << linked << QStringList{"to-bbd", "--force", "x/A.srm", "y/A.sav"} << 60 << false
        << "plimbrook-convert: y/A.bbd: " + earlier + "x/A.srm\n"
        << Files{{"x/A.bbd", bbdOf(1)}};
    // On FAT, G.bbd and g.bbd are one file; they are taken as one everywhere.
    QTest::newRow("names_differing_in_case")
        << nothing << QStringList{"to-bbd", "--force", "--output-dir", "out", "a/G.srm", "c/g.srm"}
        << 0 << false << "plimbrook-convert: out/g.bbd: " + earlier + "a/G.srm\n"
        << Files{{"out/G.bbd", bbdOf(3)}};
    for (const bool apart : {false, true}) {
        QTest::addRow("two_spellings_of_one_folder%s", apart ? "_numbered_apart" : "")
            << nothing << QStringList{"to-bbd", "--force", "out/A.srm", "out/../out/A.sav"} << 0
            << apart << "plimbrook-convert: out/../out/A.bbd: " + earlier + "out/A.srm\n"
            << Files{{"out/A.bbd", bbdOf(8)}};
    }
    QTest::newRow("input_in_another_case")
        << nothing << QStringList{"to-srm", "--force", "--output", "o3/G.BBD", "o3/g.bbd"} << 0
        << false << "plimbrook-convert: o3/G.BBD: the output would be the input itself\n"
        << Files{};
    QTest::newRow("template_in_another_case")
        << nothing << QStringList{"to-bbd",   "--force",     "--template", "T/Stuff.dat",
                                  "--output", "T/STUFF.DAT", "GAME.srm"}
        << 0 << false << "plimbrook-convert: T/STUFF.DAT: also read by this batch\n"
        << Files{};
    QTest::newRow("template_through_a_linked_folder")
        << Setup([] { symlinkAt("T", "U"); })
        << QStringList{"to-bbd",   "--force",     "--template", "T/Stuff.dat",
                       "--output", "U/stuff.dat", "GAME.srm"}
        << 0 << false << "plimbrook-convert: U/stuff.dat: also read by this batch\n"
        << Files{};
    // The first output is the second input: it is read later, and must be there to be read.
    QTest::newRow("input_named_later_refused")
        << Setup([] { QFile::copy("a/G.srm", "x/G.srm"); })
        << QStringList{"to-bbd", "--force", "--output-dir", "d", "x/G.srm", "d/G.bbd"} << 0 << false
        << "plimbrook-convert: d/G.bbd: also read by this batch\n"
           "plimbrook-convert: d/G.bbd: already a BBD file (use to-srm)\n"
        << Files{};
    QTest::newRow("input_through_a_hard_link")
        << Setup([] { QVERIFY(::link("GAME.srm", "sub/HARD.bbd") == 0); })
        << QStringList{"to-bbd", "--force", "--output", "sub/HARD.bbd", "GAME.srm"} << 0 << false
        << "plimbrook-convert: sub/HARD.bbd: the output would be the input itself\n"
        << Files{};
    // A folder or a FIFO in the output's place: the real reason, not --force.
    QTest::newRow("folder_as_output")
        << nothing << QStringList{"to-bbd", "--output", "sub", "GAME.srm"} << 0 << false
        << "plimbrook-convert: sub: Is a directory\n"
        << Files{};
    QTest::newRow("fifo_as_output") << Setup([] { QVERIFY(::mkfifo("pipe", 0600) == 0); })
                                    << QStringList{"to-bbd", "--output", "pipe", "GAME.srm"} << 0
                                    << false << "plimbrook-convert: pipe: Not a regular file\n"
                                    << Files{};
}

void TestOutputNames::oneOutputOneName() {
    QFETCH(Setup, setup);
    QFETCH(QStringList, args);
    QFETCH(int, openFiles);
    QFETCH(bool, spellingsApart);
    QFETCH(QString, err);
    QFETCH(Files, changed);
    setup();
    Files expected = regularFiles(".");
    for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
        expected[it.key()] = it.value();
    }

    std::vector<std::string> argv;
    for (const QString& arg : args) {
        argv.push_back(arg.toStdString());
    }
    struct rlimit before {};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &before) == 0);
    if (openFiles > 0) {
        struct rlimit low = before;
        low.rlim_cur = rlim_t(openFiles);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &low) == 0);
    }
    std::ostringstream out;
    std::ostringstream errors;
    SpellingsApart apart;
    plimbrook::FileSystem& fs = spellingsApart ? apart : plimbrook::realFileSystem();
    const int status =
        runConvert(argv, out, errors, {dir_->filePath("Stuff.dat").toStdString(), fs});
    ::setrlimit(RLIMIT_NOFILE, &before);

    QCOMPARE(QString::fromStdString(errors.str()), err);
    QVERIFY(!err.contains("--force"));
    QCOMPARE(status, err.isEmpty() ? 0 : 1);
    QCOMPARE(regularFiles("."), expected);
}

QTEST_GUILESS_MAIN(TestOutputNames)
#include "tst_output_names.moc"
