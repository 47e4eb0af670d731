// The command line's invocations, each a row: its arguments, what it prints, its exit status and
// every file it writes, run in this process or against the built program.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <sstream>

#include "cli/convert_app.h"
#include "tests/cli/golden_scene.h"
#include "tests/cli/invocation_rows.h"

using namespace plimbrook::testing;
using namespace plimbrook::testing::golden;
using plimbrook::cli::runConvert;

namespace {

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

}  // namespace

class TestCliInvocations : public QObject, private GoldenFolder {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { leaveFolder(); }

    void invocations_data();
    void invocations();

private:
    int runInvocation(const QStringList& args, QString& out, QString& err);
};

// Each row starts from the same folder, and is run from inside it.
void TestCliInvocations::init() {
    enterFolder();
    if (!QTest::currentTestFailed() && !programUnderTest().isEmpty()) {
        const QString copy = dir_->filePath("prog/" + QFileInfo(programUnderTest()).fileName());
        QVERIFY(QFile::copy(programUnderTest(), copy));
    }
}

int TestCliInvocations::runInvocation(const QStringList& args, QString& out, QString& err) {
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

void TestCliInvocations::invocations_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("status");
    QTest::addColumn<Files>("written");

    const Expected expected;
    addConversionRows(expected);
    addSaveSizeRows(expected);
    addInfoRows();
    addOtherCopierRows();
    addFailingFileRows(expected);
    addWrongCommandLineRows(expected);
}

void TestCliInvocations::invocations() {
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

QTEST_GUILESS_MAIN(TestCliInvocations)
#include "tst_cli_invocations.moc"
