#include <QTest>

#include <chrono>
#include <functional>

#include "cli/batch_report.h"
#include "tests/cli/cli_scene.h"
#include "tests/support/failing_file_system.h"

using namespace std::chrono_literals;
using plimbrook::cli::ConvertEnvironment;
using plimbrook::testing::CliScene;
using plimbrook::testing::FailingFileSystem;
using plimbrook::testing::pattern;
using plimbrook::testing::readFile;
using plimbrook::testing::writeFile;
using MakeFileSystem = std::function<std::unique_ptr<FailingFileSystem>()>;

Q_DECLARE_METATYPE(MakeFileSystem)

namespace {

const QString kName = "plimbrook-convert: ";

// The progress line as it is drawn over the one before, `width` wide.
QString drawn(const QString& text, int& width) {
    const QString line = kName + text;
    const QString drawn = '\r' + line + QString(std::max(0, width - int(line.size())), ' ');
    width = std::max(width, int(line.size()));
    return drawn;
}
QString cleared(int width) {
    return '\r' + QString(width, ' ') + '\r';
}
QString summary(int converted, int skipped, int failed) {
    return kName +
           QString("%1 converted, %2 skipped, %3 failed\n").arg(converted).arg(skipped).arg(failed);
}

// Saves s0.srm, s1.srm ... in the scene's folder.
QStringList saves(const CliScene& scene, int count) {
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names << QString("s%1.srm").arg(i);
        writeFile(scene.path(names.last()), pattern(8 * 1024, i));
    }
    return names;
}

}  // namespace

class TestBatchReport : public QObject {
    Q_OBJECT

private slots:
    void progressText_data();
    void progressText();
    void progressAndSummary_data();
    void progressAndSummary();
    void quietVerboseNoClobber_data();
    void quietVerboseNoClobber();
    void countsAfterCommit_data();
    void countsAfterCommit();
};

void TestBatchReport::progressText_data() {
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing_yet") << 0 << 10 << 0.0 << "0 of 10 files, 0 files/s";
    QTest::newRow("seconds_left") << 50 << 200 << 10.0 << "50 of 200 files, 5 files/s, 30 s left";
    QTest::newRow("minutes_left") << 100 << 20000 << 1.0
                                  << "100 of 20000 files, 100 files/s, 3:19 left";
    QTest::newRow("hours_left") << 1 << 100000 << 10.0
                                << "1 of 100000 files, 0 files/s, 277:46:30 left";
    QTest::newRow("all_done") << 7 << 7 << 2.0 << "7 of 7 files, 4 files/s";
}

void TestBatchReport::progressText() {
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(plimbrook::cli::progressText(
                 std::size_t(done), std::size_t(total), std::chrono::duration<double>(seconds))),
             text);
}

void TestBatchReport::progressAndSummary_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<int>("stepMs");    // how far the clock moves each time it is read
    QTest::addColumn<bool>("missing");  // the fourth of five inputs is missing
    QTest::addColumn<QString>("err");

    // Read at the start and after each file: 400 ms a step passes a second at the third file.
    int width = 0;
    QString long5 = drawn("3 of 5 files, 3 files/s, 1 s left", width);
    long5 += drawn("4 of 5 files, 3 files/s, 1 s left", width);
    long5 += drawn("5 of 5 files, 3 files/s", width);
    long5 += cleared(width) + summary(5, 0, 0);
    QTest::newRow("terminal_long_batch") << QStringList{} << true << 400 << false << long5;
    QTest::newRow("pipe_with_progress")
        << QStringList{"--progress"} << false << 400 << false << long5;
    QTest::newRow("terminal_short_batch")
        << QStringList{} << true << 100 << false << summary(5, 0, 0);
    QTest::newRow("pipe") << QStringList{} << false << 400 << false << "";
    QTest::newRow("quiet_on_terminal") << QStringList{"-q"} << true << 400 << true
                                       << kName + "s3.srm: No such file or directory\n";
    // A line is written with the progress out of its way, and the progress drawn again after it.
    width = 0;
    QString failing = drawn("3 of 5 files, 3 files/s, 1 s left", width);
    const int before = width;
    failing += cleared(before) + kName + "s3.srm: No such file or directory\n";
    width = 0;
    failing += drawn("3 of 5 files, 3 files/s, 1 s left", width);
    failing += drawn("4 of 5 files, 3 files/s, 1 s left", width);
    failing += drawn("5 of 5 files, 3 files/s", width) + cleared(width) + summary(4, 0, 1);
    QTest::newRow("error_during_progress") << QStringList{} << true << 400 << true << failing;
}

