// What the commands refuse, and a failing file system: inputs that are not what the command
// takes, paths that are no regular file, and a failure injected at a step of the writing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <future>

#include "tests/support/failing_file_system.h"
#include "tests/support/rzip_files.h"
#include "tests/window_commands/command_session.h"

using namespace plimbrook;
using namespace plimbrook::testing;

namespace {

// Runs a command on a worker, so that one stuck on a FIFO fails the test instead of hanging
// it; opening each FIFO from both ends releases a stuck open or read. No value: it hung.
std::optional<Outcome> runBounded(Command command, Session& session, const QStringList& fifos) {
    auto result = std::async(std::launch::async, command, std::ref(session.context));
    if (result.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
        return result.get();
    }
    for (const QString& fifo : fifos) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    result.wait();
    return std::nullopt;
}

}  // namespace

class TestCommandsRefusals : public QObject, private CommandFolder {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { makeFolder(); }

    void refusedInputs_data();
    void refusedInputs();
    void refusedPath_data();
    void refusedPath();
    void injectedFailure_data();
    void injectedFailure();
};

void TestCommandsRefusals::initTestCase() {
    // A write to a FIFO released by runBounded must fail, not kill the test.
    std::signal(SIGPIPE, SIG_IGN);
}

// Inputs that are not what the command takes: one message, no further prompt, nothing written,
// the comment box as it was.
void TestCommandsRefusals::refusedInputs_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("message");

    QByteArray marked = noise(kHeader, 220);
    marked.replace(kCopierMarkAt, 2, kCopierMark);
    const QByteArray body = noise(kBody, 221);
    const QString tooLarge = refusal(
        "This save is larger than 32 KiB, the most the copier holds: it cannot be made into a BBD "
        "file.");
    const QString alreadyBbd = refusal("This file is already a BBD file: use BBD -> SRAM.");
    const QString emptyFile = refusal("This file cannot be converted: empty file.");
    const QString rawSave =
        refusal("This file looks like an SRAM save, not a BBD file: use SRAM -> BBD.");
    const QString compressed =
        refusal("This file is a compressed SRAM save, not a BBD file: use SRAM -> BBD.");
    const QString rawForComment = refusal(
        "This file looks like an SRAM save, not a BBD file: choose a BBD file to load a comment "
        "from.");
    const QString compressedForComment = refusal(
        "This file is a compressed SRAM save, not a BBD file: choose a BBD file to load a comment "
        "from.");

    QTest::newRow("sram2bbd_32k_and_1") << "sram2bbd" << body + 'x' << tooLarge;
    QTest::newRow("sram2bbd_40000") << "sram2bbd" << noise(40'000, 222) << tooLarge;
    QTest::newRow("sram2bbd_bbd") << "sram2bbd" << marked + body << alreadyBbd;
    QTest::newRow("sram2bbd_bbd_with_1k_body")
        << "sram2bbd" << marked + body.left(1024) << alreadyBbd;
    QTest::newRow("sram2bbd_bbd_longer") << "sram2bbd" << marked + body + body << alreadyBbd;
    QTest::newRow("sram2bbd_pro_fighter")
        << "sram2bbd" << proFighterHeader() + body
        << refusal("This file is already a Pro Fighter save: use BBD -> SRAM.");
    QTest::newRow("sram2bbd_super_ufo")
        << "sram2bbd" << superUfoHeader() + body
        << refusal("This file is already a Super UFO save: use BBD -> SRAM.");
    QTest::newRow("sram2bbd_empty") << "sram2bbd" << QByteArray() << emptyFile;
    QTest::newRow("bbd2sram_empty") << "bbd2sram" << QByteArray() << emptyFile;
    QTest::newRow("comment_empty") << "comment" << QByteArray() << emptyFile;
    // A save of a chip's size is a save, whatever its bytes 8 and 9 happen to be; a BBD file
    // cut inside its first KiB of body, or to its header, is not told from a save either.
    QTest::newRow("bbd2sram_8k_with_mark") << "bbd2sram" << (marked + body).left(kSram) << rawSave;
    QTest::newRow("bbd2sram_cut_in_first_kib")
        << "bbd2sram" << (marked + body).left(600) << rawSave;
    QTest::newRow("bbd2sram_header_only") << "bbd2sram" << marked << rawSave;
    QTest::newRow("comment_40_bytes")
        << "comment" << QByteArray(16, 'H') + "abcdefghijklmnopqrstuvwx" << rawForComment;
    QTest::newRow("comment_10_bytes") << "comment" << noise(10, 22) << rawForComment;
    QTest::newRow("bbd2sram_131072_not_padding")
        << "bbd2sram" << noise(128 * 1024, 223)
        << refusal(
               "This file cannot be converted: larger than 32 KiB, the most the copier "
               "holds.");
    for (const int kib : {1, 8, 16, 32}) {
        QTest::addRow("bbd2sram_raw_%dk", kib) << "bbd2sram" << body.left(kib * 1024) << rawSave;
    }
    QTest::newRow("bbd2sram_compressed") << "bbd2sram" << rzipOf(body) << compressed;
    QTest::newRow("comment_raw_2k") << "comment" << body.left(2048) << rawForComment;
    QTest::newRow("comment_raw_32k") << "comment" << body << rawForComment;
    QTest::newRow("comment_compressed")
        << "comment" << rzipOf(body.left(kSram)) << compressedForComment;
    QTest::newRow("comment_pro_fighter")
        << "comment" << proFighterHeader() + body
        << refusal(
               "This file is a Pro Fighter save, which holds no comment: choose a BBD file to "
               "load a comment from.");
    QTest::newRow("comment_super_ufo")
        << "comment" << superUfoHeader() + body
        << refusal(
               "This file is a Super UFO save, which holds no comment: choose a BBD file to "
               "load a comment from.");
}

