#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <functional>

#include "core/files/file_access.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/forked_child.h"
#include "tests/support/golden_files.h"

using namespace plimbrook;
using namespace plimbrook::testing;

namespace {

// A forked child holds a copy of the test's heap without the threads that point into it, so a
// leak check when it exits would only report those; the child asks for none.
volatile bool skipLeakCheck = false;

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __lsan_is_turned_off() {
    return skipLeakCheck ? 1 : 0;
}
#endif

namespace {

// How a child that holds an uncommitted replacement ends.
enum class Ending { Signal, Exit, IgnoredHangup };

// Records the mode each file is created with, named or not.
class ModeRecorder : public FailingFileSystem {
public:
    int createNew(int dir, const std::string& name, mode_t mode) override {
        createdModes.push_back(mode);
        return FailingFileSystem::createNew(dir, name, mode);
    }
    int createUnnamed(int dir, mode_t mode) override {
        createdModes.push_back(mode);
        return FailingFileSystem::createUnnamed(dir, mode);
    }
    std::vector<mode_t> createdModes;
};

// Ends the program the moment a temporary comes to exist: right after creating a named one, or
// right after naming the unnamed contents at commit.
class EndingFileSystem : public FailingFileSystem {
public:
    explicit EndingFileSystem(std::function<void()> end) : end_(std::move(end)) {}
    int createNew(int dir, const std::string& name, mode_t mode) override {
        const int fd = FailingFileSystem::createNew(dir, name, mode);
        if (fd >= 0 && end_) {
            end_();
        }
        return fd;
    }
    int nameUnnamed(int fd, int dir, const std::string& name) override {
        const int result = FailingFileSystem::nameUnnamed(fd, dir, name);
        if (result == 0 && end_) {
            end_();
        }
        return result;
    }

private:
    std::function<void()> end_;
};

}  // namespace

class TestTermination : public QObject {
    Q_OBJECT

private slots:
    void endedProgramLeavesNoTemporary_data() {
        QTest::addColumn<int>("ending");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("named");  // a file system without unnamed files
        // When it ends: at the comment prompt, the new contents written; or the moment the
        // temporary comes to exist, when creating it or naming the unnamed contents at commit.
        QTest::addColumn<QString>("moment");
        QTest::newRow("sigterm-logout") << int(Ending::Signal) << SIGTERM << true << "prompt";
        QTest::newRow("sighup-terminal-gone") << int(Ending::Signal) << SIGHUP << true << "prompt";
        QTest::newRow("sigint-ctrl-c") << int(Ending::Signal) << SIGINT << true << "prompt";
        QTest::newRow("sigquit") << int(Ending::Signal) << SIGQUIT << true << "prompt";
        QTest::newRow("exit-display-lost") << int(Ending::Exit) << 0 << true << "prompt";
        QTest::newRow("sigterm-just-created")
            << int(Ending::Signal) << SIGTERM << true << "created";
        QTest::newRow("sigterm-unnamed") << int(Ending::Signal) << SIGTERM << false << "prompt";
        QTest::newRow("sigkill-unnamed") << int(Ending::Signal) << SIGKILL << false << "prompt";
        QTest::newRow("exit-unnamed") << int(Ending::Exit) << 0 << false << "prompt";
        QTest::newRow("sigint-just-named") << int(Ending::Signal) << SIGINT << false << "named";
    }

