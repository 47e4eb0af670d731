#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/support/failing_file_system.h"
#include "tests/support/golden_files.h"
#include "tests/support/scripted_dialogs.h"
#include "window_commands/commands.h"

using namespace plimbrook;
using namespace plimbrook::testing;

namespace {

// One run of a conversion in a fresh folder: the input, the output chosen (absent, shorter
// than the result, longer, or the input itself) and the bytes a completed run must leave.
struct Scene {
    QString folder;
    QString input;
    QString output;
    QByteArray expected;
};

const QByteArray kComment = "Swept";

Scene stage(const QString& folder, bool toBbd, const QString& outputCase) {
    Scene scene;
    scene.folder = folder;
    const QByteArray image = pattern(kSram, toBbd ? 1 : 2);
    const QByteArray input =
        toBbd ? image : bbdBytes(templateHeader(), commentField("Stored"), image);
    const QByteArray written =
        toBbd ? bbdBytes(templateHeader(), commentField(kComment), image) : image;
    scene.input = folder + (toBbd ? "/game.srm" : "/game.bbd");
    writeFile(scene.input, input);

    QByteArray old;
    if (outputCase == "input") {
        scene.output = scene.input;
        old = input;
    } else {
        scene.output = folder + (toBbd ? "/out.bbd" : "/out.srm");
        if (outputCase == "shorter") {
            old = pattern(written.size() / 3, 3);
        } else if (outputCase == "longer") {
            old = pattern(toBbd ? 40'000 : 32 * 1024, 4);
        }
        if (!old.isEmpty()) {
            writeFile(scene.output, old);
        }
    }
    scene.expected = written;  // nothing of a longer old file is kept
    return scene;
}

Outcome run(bool toBbd, const Scene& scene, FileSystem& fs, FileChannels& channels,
            ScriptedDialogs& dialogs) {
    dialogs.fileAnswers = {local(scene.input), local(scene.output)};
    dialogs.textAnswers = {std::string(kComment)};
    CommandContext context{dialogs, dialogs, channels, PLIMBROOK_TEMPLATE_PATH, fs};
    return toBbd ? SRAM2BBD(context) : BBD2SRAM(context);
}

// The call that was made to fail, as the file system logged it.
QString failedCall(const FailingFileSystem& fs, long n) {
    const auto index = static_cast<std::size_t>(n - 1);
    return index < fs.log().size() ? QString::fromStdString(fs.log()[index]) : QString();
}

}  // namespace

// A clean run of the command, which must complete with the expected file, one message and no
// temporary left; the calls it made, for a sweep to upset one by one. Where the output chosen is
// the input itself, the run is refused instead, with the folder as it was.
// The way the new contents wait: without a name (as on ext4 and tmpfs), under a named
// temporary (as on FAT), or in place (in a folder that may not be written).
void useStorage(FailingFileSystem& fs, const QString& storage) {
    if (storage == "named") {
        fs.failAll("unnamed", EOPNOTSUPP);
    } else if (storage == "in_place") {
        fs.failAll("unnamed", EACCES);
    }
}

void cleanRun(bool toBbd, const QString& outputCase, std::vector<std::string>& calls,
              const QString& storage = "unnamed") {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Scene scene = stage(dir.path(), toBbd, outputCase);
    const auto before = snapshotContents(scene.folder);
    FailingFileSystem fs;
    useStorage(fs, storage);
    FileChannels channels;
    ScriptedDialogs dialogs;
    const Outcome outcome = run(toBbd, scene, fs, channels, dialogs);
    if (outputCase == "input") {
        QCOMPARE(int(outcome.kind), int(Outcome::Kind::Refused));
        QCOMPARE(snapshotContents(scene.folder), before);
    } else {
        QVERIFY(outcome.completed());
        QCOMPARE(readFile(scene.output), scene.expected);
    }
    QCOMPARE(dialogs.messages.size(), std::size_t{1});
    QVERIFY(strayTemporaries(scene.folder).isEmpty());
    calls = fs.log();
}

class TestFaultSweep : public QObject {
    Q_OBJECT

private slots:
    void everyFailurePoint_data();
    void everyFailurePoint();
    void everyFailurePointOfCommentLoad();
    void everyCallUpset_data();
    void everyCallUpset();
    void cleanupTestCase();

private:
    long injected_ = 0;
    long beforeRename_ = 0;
    long afterRename_ = 0;
    long commentLoads_ = 0;
    QMap<QString, int> kinds_;
};

void TestFaultSweep::everyFailurePoint_data() {
    QTest::addColumn<bool>("toBbd");
    QTest::addColumn<QString>("outputCase");

    for (const bool toBbd : {true, false}) {
        for (const char* outputCase : {"absent", "shorter", "longer", "input"}) {
            const QByteArray tag =
                QByteArray(toBbd ? "sram_to_bbd" : "bbd_to_sram") + "_output_" + outputCase;
            QTest::newRow(tag.constData()) << toBbd << QString::fromLatin1(outputCase);
        }
    }
}

// Fails each file call of a clean run in turn. Up to and including the call that puts the new file
// in place (the rename over the target, or for a new file the link that names it), a failure
// must leave the folder exactly as it was and show nothing. The folder sync after it only makes
// it durable; the file is already whole there, so those failures are not reported and the run
// completes. So does a failed look for a killed run's temporaries, which only tidies up. Writes are
// not buffered in the program, so there is no separate flush to fail: a write goes straight to the
// kernel, and the sync is the flush to disk.
void TestFaultSweep::everyFailurePoint() {
    QFETCH(bool, toBbd);
    QFETCH(QString, outputCase);

    std::vector<std::string> log;
    cleanRun(toBbd, outputCase, log);
    if (QTest::currentTestFailed()) {
        return;
    }
    const long calls = static_cast<long>(log.size());
    long renameAt = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const bool named =
            log[i].starts_with("name ") && log[i].find(kTemporaryMarker) == std::string::npos;
        if (log[i].starts_with("rename ") || named) {
            renameAt = static_cast<long>(i) + 1;
        }
    }
    // Refused, the run never renames: every failure point is before it.
    const bool refused = outputCase == "input";
    QVERIFY(renameAt > 0 || refused);
    if (refused) {
        renameAt = calls;
    }

