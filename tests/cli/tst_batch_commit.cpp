#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>
#include <sys/resource.h>

#include <sstream>

#include "cli/convert_app.h"
#include "core/files/temporary_names.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/forked_child.h"
#include "tests/support/golden_files.h"

using plimbrook::cli::runConvert;
using plimbrook::testing::bbdBytes;
using plimbrook::testing::commentField;
using plimbrook::testing::FailingFileSystem;
using plimbrook::testing::kHeader;
using plimbrook::testing::pattern;
using plimbrook::testing::readFile;
using plimbrook::testing::snapshotContents;
using plimbrook::testing::writeFile;

namespace {

// Enough files that the batch syncs its file system as a whole.
const QStringList kGames = {"A", "B", "C", "D", "E", "F", "G", "H"};

QByteArray save(const QString& game) {
    return pattern(8 * 1024, game.at(0).unicode());
}
// The template's header, with the copier's mark and SRAM type where the copier looks for them.
QByteArray markedHeader() {
    return pattern(kHeader, 11).replace(8, 3, "\xAA\xBB\x05");
}
QByteArray newBbd(const QString& game) {
    return bbdBytes(markedHeader(), commentField("Enter a Comment and stuff."), save(game));
}
// B already has a BBD file, which --force replaces.
QByteArray oldBbd() {
    return pattern(5000, 99);
}

// A process number past any system's limit: no run can have it.
constexpr long kDeadRun = 99'999'999;

int openDescriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir)) {
            ++count;
        }
        ::closedir(dir);
    }
    return count;
}

// Runs the command line with room for only `spare` more open files than are open now; its
// status and standard error. The limit is put back before the checks.
std::pair<int, QString> runWithFewOpenFiles(const std::vector<std::string>& args, int spare,
                                            const std::string& stuffDat) {
    struct rlimit before {};
    if (::getrlimit(RLIMIT_NOFILE, &before) != 0) {
        return {-1, "getrlimit failed"};
    }
    struct rlimit low = before;
    low.rlim_cur = static_cast<rlim_t>(openDescriptors() + spare);
    if (low.rlim_cur >= before.rlim_cur || ::setrlimit(RLIMIT_NOFILE, &low) != 0) {
        return {-1, "the limit on open files could not be lowered"};
    }
    std::ostringstream out;
    std::ostringstream err;
    const int status = runConvert(args, out, err, {stuffDat});
    ::setrlimit(RLIMIT_NOFILE, &before);
    return {status, QString::fromStdString(err.str())};
}

}  // namespace

// A batch writes all its new files before it makes them durable together; these check that the
// promise of a single conversion still holds for every file of it.
class TestBatchCommit : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void syncsAreGrouped_data();
    void syncsAreGrouped();
    void everyFailingStepOfABatch();
    void openFilesAreBounded();
    void commitFailureKeepsItsReason_data();
    void commitFailureKeepsItsReason();
    void openFilesAreBoundedAcrossFolders();
    void fewNamedTemporariesAtOnce();
    void killedRunsTemporariesAreRemoved();

private:
    int run(plimbrook::FileSystem& fs, std::string& err);

    std::unique_ptr<QTemporaryDir> dir_;
    QString previousDir_;
};

void TestBatchCommit::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QDir(dir_->path()).mkpath("out"));
    QVERIFY(writeFile(dir_->filePath("Stuff.dat"), markedHeader()));
    for (const QString& game : kGames) {
        QVERIFY(writeFile(dir_->filePath(game + ".srm"), save(game)));
    }
    QVERIFY(writeFile(dir_->filePath("out/B.bbd"), oldBbd()));
    previousDir_ = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_->path()));
}

void TestBatchCommit::cleanup() {
    QDir::setCurrent(previousDir_);
    dir_.reset();
}

int TestBatchCommit::run(plimbrook::FileSystem& fs, std::string& err) {
    std::ostringstream out;
    std::ostringstream errors;
    std::vector<std::string> args = {"to-bbd", "--force", "--output-dir", "out", "--"};
    for (const QString& game : kGames) {
        args.push_back((game + ".srm").toStdString());
    }
    const int status =
        runConvert(args, out, errors, {dir_->filePath("Stuff.dat").toStdString(), fs});
    err = errors.str();
    return status;
}