    // The target stays as it was and the half-made replacement goes with the program.
    void endedProgramLeavesNoTemporary() {
        QFETCH(int, ending);
        QFETCH(int, signal);
        QFETCH(bool, named);
        QFETCH(QString, moment);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = dir.filePath(QStringLiteral("GAME.bbd"));
        const QByteArray old = noise(40'000, 7);
        QVERIFY(writeFile(target, old));

        const std::optional<int> status = runForked([&] {
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);  // SIGQUIT would dump one
            removeTemporariesOnTermination();
            const auto end = [&] {
                if (Ending(ending) == Ending::Exit) {
                    skipLeakCheck = true;
                    std::exit(3);
                }
                ::raise(signal);
            };
            EndingFileSystem fs(moment == "created" || moment == "named" ? end
                                                                         : std::function<void()>());
            if (named) {
                fs.failAll("unnamed", EOPNOTSUPP);
            }
            auto file = ReplacementFile::open(fs, target.toStdString());
            file->write(0, std::vector<std::uint8_t>(kBbd, 0x5A));
            if (moment == "prompt") {
                if (named == strayTemporaries(dir.path()).isEmpty()) {
                    ::_exit(90);  // not the storage the row is about
                }
                end();
            }
            file->commit();
            ::_exit(91);  // the signal should have ended us
        });
        QVERIFY(status);
        if (Ending(ending) == Ending::Exit) {
            QVERIFY(WIFEXITED(*status));
            QCOMPARE(WEXITSTATUS(*status), 3);
        } else {
            QVERIFY2(WIFSIGNALED(*status), "the program must still end by its signal");
            QCOMPARE(WTERMSIG(*status), signal);
        }
        QCOMPARE(strayTemporaries(dir.path()), QStringList());
        QCOMPARE(readFile(target), old);
    }

    // Past a file-size limit (ulimit -f) a write fails like any other, instead of the kernel's
    // SIGXFSZ ending the program on the spot and leaving its temporary.
    void fileSizeLimitIsAWriteFailure_data() {
        QTest::addColumn<bool>("named");
        QTest::addColumn<int>("oldSize");  // 0: no file there yet
        QTest::newRow("new-file-unnamed") << false << 0;
        QTest::newRow("new-file-named") << true << 0;
        QTest::newRow("copying-old-file-named") << true << 40'000;
    }

    void fileSizeLimitIsAWriteFailure() {
        QFETCH(bool, named);
        QFETCH(int, oldSize);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = dir.filePath(QStringLiteral("GAME.bbd"));
        const QByteArray old = noise(oldSize, 8);
        if (oldSize > 0) {
            QVERIFY(writeFile(target, old));
        }

        const std::optional<int> status = runForked([&] {
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 16 * 1024;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            removeTemporariesOnTermination();
            FailingFileSystem fs;
            if (named) {
                fs.failAll("unnamed", EOPNOTSUPP);
            }
            try {
                auto file = ReplacementFile::open(fs, target.toStdString());
                file->write(0, std::vector<std::uint8_t>(kBbd, 0x5A));
                file->commit();
            } catch (const FileError& error) {
                ::_exit(error.step() == FileStep::Write && error.errorNumber() == EFBIG ? 0 : 92);
            }
            ::_exit(91);
        });
        QVERIFY(status);
        QVERIFY2(WIFEXITED(*status), "the limit must not end the program");
        QCOMPARE(WEXITSTATUS(*status), 0);
        QCOMPARE(strayTemporaries(dir.path()), QStringList());
        QCOMPARE(QFileInfo::exists(target), oldSize > 0);
        QCOMPARE(readFile(target), old);
    }

    // A hang-up ignored on purpose, as under nohup, stays ignored.
    void ignoredHangupStaysIgnored() {
        const std::optional<int> status = runForked([] {
            ::signal(SIGHUP, SIG_IGN);
            removeTemporariesOnTermination();
            ::raise(SIGHUP);
            ::_exit(7);
        });
        QVERIFY(status);
        QVERIFY(WIFEXITED(*status));
        QCOMPARE(WEXITSTATUS(*status), 7);
    }

    // The old contents are copied into the replacement before its mode is set, so it must not
    // start out readable by others; a new file is left to the umask.
    void replacementStartsPrivate_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<unsigned>("createdMode");
        QTest::newRow("replacing-existing") << true << 0600u;
        QTest::newRow("new-file") << false << 0666u;
    }

    void replacementStartsPrivate() {
        QFETCH(bool, exists);
        QFETCH(unsigned, createdMode);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("secret.srm"));
        if (exists) {
            QVERIFY(writeFile(target, noise(kSram, 3)));
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
        }
        ModeRecorder fs;
        auto file = ReplacementFile::open(fs, target.toStdString());
        QCOMPARE(fs.createdModes.size(), std::size_t(1));
        QCOMPARE(unsigned(fs.createdModes.front()), createdMode);
        file->commit();
        if (exists) {
            QCOMPARE(modeOf(target) & 07777, 0600u);
        }
    }
};

QTEST_GUILESS_MAIN(TestTermination)
#include "tst_termination.moc"