void TestBatchReport::progressAndSummary() {
    QFETCH(QStringList, options);
    QFETCH(bool, terminal);
    QFETCH(int, stepMs);
    QFETCH(bool, missing);
    QFETCH(QString, err);
    CliScene scene;
    QVERIFY(scene.valid());
    QStringList inputs = saves(scene, 5);
    if (missing) {
        QVERIFY(QFile::remove(scene.path(inputs[3])));
    }
    ConvertEnvironment environment = scene.environment();
    environment.errIsTerminal = terminal;
    auto now = std::chrono::steady_clock::time_point();
    environment.clock = [&] { return now += std::chrono::milliseconds(stepMs); };

    std::string out;
    std::string actualErr;
    const int status = scene.run(QStringList{"to-bbd", "-d", "out"} + options + inputs, out,
                                 actualErr, environment);
    QCOMPARE(status, missing ? 1 : 0);
    QCOMPARE(QString::fromStdString(actualErr), err);
    QCOMPARE(out, std::string());
}

void TestBatchReport::quietVerboseNoClobber_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("status");

    const QString warning = kName +
                            "CLOCK.srm: warning: only the first 8 KiB of this 8217-byte save fit "
                            "in a BBD file; the last 25 bytes are left out\n";
    const QString huge = kName + "HUGE.srm: larger than 32 KiB, the most the copier holds\n";
    QTest::newRow("warning") << QStringList{"to-bbd", "CLOCK.srm"} << false << "" << warning << 0;
    QTest::newRow("quiet_no_warning") << QStringList{"-q", "to-bbd", "CLOCK.srm"} << false << ""
                                      << "" << 0;
    QTest::newRow("quiet_keeps_errors")
        << QStringList{"to-bbd", "--quiet", "CLOCK.srm", "HUGE.srm"} << true << "" << huge << 1;
    QTest::newRow("verbose_each_written")
        << QStringList{"to-bbd", "-v", "GAME.srm", "HUGE.srm", "BIG.srm"} << false
        << "GAME.srm -> GAME.bbd\nBIG.srm -> BIG.bbd\n"
        << huge << 1;
    QTest::newRow("verbose_names_escaped")
        << QStringList{"to-srm", "--verbose", "-d", "out", "b\x1b[2Jd.bbd"} << false
        << "b\\x1b[2Jd.bbd -> out/b\\x1b[2Jd.srm\n"
        << "" << 0;
    // OLD.bbd stands where GAME.srm's output goes.
    QTest::newRow("existing_output_fails")
        << QStringList{"to-bbd", "-o", "OLD.bbd", "GAME.srm"} << true << ""
        << kName + "OLD.bbd: File exists (use --force to replace it)\n" + summary(0, 0, 1) << 1;
    QTest::newRow("no_clobber_skips") << QStringList{"to-bbd", "-n", "-o", "OLD.bbd", "GAME.srm"}
                                      << true << "" << summary(0, 1, 0) << 0;
    QTest::newRow("no_clobber_rest_written")
        << QStringList{"-nv", "to-bbd", "-d", ".", "BIG.srm", "OLD.srm"} << true
        << "BIG.srm -> ./BIG.bbd\n"
        << summary(1, 1, 0) << 0;
    QTest::newRow("no_clobber_other_failure")
        << QStringList{"to-bbd", "--no-clobber", "-d", ".", "OLD.srm", "HUGE.srm"} << false << ""
        << huge << 1;
    QTest::newRow("no_clobber_still_refuses_own_input")
        << QStringList{"to-bbd", "-n", "-o", "GAME.srm", "GAME.srm"} << false << ""
        << kName + "GAME.srm: the output would be the input itself\n"
        << 1;
    QTest::newRow("several_comments_named")
        << QStringList{"comment", "KEEP.bbd", "b\x1b[2Jd.bbd"} << false
        << "KEEP.bbd: Kept comment\nb\\x1b[2Jd.bbd: Kept comment\n"
        << "" << 0;
    QTest::newRow("one_comment_alone")
        << QStringList{"comment", "b\x1b[2Jd.bbd"} << false << "Kept comment\n"
        << "" << 0;
    QTest::newRow("info_and_comment_no_summary")
        << QStringList{"info", "GAME.srm", "HUGE.srm"} << true << ""
        << "" << 0;
}