// No new file is put in place before every one is on disk, and the folder is synced once, after
// the last rename: a crash in between leaves each old file whole. The folder is opened once for
// all the files of a group. A small batch syncs each file;
// a larger one its whole file system at once, and each file only where that fails.
void TestBatchCommit::syncsAreGrouped_data() {
    QTest::addColumn<int>("files");
    QTest::addColumn<bool>("fileSystemSyncFails");
    QTest::addColumn<int>("fileSystemSyncs");
    QTest::addColumn<int>("fileSyncs");
    QTest::newRow("three_files_each_synced") << 3 << false << 0 << 3;
    QTest::newRow("seven_files_each_synced") << 7 << false << 0 << 7;
    QTest::newRow("eight_files_one_file_system_sync") << 8 << false << 1 << 0;
    QTest::newRow("ten_files_one_file_system_sync") << 10 << false << 1 << 0;
    QTest::newRow("file_system_sync_fails_each_synced") << 10 << true << 1 << 10;
}

void TestBatchCommit::syncsAreGrouped() {
    QFETCH(int, files);
    QFETCH(bool, fileSystemSyncFails);
    QFETCH(int, fileSystemSyncs);
    QFETCH(int, fileSyncs);

    std::vector<std::string> args = {"to-bbd", "--force", "--output-dir", "out", "--"};
    QStringList games;
    for (int i = 0; i < files; ++i) {
        const QString game(QChar('A' + i));
        QVERIFY(writeFile(game + ".srm", save(game)));
        args.push_back((game + ".srm").toStdString());
        games << game;
    }
    FailingFileSystem fs;
    if (fileSystemSyncFails) {
        fs.failAll("syncfs", EIO);
    }
    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(runConvert(args, out, err, {dir_->filePath("Stuff.dat").toStdString(), fs}), 0);
    QCOMPARE(err.str(), std::string());

    std::vector<long> fileSystemSync;
    std::vector<long> contentSyncs;
    std::vector<long> renames;
    std::vector<long> folderSyncs;
    int folderOpens = 0;
    for (long i = 0; i < static_cast<long>(fs.log().size()); ++i) {
        const std::string& call = fs.log()[std::size_t(i)];
        if (call.starts_with("syncfs ")) {
            fileSystemSync.push_back(i);
        } else if (call.starts_with("sync out/")) {
            contentSyncs.push_back(i);
        } else if (call.starts_with("sync out")) {
            folderSyncs.push_back(i);
        } else if (call.starts_with("rename ") ||
                   (call.starts_with("name out/") &&
                    call.find(plimbrook::kTemporaryMarker) == std::string::npos)) {
            renames.push_back(i);  // in place: replacing an old file, or naming a new one
        } else if (call == "opendir out") {
            ++folderOpens;
        }
    }
    QCOMPARE(folderOpens, 1);
    QCOMPARE(int(fileSystemSync.size()), fileSystemSyncs);
    QCOMPARE(int(contentSyncs.size()), fileSyncs);
    QCOMPARE(int(renames.size()), files);
    QCOMPARE(folderSyncs.size(), std::size_t(1));
    for (const auto* syncs : {&fileSystemSync, &contentSyncs}) {
        QVERIFY(syncs->empty() || syncs->back() < renames.front());
    }
    QVERIFY(renames.back() < folderSyncs.front());
    for (const QString& game : games) {
        QCOMPARE(readFile("out/" + game + ".bbd"), newBbd(game));
    }
}

// A failure at any call of the batch leaves each output either as it was or complete, names
// exactly the files it concerns, and the others are still converted.
void TestBatchCommit::everyFailingStepOfABatch() {
    FailingFileSystem counter;
    std::string err;
    QCOMPARE(run(counter, err), 0);
    const long calls = counter.count();
    // The inputs, the template and the output folder itself stay as they were.
    const auto inputs = snapshotContents(dir_->path());

    for (long failAt = 1; failAt <= calls; ++failAt) {
        for (const QString& game : kGames) {
            QFile::remove("out/" + game + ".bbd");
        }
        QVERIFY(writeFile("out/B.bbd", oldBbd()));
        FailingFileSystem fs(failAt, EIO);
        const int status = run(fs, err);
        const QByteArray context = QByteArray::number(static_cast<qlonglong>(failAt)) + " " +
                                   QByteArray::fromStdString(fs.log()[std::size_t(failAt - 1)]) +
                                   ": " + QByteArray::fromStdString(err);
        QVERIFY2(fs.fired(), context);

        int unconverted = 0;
        for (const QString& game : kGames) {
            const QByteArray now = readFile("out/" + game + ".bbd");
            const QByteArray before = game == "B" ? oldBbd() : QByteArray();
            const bool converted = now == newBbd(game);
            QVERIFY2(converted || now == before, context + " " + game.toUtf8());
            const bool named = err.find(game.toStdString() + ".") != std::string::npos ||
                               err.find("Stuff.dat") != std::string::npos;
            QVERIFY2(converted != named, context + " " + game.toUtf8());
            unconverted += converted ? 0 : 1;
        }
        // Each failure is told as the error that made it: a file that failed one step of the
        // commit is not taken on to the next, whose error would hide the first.
        std::istringstream lines(err);
        for (std::string line; std::getline(lines, line);) {
            QVERIFY2(line.ends_with(": Input/output error"), context);
        }
        QCOMPARE(status, unconverted == 0 ? 0 : 1);
        QVERIFY2(plimbrook::testing::strayTemporaries("out").isEmpty(), context);
        QCOMPARE(snapshotContents(dir_->path()), inputs);
    }
}

