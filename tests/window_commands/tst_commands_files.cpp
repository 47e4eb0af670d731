// What the commands do to the files around them: nothing when cancelled, the old target kept
// until the new one is whole, inputs opened only for reading, and an output's mode and links.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QTest>

#include "tests/support/failing_file_system.h"
#include "tests/window_commands/command_session.h"

using namespace plimbrook;
using namespace plimbrook::testing;

namespace {

// Remembers how each file was opened.
class OpenRecorder : public FailingFileSystem {
public:
    int open(const std::string& path, int flags, mode_t mode) override {
        opens.emplace_back(path, flags);
        return FailingFileSystem::open(path, flags, mode);
    }
    std::vector<std::pair<std::string, int>> opens;
};

}  // namespace

class TestCommandsFiles : public QObject, private CommandFolder {
    Q_OBJECT

private slots:
    void init() { makeFolder(); }

    void cancelled_data();
    void cancelled();
    void commentPromptSeesOldTarget_data();
    void commentPromptSeesOldTarget();
    void readOnlyInput_data();
    void readOnlyInput();
    void outputKeepsModeAndLinks_data();
    void outputKeepsModeAndLinks();
};

void TestCommandsFiles::cancelled_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("cancelAt");  // which file prompt is cancelled

    QTest::newRow("sram2bbd_open") << "sram2bbd" << 1;
    QTest::newRow("sram2bbd_save") << "sram2bbd" << 2;
    QTest::newRow("bbd2sram_open") << "bbd2sram" << 1;
    QTest::newRow("bbd2sram_save") << "bbd2sram" << 2;
    QTest::newRow("open_comment_open") << "comment" << 1;
}

void TestCommandsFiles::cancelled() {
    QFETCH(QString, command);
    QFETCH(int, cancelAt);

    const QByteArray save = noise(kSram, 50);
    QVERIFY(writeFile(path("game.srm"), save));
    QVERIFY(writeFile(path("game.bbd"), bbdBytes(header_, commentField("old"), save)));
    QVERIFY(writeFile(path("out.bbd"), noise(1000, 51)));
    QVERIFY(writeFile(path("out.srm"), noise(1000, 52)));
    const QString input = path(command == "sram2bbd" ? "game.srm" : "game.bbd");
    const QString output = path(command == "sram2bbd" ? "out.bbd" : "out.srm");
    const QStringList before = snapshotModes(dir_->path());

    Session s(template_);
    if (cancelAt == 1) {
        s.answer({std::nullopt});
    } else {
        s.answer({input, std::nullopt});
    }
    const Outcome outcome = commandNamed(command)(s.context);

    QCOMPARE(int(outcome.kind), int(Outcome::Kind::Cancelled));
    QCOMPARE(int(promptsOf(s.dialogs).size()), cancelAt);
    QCOMPARE(messagesOf(s.dialogs), QStringList());
    QCOMPARE(s.comment(), kStartComment);
    QCOMPARE(snapshotModes(dir_->path()), before);

    // The same command, on the same channels, then runs normally.
    s.answer({input, output});
    s.answerText("again");
    QVERIFY(commandNamed(command)(s.context).completed());
    if (command == "sram2bbd") {
        QCOMPARE(readFile(output), bbdBytes(header_, commentField("again"), save));
    } else if (command == "bbd2sram") {
        QCOMPARE(readFile(output).left(kSram), save);
    } else {
        QCOMPARE(s.comment(), commentField("old"));
    }
}

void TestCommandsFiles::commentPromptSeesOldTarget_data() {
    QTest::addColumn<int>("oldOutputSize");  // -1: no file yet
    QTest::newRow("existing_output") << 40000;
    QTest::newRow("new_output") << -1;
}

