#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdlib>

#include "failing_file_system.h"
#include "file_access.h"
#include "golden_files.h"

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

// Records the mode each file is created with.
class ModeRecorder : public FailingFileSystem {
public:
    int open(const std::string& path, int flags, mode_t mode) override {
        if (flags & O_CREAT) {
            createdModes.push_back(mode);
        }
        return FailingFileSystem::open(path, flags, mode);
    }
    std::vector<mode_t> createdModes;
};

}  // namespace

class TestTermination : public QObject {
    Q_OBJECT

private slots:
    void endedProgramLeavesNoTemporary_data() {
        QTest::addColumn<int>("ending");
        QTest::addColumn<int>("signal");
        QTest::newRow("sigterm-logout") << int(Ending::Signal) << SIGTERM;
        QTest::newRow("sighup-terminal-gone") << int(Ending::Signal) << SIGHUP;
        QTest::newRow("sigint-ctrl-c") << int(Ending::Signal) << SIGINT;
        QTest::newRow("sigquit") << int(Ending::Signal) << SIGQUIT;
        QTest::newRow("exit-display-lost") << int(Ending::Exit) << 0;
    }

    // The target stays as it was and the half-made replacement goes with the program.
    void endedProgramLeavesNoTemporary() {
        QFETCH(int, ending);
        QFETCH(int, signal);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = dir.filePath(QStringLiteral("GAME.bbd"));
        const QByteArray old = noise(40'000, 7);
        QVERIFY(writeFile(target, old));

        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);  // SIGQUIT would dump one
            removeTemporariesOnTermination();
            auto file = ReplacementFile::open(realFileSystem(), target.toStdString());
            file->write(0, std::vector<std::uint8_t>(kBbd, 0x5A));
            if (::access(file->temporaryPath().c_str(), F_OK) != 0) {
                ::_exit(90);  // nothing to clean up would prove nothing
            }
            if (Ending(ending) == Ending::Exit) {
                skipLeakCheck = true;
                std::exit(3);
            }
            ::raise(signal);
            ::_exit(91);  // the signal should have ended us
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        if (Ending(ending) == Ending::Exit) {
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), 3);
        } else {
            QVERIFY2(WIFSIGNALED(status), "the program must still end by its signal");
            QCOMPARE(WTERMSIG(status), signal);
        }
        QCOMPARE(strayTemporaries(dir.path()), QStringList());
        QCOMPARE(readFile(target), old);
    }

    // A hang-up ignored on purpose, as under nohup, stays ignored.
    void ignoredHangupStaysIgnored() {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::signal(SIGHUP, SIG_IGN);
            removeTemporariesOnTermination();
            ::raise(SIGHUP);
            ::_exit(7);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 7);
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
