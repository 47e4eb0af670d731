#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <functional>

#include "tests/support/golden_files.h"

using plimbrook::testing::pattern;
using plimbrook::testing::writeFile;

namespace {

struct TerminalRun {
    int status = -1;
    QByteArray output;  // standard output and error, as the terminal got them
};

// Runs the program with a terminal of the test's own (a pseudo-terminal) as its standard input,
// output and error; `tick` is called every 20 ms while it runs.
TerminalRun runOnTerminal(const QStringList& args, const QString& folder, rlim_t openFiles,
                          const std::function<void(pid_t)>& tick) {
    std::vector<QByteArray> words = {PLIMBROOK_CONVERT_PATH};
    for (const QString& arg : args) {
        words.push_back(arg.toUtf8());
    }
    std::vector<char*> argv;
    for (QByteArray& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const QByteArray where = folder.toUtf8();

    TerminalRun run;
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) {
        return run;
    }
    if (pid == 0) {
        // Only what is safe between fork and exec.
        const rlimit limit{openFiles, openFiles};
        if (::chdir(where.constData()) != 0 || ::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            ::_exit(126);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    for (;;) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 20) > 0) {
            char buffer[4096];
            const ssize_t got = ::read(master, buffer, sizeof buffer);
            if (got <= 0) {
                break;  // EIO once the program and its terminal are gone
            }
            run.output.append(buffer, got);
        }
        tick(pid);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.output.replace("\r\n", "\n");  // the terminal's own line ends
    return run;
}

QStringList makeSaves(const QString& folder, int count) {
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names << QString("s%1.srm").arg(i, 3, 10, QChar('0'));
        writeFile(folder + "/" + names.last(), pattern(8 * 1024, i));
    }
    return names;
}

}  // namespace

// The real program, with standard error a real terminal, and not.
class TestTerminal : public QObject {
    Q_OBJECT

private slots:
    void init();
    void summaryOnTerminalOnly_data();
    void summaryOnTerminalOnly();
    void progressRedrawnInPlace();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestTerminal::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QDir(dir_->path()).mkpath("out"));
}

void TestTerminal::summaryOnTerminalOnly_data() {
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("err");
    const QString summary = "plimbrook-convert: 3 converted, 0 skipped, 0 failed\n";
    QTest::newRow("terminal") << true << QStringList{} << summary;
    QTest::newRow("terminal_quiet") << true << QStringList{"-q"} << "";
    QTest::newRow("pipe") << false << QStringList{} << "";
    QTest::newRow("pipe_with_progress") << false << QStringList{"--progress"} << summary;
}

// A short batch draws no progress, but a terminal gets its summary.
void TestTerminal::summaryOnTerminalOnly() {
    QFETCH(bool, terminal);
    QFETCH(QStringList, options);
    QFETCH(QString, err);
    const QStringList args =
        QStringList{"to-bbd", "-d", "out"} + options + makeSaves(dir_->path(), 3);
    if (terminal) {
        const TerminalRun run = runOnTerminal(args, dir_->path(), 1024, [](pid_t) {});
        QCOMPARE(run.status, 0);
        QCOMPARE(QString::fromUtf8(run.output), err);
        return;
    }
    QProcess process;
    process.setWorkingDirectory(dir_->path());
    process.start(PLIMBROOK_CONVERT_PATH, args);
    QVERIFY(process.waitForFinished(60'000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), err);
}

// Held up for over a second after its first file, a batch shows its progress on one line that
// each redraw starts again with a carriage return, and takes it away before its summary.
void TestTerminal::progressRedrawnInPlace() {
    const int count = 300;
    const QStringList saves = makeSaves(dir_->path(), count);
    QDir out(dir_->path() + "/out");
    enum { Running, Stopped, Resumed } state = Running;
    QElapsedTimer stopped;
    // With few descriptors to spare, each file is put in place on its own: the first one in
    // the folder says the batch has begun.
    const TerminalRun run =
        runOnTerminal(QStringList{"to-bbd", "-d", "out"} + saves, dir_->path(), 64, [&](pid_t pid) {
            if (state == Running && !out.isEmpty()) {
                ::kill(pid, SIGSTOP);
                stopped.start();
                state = Stopped;
            } else if (state == Stopped && stopped.elapsed() > 1200) {
                ::kill(pid, SIGCONT);
                state = Resumed;
            }
        });
    QCOMPARE(run.status, 0);
    QCOMPARE(int(state), int(Resumed));
    QCOMPARE(out.entryList(QDir::Files).size(), count);
    const QString output = QString::fromUtf8(run.output);
    QVERIFY2(!output.contains('\n') || output.endsWith("300 converted, 0 skipped, 0 failed\n"),
             qPrintable(output));
    const QRegularExpression line(R"(\rplimbrook-convert: (\d+) of 300 files, \d+ files/s)");
    QVERIFY2(output.contains(line), qPrintable(output));
    QCOMPARE(output.count('\n'), 1);  // the summary's; the progress never ends a line
    const QString last = output.section('\r', -2, -2);
    QVERIFY2(last.trimmed().isEmpty(), qPrintable(last));  // cleared before the summary
}

QTEST_GUILESS_MAIN(TestTerminal)
#include "tst_terminal.moc"