void TestCommandsFiles::commentPromptSeesOldTarget() {
    QFETCH(int, oldOutputSize);
    const QByteArray save = noise(kSram, 60);
    const QByteArray old = oldOutputSize < 0 ? QByteArray() : noise(oldOutputSize, 61);
    const QString target = path("slot.bbd");
    QVERIFY(writeFile(path("game.srm"), save));
    if (oldOutputSize >= 0) {
        QVERIFY(writeFile(target, old));
    }

    Session s(template_);
    s.answer({path("game.srm"), target});
    bool existed = false;
    QByteArray seen;
    QStringList temporaries;
    s.dialogs.onTextPrompt = [&] {
        existed = QFile::exists(target);
        seen = readFile(target);
        temporaries = strayTemporaries(dir_->path());
        s.answerText("after");
    };
    QVERIFY(SRAM2BBD(s.context).completed());

    QCOMPARE(existed, oldOutputSize >= 0);
    QCOMPARE(seen, old);
    // The new contents have no name until commit, so a program killed at the prompt leaves
    // nothing behind.
    QCOMPARE(temporaries, QStringList());
    QCOMPARE(readFile(target), bbdBytes(header_, commentField("after"), save));
    QCOMPARE(strayTemporaries(dir_->path()), QStringList());
}

void TestCommandsFiles::readOnlyInput_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("sram2bbd") << "sram2bbd";
    QTest::newRow("bbd2sram") << "bbd2sram";
    QTest::newRow("open_comment") << "comment";
}

void TestCommandsFiles::readOnlyInput() {
    QFETCH(QString, command);
    const QString input = path(command == "sram2bbd" ? "game.srm" : "game.bbd");
    const QByteArray bytes = command == "sram2bbd"
                                 ? noise(kSram, 70)
                                 : bbdBytes(header_, commentField("ro"), noise(kSram, 70));
    QVERIFY(writeFile(input, bytes));
    for (const QString& file : {input, template_}) {
        QVERIFY(::chmod(QFile::encodeName(file).constData(), 0444) == 0);
    }

    OpenRecorder recorder;
    Session s(template_, recorder);
    s.answer({input, path("out")});
    s.answerText("x");
    QVERIFY(commandNamed(command)(s.context).completed());

    // Running as root, a write-mode open would succeed anyway: the flags themselves must say
    // read-only and never create.
    int inputOpens = 0;
    for (const auto& [file, flags] : recorder.opens) {
        if (file == input.toStdString() || file == template_.toStdString()) {
            ++inputOpens;
            QCOMPARE(flags & O_ACCMODE, O_RDONLY);
            QCOMPARE(flags & (O_CREAT | O_TRUNC), 0);
        }
    }
    QCOMPARE(inputOpens, command == "sram2bbd" ? 2 : 1);
    QCOMPARE(readFile(input), bytes);
    QCOMPARE(modeOf(input) & 07777, 0444u);
}

void TestCommandsFiles::outputKeepsModeAndLinks_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("linked");  // the path chosen is a relative symbolic link

    QTest::newRow("plain_0640") << 0640 << false;
    QTest::newRow("relative_link_0600") << 0600 << true;
}

void TestCommandsFiles::outputKeepsModeAndLinks() {
    QFETCH(int, mode);
    QFETCH(bool, linked);

    const QByteArray image = noise(kSram, 80);
    const QByteArray old = noise(4 * kSram, 81);
    QVERIFY(writeFile(path("game.bbd"), bbdBytes(header_, commentField("l"), image)));
    QVERIFY(QDir(dir_->path()).mkdir("real"));
    const QString target = path("real/slot.srm");
    QVERIFY(writeFile(target, old));
    QVERIFY(::chmod(QFile::encodeName(target).constData(), mode_t(mode)) == 0);

    const QString chosen = linked ? path("slot.srm") : target;
    if (linked) {
        QVERIFY(::symlink("real/slot.srm", QFile::encodeName(chosen).constData()) == 0);
    }

    Session s(template_);
    s.answer({path("game.bbd"), chosen});
    QVERIFY(BBD2SRAM(s.context).completed());

    QCOMPARE(readFile(target), image);
    QCOMPARE(modeOf(target) & 07777, unsigned(mode));
    if (linked) {
        QVERIFY(S_ISLNK(modeOf(chosen)));
        QCOMPARE(QFile::symLinkTarget(chosen), target);
    }
    QCOMPARE(strayTemporaries(dir_->path()) + strayTemporaries(path("real")), QStringList());
}

QTEST_GUILESS_MAIN(TestCommandsFiles)
#include "tst_commands_files.moc"