void TestCommandsRefusals::refusedInputs() {
    QFETCH(QString, command);
    QFETCH(QByteArray, input);
    QFETCH(QString, message);
    QVERIFY(writeFile(path("in"), input));
    const QStringList before = snapshotModes(dir_->path());

    Session s(template_);
    s.answer({path("in"), path("out")});
    const Outcome outcome = commandNamed(command)(s.context);

    QCOMPARE(int(outcome.kind), int(Outcome::Kind::Refused));
    QCOMPARE(int(s.dialogs.prompts.size()), 1);
    QCOMPARE(messagesOf(s.dialogs), QStringList{message});
    QCOMPARE(s.comment(), kStartComment);
    QCOMPARE(snapshotModes(dir_->path()), before);
    QVERIFY(!s.channels.output);
}

void TestCommandsRefusals::refusedPath_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");  // "": never asked for
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("promptCount");

    const auto row = [](const char* tag, const char* command, const char* input, const char* output,
                        FileStep step, int promptCount) {
        QTest::newRow(tag) << QString(command) << QString(input) << QString(output) << int(step)
                           << promptCount;
    };
    row("comment_input_missing", "comment", "missing", "", FileStep::Open, 1);
    row("sram2bbd_input_directory", "sram2bbd", "directory", "", FileStep::NotRegular, 1);
    row("bbd2sram_input_fifo", "bbd2sram", "fifo", "", FileStep::NotRegular, 1);
    row("sram2bbd_input_dev_zero", "sram2bbd", "/dev/zero", "", FileStep::NotRegular, 1);
    row("sram2bbd_output_fifo", "sram2bbd", "regular", "fifo", FileStep::NotRegular, 2);
    row("bbd2sram_output_dev_null", "bbd2sram", "regular", "/dev/null", FileStep::NotRegular, 2);
}

