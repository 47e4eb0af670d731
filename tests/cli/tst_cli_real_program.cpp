// The built program itself, started as a shell would: through a link, against a full disk, under
// a file size limit and without a standard descriptor; and where it looks for its template.
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QTest>

#include <sys/resource.h>

#include "cli/convert_app.h"
#include "tests/cli/golden_scene.h"

using namespace plimbrook::testing;
using namespace plimbrook::testing::golden;

class TestCliRealProgram : public QObject, private GoldenFolder {
    Q_OBJECT

private slots:
    void init() { enterFolder(); }
    void cleanup() { leaveFolder(); }

    void templateBesideProgram();
    void realProgram_data();
    void realProgram();
};

void TestCliRealProgram::templateBesideProgram() {
    QCOMPARE(plimbrook::cli::templateBeside("/opt/p/libexec/plimbrook/plimbrook-convert"),
             std::string("/opt/p/libexec/plimbrook/Stuff.dat"));
    QCOMPARE(plimbrook::cli::templateBeside("plimbrook-convert"), std::string("Stuff.dat"));
}

void TestCliRealProgram::realProgram_data() {
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

void TestCliRealProgram::realProgram() {
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

QTEST_GUILESS_MAIN(TestCliRealProgram)
#include "tst_cli_real_program.moc"