    for (long n = 1; n <= calls; ++n) {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const Scene scene = stage(dir.path(), toBbd, outputCase);
        const auto before = snapshotContents(scene.folder);

        FailingFileSystem fs(n);
        FileChannels channels;
        ScriptedDialogs dialogs;
        const Outcome outcome = run(toBbd, scene, fs, channels, dialogs);
        const QByteArray where =
            QStringLiteral("call %1 of %2 (%3)").arg(n).arg(calls).arg(failedCall(fs, n)).toUtf8();
        QVERIFY2(fs.fired(), where);
        kinds_[failedCall(fs, n).section(' ', 0, 0)] += 1;

        const bool tidying = failedCall(fs, n).startsWith("list ");
        if (n <= renameAt && !tidying) {
            // A failure is silent; what fails only after the refusal was shown is still refused.
            const bool stillRefused =
                refused && outcome.kind == Outcome::Kind::Refused && dialogs.messages.size() == 1;
            QVERIFY2(outcome.kind == Outcome::Kind::Failed || stillRefused, where);
            QVERIFY2(snapshotContents(scene.folder) == before, where);
            QVERIFY2(dialogs.messages.empty() || stillRefused, where);
            ++beforeRename_;
        } else {
            const QString call = failedCall(fs, n);
            QVERIFY2(call.startsWith("sync " + scene.folder) ||
                         call.startsWith("close " + scene.folder) || tidying,
                     where);
            QVERIFY2(outcome.completed(), where);
            QVERIFY2(readFile(scene.output) == scene.expected, where);
            auto after = snapshotContents(scene.folder);
            after.remove(QFileInfo(scene.output).fileName());
            auto unchanged = before;
            unchanged.remove(QFileInfo(scene.output).fileName());
            QVERIFY2(after == unchanged, where);
            QVERIFY2(dialogs.messages.size() == 1, where);
            ++afterRename_;
        }
        QVERIFY2(strayTemporaries(scene.folder).isEmpty(), where);
        ++injected_;

        // The same channels serve the next command, which must run as if nothing happened.
        QVERIFY(QDir(dir.path()).mkdir("next"));
        const Scene next = stage(dir.path() + "/next", toBbd, "absent");
        ScriptedDialogs nextDialogs;
        QVERIFY2(run(toBbd, next, realFileSystem(), channels, nextDialogs).completed(), where);
        QVERIFY2(readFile(next.output) == next.expected, where);
        QVERIFY2(nextDialogs.messages.size() == 1, where);
    }
    qInfo("%s: %ld failure points; the rename is call %ld", QTest::currentDataTag(), calls,
          renameAt);
}

