#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <optional>

#include "core/files/file_access.h"
#include "core/files/temporary_names.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/forked_child.h"
#include "tests/support/golden_files.h"
#include "tests/support/replacing.h"

using namespace plimbrook;
using namespace plimbrook::testing;

namespace {

using Existing = ReplaceOptions::Existing;

const QByteArray kWritten = noise(kBbd, 31);
const QByteArray kMeanwhile = "made by another program meanwhile";
// A group that is not root's, for a folder that passes its group on.
constexpr gid_t kOtherGroup = 1234;

// FAT through FUSE: no files without a name, no rename that refuses a taken name, no links.
const Configure kFatThroughFuse = [](FailingFileSystem& fs) {
    fs.failAll("unnamed", EOPNOTSUPP);
    fs.failAll("rename-noreplace", EINVAL);
    fs.failAll("link", EPERM);
};

// Puts a file of another program at the name a temporary is about to be made or named at, once.
class TemporaryNameTaken : public FailingFileSystem {
public:
    int createNew(int dir, const std::string& name, mode_t mode) override {
        squat(dir, name);
        return FailingFileSystem::createNew(dir, name, mode);
    }
    int nameUnnamed(int fd, int dir, const std::string& name) override {
        squat(dir, name);
        return FailingFileSystem::nameUnnamed(fd, dir, name);
    }
    QString squatter;

private:
    void squat(int dir, const std::string& name) {
        if (squatter.isEmpty() && name.find(kTemporaryMarker) != std::string::npos) {
            squatter = QString::fromStdString(pathAt(dir, name));
            writeFile(squatter, kMeanwhile);
        }
    }
};

// Another program that makes the output's name the moment it sees it free: right after the
// run has looked and found nothing there, or made it itself. Armed once the output is open.
class MadeAfterLook : public FailingFileSystem {
public:
    int lstatat(int dir, const std::string& name, struct stat& info) override {
        const int result = FailingFileSystem::lstatat(dir, name, info);
        if (result != 0 && errno == ENOENT) {
            race(dir, name);
            errno = ENOENT;
        }
        return result;
    }
    int createNew(int dir, const std::string& name, mode_t mode) override {
        const int fd = FailingFileSystem::createNew(dir, name, mode);
        if (fd >= 0) {
            race(dir, name);
        }
        return fd;
    }
    bool armed = false;
    bool made = false;

private:
    void race(int dir, const std::string& name) {
        if (!armed || made || name.find(kTemporaryMarker) != std::string::npos) {
            return;
        }
        const std::string at = pathAt(dir, name);
        const int fd = ::open(at.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            made = ::write(fd, kMeanwhile.constData(), std::size_t(kMeanwhile.size())) ==
                   kMeanwhile.size();
            ::close(fd);
        }
        armed = false;
    }
};

// Swaps the input for a FIFO right after it was looked at.
class SwappedForFifo : public FailingFileSystem {
public:
    int stat(const std::string& path, struct stat& info) override {
        const int result = FailingFileSystem::stat(path, info);
        if (result == 0 && ::unlink(path.c_str()) == 0) {
            ::mkfifo(path.c_str(), 0600);
        }
        return result;
    }
};

}  // namespace

Q_DECLARE_METATYPE(Configure)