// Each file of a group holds descriptors until the group is committed: under a low limit on open
// files, a large batch must commit in smaller groups rather than fail.
void TestBatchCommit::openFilesAreBounded() {
    constexpr int kSaves = 150;
    QStringList names;
    for (int i = 0; i < kSaves; ++i) {
        const QString name = QStringLiteral("s%1.srm").arg(i, 3, 10, QLatin1Char('0'));
        QVERIFY(writeFile(name, pattern(1024, i)));
        names << name;
    }
    std::vector<std::string> args = {"to-bbd", "--output-dir", "out", "--"};
    for (const QString& name : names) {
        args.push_back(name.toStdString());
    }
    const auto [status, err] =
        runWithFewOpenFiles(args, 64, dir_->filePath("Stuff.dat").toStdString());
    QCOMPARE(err, QString());
    QCOMPARE(status, 0);
    QCOMPARE(QDir("out").entryList({"s*.bbd"}, QDir::Files).size(), kSaves);
}

void TestBatchCommit::commitFailureKeepsItsReason_data() {
    QTest::addColumn<QString>("failing");  // the first call of the commit that starts so fails
    QTest::addColumn<QString>("storage");

    // Syncing each file: the whole file system's sync fails, or the folder is not writable.
    QTest::newRow("a_files_sync") << "sync out/"
                                  << "unnamed";
    QTest::newRow("in_place_room_set_aside") << "reserve out/"
                                             << "in_place";
    QTest::newRow("in_place_write") << "write out/"
                                    << "in_place";
}

// A file that fails one step of the group's commit is left out of the later ones: it is reported
// with the error of the step that failed, and its old file stays, while the others are done.
void TestBatchCommit::commitFailureKeepsItsReason() {
    QFETCH(QString, failing);
    QFETCH(QString, storage);
    const auto configure = [&](FailingFileSystem& fs) {
        fs.failAll("syncfs", EIO);
        if (storage == "in_place") {
            fs.failAll("unnamed", EACCES);
        }
    };
    const auto putBack = [&] {
        for (const QString& game : kGames) {
            QVERIFY(writeFile("out/" + game + ".bbd", oldBbd()));
        }
    };
    putBack();
    FailingFileSystem counter;
    configure(counter);
    std::string err;
    QCOMPARE(run(counter, err), 0);
    const long failAt = counter.find(failing.toStdString()) + 1;
    QVERIFY(failAt > 0);
    // Each step goes over the files in the order given: the first to fail is the first file.
    const QString game = kGames.front();
    const std::string call = counter.log()[std::size_t(failAt - 1)];
    QVERIFY2(call.ends_with("/A.bbd") || call.ends_with("/(unnamed)"), call.c_str());

    putBack();
    FailingFileSystem fs(failAt, EIO);
    configure(fs);
    QCOMPARE(run(fs, err), 1);
    QCOMPARE(QString::fromStdString(err),
             "plimbrook-convert: out/" + game + ".bbd: Input/output error\n");
    for (const QString& each : kGames) {
        QCOMPARE(readFile("out/" + each + ".bbd"), each == game ? oldBbd() : newBbd(each));
    }
}

// As above, with each save in a folder of its own, so that each file of a group holds its
// folder's descriptor as well as its own.
void TestBatchCommit::openFilesAreBoundedAcrossFolders() {
    constexpr int kSaves = 120;
    std::vector<std::string> args = {"to-bbd", "--"};
    for (int i = 0; i < kSaves; ++i) {
        const QString folder = QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(writeFile(folder + "/s.srm", pattern(1024, i)));
        args.push_back((folder + "/s.srm").toStdString());
    }
    const auto [status, err] =
        runWithFewOpenFiles(args, 96, dir_->filePath("Stuff.dat").toStdString());
    QCOMPARE(err, QString());
    QCOMPARE(status, 0);
    for (int i = 0; i < kSaves; ++i) {
        QVERIFY(QFile::exists(QStringLiteral("f%1/s.bbd").arg(i, 3, 10, QLatin1Char('0'))));
    }
}