// Loading a comment writes nothing, but a failure must leave the comment box as it was, and
// the input it leaves open must not get in the way of the next command.
void TestFaultSweep::everyFailurePointOfCommentLoad() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Scene scene = stage(dir.path(), false, "absent");
    const std::string before = "Enter a Comment and stuff.";
    const auto load = [&](FileSystem& fs, FileChannels& channels, ScriptedDialogs& dialogs) {
        dialogs.comment = before;
        dialogs.fileAnswers = {local(scene.input)};
        CommandContext context{dialogs, dialogs, channels, PLIMBROOK_TEMPLATE_PATH, fs};
        return OpenBBDComment(context);
    };

    FailingFileSystem clean;
    FileChannels cleanChannels;
    ScriptedDialogs cleanDialogs;
    QVERIFY(load(clean, cleanChannels, cleanDialogs).completed());
    QCOMPARE(QByteArray::fromStdString(cleanDialogs.comment), commentField("Stored"));

    for (long n = 1; n <= clean.count(); ++n) {
        FailingFileSystem fs(n);
        FileChannels channels;
        ScriptedDialogs dialogs;
        const Outcome outcome = load(fs, channels, dialogs);
        const QByteArray where = QStringLiteral("call %1 of %2 (%3)")
                                     .arg(n)
                                     .arg(clean.count())
                                     .arg(failedCall(fs, n))
                                     .toUtf8();
        QVERIFY2(fs.fired(), where);
        QVERIFY2(outcome.kind == Outcome::Kind::Failed, where);
        QVERIFY2(dialogs.comment == before, where);
        QVERIFY2(dialogs.messages.empty(), where);
        kinds_[failedCall(fs, n).section(' ', 0, 0)] += 1;
        ++injected_;
        ++commentLoads_;

        ScriptedDialogs nextDialogs;
        QVERIFY2(load(realFileSystem(), channels, nextDialogs).completed(), where);
        QVERIFY2(QByteArray::fromStdString(nextDialogs.comment) == commentField("Stored"), where);
    }
}

void TestFaultSweep::everyCallUpset_data() {
    QTest::addColumn<bool>("toBbd");
    QTest::addColumn<QString>("outputCase");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("storage");

    using Fault = FailingFileSystem::Fault;
    for (const bool toBbd : {true, false}) {
        for (const char* outputCase : {"absent", "longer"}) {
            for (const auto& [name, fault] : {std::pair("short_write", Fault::ShortWrite),
                                              std::pair("zero_write", Fault::ZeroWrite),
                                              std::pair("interrupted", Fault::Interrupt)}) {
                QTest::addRow("%s_output_%s_%s", toBbd ? "sram_to_bbd" : "bbd_to_sram", outputCase,
                              name)
                    << toBbd << QString::fromLatin1(outputCase) << int(fault) << "unnamed";
            }
        }
    }
    // The other ways have calls of their own: a named temporary's creation, in place the
    // room set aside and the file cut to its new end.
    for (const char* storage : {"named", "in_place"}) {
        QTest::addRow("sram_to_bbd_output_longer_interrupted_%s", storage)
            << true << "longer" << int(Fault::Interrupt) << QString(storage);
    }
}