void TestCommandsRefusals::refusedPath() {
    QFETCH(QString, command);
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(int, step);
    QFETCH(int, promptCount);

    QStringList fifos;
    const auto make = [&](const QString& kind, const QString& name) -> QString {
        const QString at = path(name);
        if (kind.startsWith("/dev/")) {
            return kind;
        } else if (kind == "regular") {
            writeFile(at, command == "sram2bbd"
                              ? noise(kSram, 90)
                              : bbdBytes(header_, commentField("r"), noise(kSram, 90)));
        } else if (kind == "directory") {
            QDir(dir_->path()).mkdir(name);
        } else if (kind == "fifo") {
            ::mkfifo(QFile::encodeName(at).constData(), 0644);
            fifos << at;
        }
        return at;
    };
    const QString inputPath = make(input, "in");
    const QString outputPath = output.isEmpty() ? QString() : make(output, "out");
    const QStringList before = snapshotModes(dir_->path());

    FailingFileSystem fs;
    Session s(template_, fs);
    if (output.isEmpty()) {
        s.answer({inputPath});
    } else {
        s.answer({inputPath, outputPath});
    }
    const auto outcome = runBounded(commandNamed(command), s, fifos);
    // Opening a FIFO would take a waiting writer's data, and opening a device may act on it:
    // the refusal must come before any open.
    if (step == int(FileStep::NotRegular)) {
        const std::string refused = local(output.isEmpty() ? inputPath : outputPath);
        QVERIFY2(fs.find("open " + refused) < 0 && fs.find("openat " + refused) < 0,
                 refused.c_str());
    }

    QVERIFY2(outcome, "the command hung");
    QCOMPARE(int(outcome->kind), int(Outcome::Kind::Failed));
    QVERIFY(outcome->error);
    QCOMPARE(int(outcome->error->step()), step);
    QCOMPARE(int(promptsOf(s.dialogs).size()), promptCount);
    QCOMPARE(messagesOf(s.dialogs), QStringList());
    QCOMPARE(s.comment(), kStartComment);
    QCOMPARE(snapshotModes(dir_->path()), before);
}

void TestCommandsRefusals::injectedFailure_data() {
    QTest::addColumn<QString>("operation");  // the first such entry of the log fails...
    QTest::addColumn<bool>("last");          // ...or the last
    QTest::addColumn<int>("step");

    QTest::newRow("comment_write") << "write" << true << int(FileStep::Write);
    QTest::newRow("rename") << "rename " << false << int(FileStep::Rename);
}

void TestCommandsRefusals::injectedFailure() {
    QFETCH(QString, operation);
    QFETCH(bool, last);
    QFETCH(int, step);

    const QByteArray save = noise(kSram, 100);
    const QByteArray old = noise(40000, 101);
    const QString target = path("slot.bbd");
    QVERIFY(writeFile(path("game.srm"), save));
    const auto putOldBack = [&] {
        return writeFile(target, old) && ::chmod(QFile::encodeName(target).constData(), 0640) == 0;
    };
    QVERIFY(putOldBack());

    // Learn the operations of a clean run, then pick the one to fail.
    FailingFileSystem counter;
    {
        Session clean(template_, counter);
        clean.answer({path("game.srm"), target});
        clean.answerText("clean");
        QVERIFY(SRAM2BBD(clean.context).completed());
    }
    long failAt = 0;
    for (long i = 0; i < long(counter.log().size()); ++i) {
        if (QString::fromStdString(counter.log()[i]).startsWith(operation) && (last || !failAt)) {
            failAt = i + 1;
        }
    }
    QVERIFY(failAt > 0);
    QVERIFY(putOldBack());
    const QStringList before = snapshotModes(dir_->path());

    FailingFileSystem failing(failAt);
    Session s(template_, failing);
    s.answer({path("game.srm"), target});
    s.answerText("lost");
    const Outcome outcome = SRAM2BBD(s.context);

    QVERIFY(failing.fired());
    QCOMPARE(int(outcome.kind), int(Outcome::Kind::Failed));
    QVERIFY(outcome.error);
    QCOMPARE(int(outcome.error->step()), step);
    QCOMPARE(messagesOf(s.dialogs), QStringList());
    QCOMPARE(snapshotModes(dir_->path()), before);  // old bytes and mode, no temporary file

    // The next command, on the same channels and a healthy disk, runs normally.
    CommandContext next{s.dialogs, s.dialogs, s.channels, template_.toStdString(),
                        realFileSystem()};
    s.dialogs.textAnswers.clear();  // a failure before the prompt leaves its answer unused
    s.answer({path("game.srm"), target});
    s.answerText("again");
    QVERIFY(SRAM2BBD(next).completed());
    QCOMPARE(readFile(target), bbdBytes(header_, commentField("again"), save));
    QCOMPARE(messagesOf(s.dialogs), QStringList{kS2bMessage});
}

QTEST_GUILESS_MAIN(TestCommandsRefusals)
#include "tst_commands_refusals.moc"