void TestBatchReport::quietVerboseNoClobber() {
    QFETCH(QStringList, args);
    QFETCH(bool, terminal);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(int, status);
    CliScene scene;
    QVERIFY(scene.valid());
    QVERIFY(writeFile(scene.path("CLOCK.srm"), pattern(8 * 1024 + 25, 8)));
    QVERIFY(writeFile(scene.path("OLD.srm"), pattern(8 * 1024, 3)));
    QVERIFY(writeFile(scene.path("OLD.bbd"), "old"));
    QVERIFY(QFile::copy(scene.path("KEEP.bbd"), scene.path("b\x1b[2Jd.bbd")));
    ConvertEnvironment environment = scene.environment();
    environment.errIsTerminal = terminal;

    std::string actualOut;
    std::string actualErr;
    QCOMPARE(scene.run(args, actualOut, actualErr, environment), status);
    if (QTest::currentDataTag() != QByteArray("info_and_comment_no_summary")) {
        QCOMPARE(QString::fromStdString(actualOut), out);
    }
    QCOMPARE(QString::fromStdString(actualErr), err);
    QCOMPARE(readFile(scene.path("OLD.bbd")), QByteArray("old"));
}

// An output is converted only once it is in place: one that fails or is found taken when its
// group is put in place is counted, and told with -v, as what it became.
void TestBatchReport::countsAfterCommit_data() {
    QTest::addColumn<MakeFileSystem>("make");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("left");  // GAME.bbd afterwards

    const auto taken = [] { return std::make_unique<plimbrook::testing::NameTakenMeanwhile>(); };
    QTest::newRow("taken_meanwhile_fails")
        << MakeFileSystem(taken) << QStringList{}
        << kName + "GAME.bbd: File exists (use --force to replace it)\n" + summary(0, 0, 1) << 1
        << QByteArray("made meanwhile");
    QTest::newRow("taken_meanwhile_skipped_with_n")
        << MakeFileSystem(taken) << QStringList{"-n"} << summary(0, 1, 0) << 0
        << QByteArray("made meanwhile");
    // The last step that puts a new file in place: its name given to it.
    QTest::newRow("naming_fails") << MakeFileSystem([] {
        auto fs = std::make_unique<FailingFileSystem>();
        fs->failAll("name", EIO);
        return fs;
    }) << QStringList{} << kName + "GAME.bbd: Input/output error\n" + summary(0, 0, 1)
                                  << 1 << QByteArray();
}

void TestBatchReport::countsAfterCommit() {
    QFETCH(MakeFileSystem, make);
    QFETCH(QStringList, options);
    QFETCH(QString, err);
    QFETCH(int, status);
    QFETCH(QByteArray, left);
    CliScene scene;
    QVERIFY(scene.valid());
    const auto fs = make();
    ConvertEnvironment environment{scene.environment().defaultTemplatePath, *fs};
    environment.errIsTerminal = true;

    std::string out;
    std::string actualErr;
    QCOMPARE(scene.run(QStringList{"to-bbd", "-v"} + options + QStringList{"GAME.srm"}, out,
                       actualErr, environment),
             status);
    QCOMPARE(QString::fromStdString(actualErr), err);
    QCOMPARE(out, std::string());  // nothing was written
    QCOMPARE(readFile(scene.path("GAME.bbd")), left);
}

QTEST_GUILESS_MAIN(TestBatchReport)
#include "tst_batch_report.moc"