// Calls that do less than asked without failing. A write cut short is finished at the right
// offset; a write that writes nothing fails the command rather than being tried for ever; a read
// or write interrupted by a signal is tried again. Either way the result is exact or nothing.
void TestFaultSweep::everyCallUpset() {
    QFETCH(bool, toBbd);
    QFETCH(QString, outputCase);
    QFETCH(int, fault);
    using Fault = FailingFileSystem::Fault;

    std::vector<std::string> calls;
    QFETCH(QString, storage);
    cleanRun(toBbd, outputCase, calls, storage);
    if (QTest::currentTestFailed()) {
        return;
    }

    int upset = 0;
    for (long n = 1; n <= long(calls.size()); ++n) {
        const std::string& call = calls[std::size_t(n - 1)];
        // Any call that opens, reads, writes or sizes a file may be interrupted by a signal.
        const bool interruptible = call.starts_with("read ") || call.starts_with("open ") ||
                                   call.starts_with("openat ") || call.starts_with("create ") ||
                                   call.starts_with("unnamed ") || call.starts_with("opendir ") ||
                                   call.starts_with("truncate ") || call.starts_with("reserve ");
        const bool applies =
            call.starts_with("write ") || (Fault(fault) == Fault::Interrupt && interruptible);
        if (!applies) {
            continue;
        }
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const Scene scene = stage(dir.path(), toBbd, outputCase);
        const auto before = snapshotContents(scene.folder);
        FailingFileSystem fs(n, EIO, Fault(fault));
        useStorage(fs, storage);
        FileChannels channels;
        ScriptedDialogs dialogs;
        const Outcome outcome = run(toBbd, scene, fs, channels, dialogs);
        const QByteArray where =
            QStringLiteral("call %1 (%2)").arg(n).arg(failedCall(fs, n)).toUtf8();
        QVERIFY2(fs.fired(), where);

        if (Fault(fault) == Fault::ZeroWrite) {
            QVERIFY2(outcome.kind == Outcome::Kind::Failed, where);
            QVERIFY2(snapshotContents(scene.folder) == before, where);
            QVERIFY2(dialogs.messages.empty(), where);
        } else {
            QVERIFY2(outcome.completed(), where);
            QVERIFY2(readFile(scene.output) == scene.expected, where);
            QVERIFY2(dialogs.messages.size() == 1, where);
        }
        QVERIFY2(strayTemporaries(scene.folder).isEmpty(), where);
        ++upset;
        ++injected_;
    }
    QVERIFY(upset > 0);
}

void TestFaultSweep::cleanupTestCase() {
    QStringList kinds;
    for (auto it = kinds_.cbegin(); it != kinds_.cend(); ++it) {
        kinds << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    }
    qInfo("fault sweep: %ld failure points injected in all", injected_);
    qInfo(
        "conversions: %ld failure points; %ld up to and including the rename left every file "
        "as it was and showed nothing; %ld after it (the folder's sync and close) left the "
        "complete new file and showed the message",
        beforeRename_ + afterRename_, beforeRename_, afterRename_);
    qInfo("comment load: %ld failure points, each left the comment box as it was", commentLoads_);
    qInfo("failed calls by kind: %s", qPrintable(kinds.join(", ")));
    for (const char* kind : {"open", "close", "read", "write", "sync", "rename", "stat"}) {
        QVERIFY2(kinds_.value(kind) > 0, kind);
    }
}

QTEST_GUILESS_MAIN(TestFaultSweep)
#include "tst_fault_sweep.moc"