namespace {

// Counts the named temporaries that exist at once, on a file system without unnamed files.
class NamedTemporaries : public FailingFileSystem {
public:
    NamedTemporaries() { failAll("unnamed", EOPNOTSUPP); }
    int createNew(int dir, const std::string& name, mode_t mode) override {
        const int fd = FailingFileSystem::createNew(dir, name, mode);
        if (fd >= 0 && temporary(name)) {
            most = std::max(most, ++now);
        }
        return fd;
    }
    int rename(int dir, const std::string& from, const std::string& to, bool replace) override {
        const int result = FailingFileSystem::rename(dir, from, to, replace);
        now -= result == 0 && temporary(from) ? 1 : 0;
        return result;
    }
    int remove(int dir, const std::string& name) override {
        const int result = FailingFileSystem::remove(dir, name);
        now -= result == 0 && temporary(name) ? 1 : 0;
        return result;
    }
    int now = 0;
    int most = 0;

private:
    static bool temporary(const std::string& name) {
        return name.find(plimbrook::kTemporaryMarker) != std::string::npos;
    }
};

std::vector<std::string> manySaves(int count) {
    std::vector<std::string> args = {"to-bbd", "--output-dir", "out", "--"};
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("m%1.srm").arg(i, 3, 10, QLatin1Char('0'));
        writeFile(name, pattern(1024, i));
        args.push_back(name.toStdString());
    }
    return args;
}

}  // namespace

// Where each new file waits under a name until the group's commit, a kill would leave every one
// of them behind: a batch keeps only a few named at once.
void TestBatchCommit::fewNamedTemporariesAtOnce() {
    const auto args = manySaves(50);
    NamedTemporaries fs;
    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(runConvert(args, out, err, {dir_->filePath("Stuff.dat").toStdString(), fs}), 0);
    QCOMPARE(QString::fromStdString(err.str()), QString());
    QCOMPARE(fs.now, 0);
    QVERIFY2(fs.most <= int(plimbrook::CommitGroup::kNamedAtOnce),
             qPrintable(QString::number(fs.most)));
    QCOMPARE(QDir("out").entryList({"m*.bbd"}, QDir::Files).size(), 50);
}

// A batch killed outright leaves its few named temporaries; the next run that writes in the
// folder removes them, and only them: not another run's that is alive, nor another computer's.
void TestBatchCommit::killedRunsTemporariesAreRemoved() {
    const auto args = manySaves(40);
    const std::string templatePath = dir_->filePath("Stuff.dat").toStdString();
    const auto killed = plimbrook::testing::runForked([&] {
        struct KilledAtTwentieth : NamedTemporaries {
            int createNew(int dir, const std::string& name, mode_t mode) override {
                if (++made == 20) {
                    ::raise(SIGKILL);
                }
                return NamedTemporaries::createNew(dir, name, mode);
            }
            int made = 0;
        } fs;
        std::ostringstream out;
        std::ostringstream err;
        runConvert(args, out, err, {templatePath, fs});
        ::_exit(0);
    });
    QVERIFY(killed && WIFSIGNALED(*killed));
    const QStringList left = plimbrook::testing::strayTemporaries("out");
    QVERIFY(!left.isEmpty());
    QVERIFY(left.size() <= int(plimbrook::CommitGroup::kNamedAtOnce));

    const QString mark = QString::fromUtf8(plimbrook::thisMachine());
    const QStringList kept = {
        ".x.bbd.plimbrook-" + mark + "-" + QString::number(::getppid()) + "-abcdefgh",
        ".x.bbd.plimbrook-ffffff" + QString(mark == "ffffff" ? "0" : "") + "-" +
            QString::number(kDeadRun) + "-abcdefgh",
        "x.bbd.plimbrook-" + mark + "-" + QString::number(kDeadRun) + "-abcdefgh",
        ".x.bbd.plimbrook-" + mark + "-" + QString::number(kDeadRun) + "-abc",
    };
    for (const QString& name : kept) {
        QVERIFY(writeFile("out/" + name, "not a dead run's"));
    }
    QVERIFY(writeFile("m000.srm", pattern(1024, 0)));
    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(runConvert({"to-bbd", "--force", "--output-dir", "out", "m000.srm"}, out, err,
                        {templatePath}),
             0);
    QStringList now = QDir("out").entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : kept) {
        QVERIFY2(now.removeAll(name) == 1, qPrintable(name));
    }
    QCOMPARE(plimbrook::testing::strayTemporaries("out").size(), kept.size());
}

QTEST_GUILESS_MAIN(TestBatchCommit)
#include "tst_batch_commit.moc"