// What a replaced file holds and keeps, and what the ways of writing it do where the file system
// is poor or a race is on.
class TestReplacedContents : public QObject {
    Q_OBJECT

private slots:
    void init();
    void exactContentsAndMode_data();
    void exactContentsAndMode();
    void inPlaceForeseenFailures_data();
    void inPlaceForeseenFailures();
    void temporaryNameTaken_data();
    void temporaryNameTaken();
    void fatThroughFuse_data();
    void fatThroughFuse();
    void writesThatWriteNothingFail();
    void inputSwappedForFifoDoesNotHang();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestReplacedContents::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestReplacedContents::exactContentsAndMode_data() {
    QTest::addColumn<Configure>("configure");
    QTest::addColumn<int>("oldSize");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("inPlace");

    const std::pair<const char*, Configure> ways[] = {
        {"unnamed", kUnnamed}, {"named", kNamed}, {"in_place", kInPlace}};
    const std::pair<const char*, int> sizes[] = {
        {"old_longer", 40'000}, {"old_shorter", 1'000}, {"old_as_long", kBbd}};
    // Set-user-ID, set-group-ID and sticky bits are the old file's too.
    const std::pair<const char*, int> modes[] = {
        {"0640", 0640}, {"4755", 04755}, {"2750", 02750}, {"1644", 01644}, {"6711", 06711}};
    int row = 0;
    for (const auto& [way, configure] : ways) {
        for (const auto& [size, bytes] : sizes) {
            const auto& [modeName, mode] = modes[row++ % std::size(modes)];
            QTest::addRow("%s_%s_%s", way, size, modeName)
                << configure << bytes << mode << (std::string_view(way) == "in_place");
        }
    }
}

// A replaced file holds the new contents and nothing else, whatever the old file's length, and
// keeps the old file's mode, its special bits included, and its group, even in a folder that
// gives new files another (set-group-ID, where root can stage it).
void TestReplacedContents::exactContentsAndMode() {
    QFETCH(Configure, configure);
    QFETCH(int, oldSize);
    QFETCH(int, mode);
    QFETCH(bool, inPlace);
    const QString target = path("GAME.bbd");
    QVERIFY(writeFile(target, noise(oldSize, 32)));
    const std::string folder = dir_->path().toStdString();
    const bool root = ::geteuid() == 0;
    if (root) {
        QVERIFY(::chown(folder.c_str(), 0, kOtherGroup) == 0);
        QVERIFY(::chmod(folder.c_str(), 02755) == 0);
        QVERIFY(::chown(target.toStdString().c_str(), 0, 0) == 0);
    }
    QVERIFY(::chmod(target.toStdString().c_str(), mode_t(mode)) == 0);
    QCOMPARE(modeOf(target) & 07777, unsigned(mode));
    const ino_t oldInode = inodeOf(target);

    FailingFileSystem fs;
    configure(fs);
    const auto error = replace(fs, target, Existing::Replace, kWritten);
    QVERIFY2(!error, error ? error->what() : "");

    QCOMPARE(readFile(target), kWritten);
    QCOMPARE(modeOf(target) & 07777, unsigned(mode));
    QCOMPARE(inodeOf(target) == oldInode, inPlace);
    if (root) {
        struct stat info {};
        QVERIFY(::stat(target.toStdString().c_str(), &info) == 0);
        QCOMPARE(info.st_gid, gid_t(0));
    }
    QCOMPARE(strayTemporaries(dir_->path()), QStringList());
}

void TestReplacedContents::inPlaceForeseenFailures_data() {
    QTest::addColumn<int>("sizeLimit");  // ulimit -f in bytes; 0: none
    QTest::addColumn<QString>("reserveFails");
    QTest::addColumn<int>("error");  // 0: succeeds

    QTest::newRow("past_file_size_limit") << 16 * 1024 << "" << EFBIG;
    QTest::newRow("disk_full") << 0 << "ENOSPC" << ENOSPC;
    QTest::newRow("quota_reached") << 0 << "EDQUOT" << EDQUOT;
    QTest::newRow("reserving_unsupported") << 0 << "EOPNOTSUPP" << 0;
    QTest::newRow("within_limit") << 64 * 1024 << "" << 0;
}

// In place, a failure that can be foreseen comes before the first byte is written, so the old
// file stays whole; the run is in a child, as the limit is the process's.
void TestReplacedContents::inPlaceForeseenFailures() {
    QFETCH(int, sizeLimit);
    QFETCH(QString, reserveFails);
    QFETCH(int, error);
    const QString target = path("GAME.bbd");
    const QByteArray old = noise(40'000, 33);
    QVERIFY(writeFile(target, old));

    const auto status = runForked([&] {
        if (sizeLimit > 0) {
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = rlim_t(sizeLimit);
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        removeTemporariesOnTermination();  // EFBIG instead of SIGXFSZ
        FailingFileSystem fs;
        kInPlace(fs);
        const int reserveError = reserveFails == "ENOSPC"   ? ENOSPC
                                 : reserveFails == "EDQUOT" ? EDQUOT
                                                            : EOPNOTSUPP;
        if (!reserveFails.isEmpty()) {
            fs.failAll("reserve", reserveError);
        }
        const auto failed = replace(fs, target, Existing::Replace, kWritten);
        ::_exit(!failed ? 0 : failed->step() == FileStep::Write ? failed->errorNumber() : 120);
    });
    QVERIFY(status && WIFEXITED(*status));
    QCOMPARE(WEXITSTATUS(*status), error);
    QCOMPARE(readFile(target), error == 0 ? kWritten : old);
}

void TestReplacedContents::temporaryNameTaken_data() {
    QTest::addColumn<Configure>("configure");
    QTest::newRow("named_temporary") << kNamed;
    QTest::newRow("unnamed_named_before_rename") << kUnnamed;
}

// A file at the name drawn for a temporary is another program's: it is neither opened nor
// renamed over the target, and another name is drawn.
void TestReplacedContents::temporaryNameTaken() {
    QFETCH(Configure, configure);
    const QString target = path("GAME.bbd");
    QVERIFY(writeFile(target, noise(500, 34)));

    TemporaryNameTaken fs;
    configure(fs);
    const auto error = replace(fs, target, Existing::Replace, kWritten);
    QVERIFY2(!error, error ? error->what() : "");

    QVERIFY(!fs.squatter.isEmpty());
    QCOMPARE(readFile(target), kWritten);
    QCOMPARE(readFile(fs.squatter), kMeanwhile);
    QVERIFY(QFile::remove(fs.squatter));
    QCOMPARE(strayTemporaries(dir_->path()), QStringList());
}

void TestReplacedContents::fatThroughFuse_data() {
    QTest::addColumn<QString>("race");
    QTest::addColumn<QString>("failing");  // a call that fails everywhere, with EIO
    QTest::addColumn<int>("step");         // -1: succeeds

    QTest::newRow("another_program_right_after_the_look") << "after_look"
                                                          << "" << -1;
    QTest::newRow("name_taken_before_the_claim") << "before"
                                                 << "" << int(FileStep::Exists);
    QTest::newRow("rename_over_claim_fails") << ""
                                             << "rename" << int(FileStep::Rename);
    QTest::newRow("claim_fails") << ""
                                 << "create" << int(FileStep::Rename);
}

// Where nothing refuses a taken name in one step, the name is claimed by creating it: a file
// that another program makes is never replaced, and a claim that is not used goes again.
void TestReplacedContents::fatThroughFuse() {
    QFETCH(QString, race);
    QFETCH(QString, failing);
    QFETCH(int, step);
    const QString target = path("GAME.bbd");

    MadeAfterLook fs;
    kFatThroughFuse(fs);
    const auto error = replace(fs, target, Existing::Refuse, kWritten, [&] {
        if (race == "before") {
            writeFile(target, kMeanwhile);
        }
        fs.armed = race == "after_look";
        if (!failing.isEmpty()) {
            // The temporary itself was made already; what fails now is the commit's own call.
            fs.failAll(failing.toStdString(), EIO);
        }
    });

    QCOMPARE(strayTemporaries(dir_->path()), QStringList());
    if (fs.made || race == "before") {
        QVERIFY2(error, "replaced a file another program made");
        QCOMPARE(int(error->step()), int(FileStep::Exists));
        QCOMPARE(readFile(target), kMeanwhile);
        return;
    }
    if (step >= 0) {
        QVERIFY(error);
        QCOMPARE(int(error->step()), step);
        QVERIFY2(!QFileInfo::exists(target), "the claim was left");
        return;
    }
    QVERIFY2(!error, error ? error->what() : "");
    QCOMPARE(readFile(target), kWritten);
}

// A write that makes no progress fails the save instead of being tried for ever.
void TestReplacedContents::writesThatWriteNothingFail() {
    const QString target = path("GAME.bbd");
    const auto status = runForked(
        [&] {
            FailingFileSystem fs;
            fs.writeNothing();
            const auto failed = replace(fs, target, Existing::Replace, kWritten);
            ::_exit(failed && failed->step() == FileStep::Write ? 0 : 1);
        },
        std::chrono::seconds(10));
    QVERIFY2(status, "the write loop never ended");
    QVERIFY(WIFEXITED(*status));
    QCOMPARE(WEXITSTATUS(*status), 0);
    QVERIFY(!QFileInfo::exists(target));
    QCOMPARE(strayTemporaries(dir_->path()), QStringList());
}

// An input swapped for a FIFO between its look and its opening is refused, without waiting for
// a writer that never comes.
void TestReplacedContents::inputSwappedForFifoDoesNotHang() {
    const QString input = path("GAME.srm");
    QVERIFY(writeFile(input, noise(kSram, 35)));
    const auto status = runForked(
        [&] {
            SwappedForFifo fs;
            try {
                InputFile::open(fs, input.toStdString());
            } catch (const FileError& error) {
                ::_exit(error.step() == FileStep::NotRegular ? 0 : 1);
            }
            ::_exit(2);
        },
        std::chrono::seconds(10));
    QVERIFY2(status, "opening the FIFO hung");
    QVERIFY(WIFEXITED(*status));
    QCOMPARE(WEXITSTATUS(*status), 0);
}

QTEST_GUILESS_MAIN(TestReplacedContents)
#include "tst_replaced_contents.moc"
