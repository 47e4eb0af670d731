#include <grp.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDirIterator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include "tests/support/failing_file_system.h"
#include "tests/support/forked_child.h"
#include "tests/support/golden_files.h"
#include "tests/support/scripted_dialogs.h"
#include "window_commands/commands.h"

using namespace plimbrook;
using namespace plimbrook::testing;

namespace {

enum Command { SramToBbd, BbdToSram, LoadComment };

// Prepares the folder a row runs in.
using Setup = std::function<void(const QString& folder)>;

constexpr uid_t kNobody = 65534;
const QByteArray kStartComment = "Enter a Comment and stuff.";
const QByteArray kRefused = "(refused)";
const QByteArray kOddName =
    "-my \"odd\" 'save' \xC3\x9Cn\xC3\xAF c\xC3\xB6"
    "d\xC3\xA9 \xE2\x9C\x93";

QByteArray image() {
    return pattern(kSram, 5);
}
QByteArray storedBbd() {
    return bbdBytes(templateHeader(), commentField("Loaded comment"), pattern(kSram, 6));
}

void put(const QString& path, const QByteArray& bytes) {
    QVERIFY(writeFile(path, bytes));
}

void makeLink(const QString& target, const QString& link) {
    QVERIFY(::symlink(local(target).c_str(), local(link).c_str()) == 0);
}

void setMode(const QString& path, mode_t mode) {
    QVERIFY(::chmod(local(path).c_str(), mode) == 0);
}

Setup save(const QString& name, const QByteArray& bytes) {
    return [=](const QString& folder) { put(folder + "/" + name, bytes); };
}

Setup both(Setup first, Setup second) {
    return [=](const QString& folder) {
        first(folder);
        second(folder);
    };
}

const Setup kNothing = [](const QString&) {};

// A pread that counts the bytes it returns, so a row can say how much of a file was read.
class ReadCounter : public FailingFileSystem {
public:
    qint64 bytesRead = 0;
    ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) override {
        const ssize_t n = FailingFileSystem::pread(fd, buffer, count, offset);
        bytesRead += n > 0 ? n : 0;
        return n;
    }
};

struct ChildReport {
    bool finished = false;
    bool droppedPrivileges = true;
    int kind = -1;
    int messages = -1;
    qint64 bytesRead = 0;
    QByteArray comment;
};

// Runs the command in a child process: a command that blocks (a FIFO opened for reading waits
// for a writer) fails the row instead of hanging the suite, and the child may give up root
// so that file modes mean what they say. Relative paths are taken from `folder`.
ChildReport runInChild(Command command, const std::string& input, const std::string& output,
                       const std::string& typed, const std::string& templatePath,
                       const std::string& folder, bool asNobody) {
    ChildReport report;
    int channel[2];
    if (::pipe(channel) != 0) {
        return report;
    }
    const std::optional<int> status = runForked([&] {
        ::close(channel[0]);
        if (asNobody &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(90);
        }
        if (::chdir(folder.c_str()) != 0) {
            ::_exit(92);
        }
        ScriptedDialogs dialogs;
        dialogs.comment = kStartComment.toStdString();
        dialogs.fileAnswers = {input, output};
        dialogs.textAnswers = {typed};
        // Where a BBD file's copies differ, the first 8 KiB are kept.
        dialogs.choiceAnswers = {1};
        FileChannels channels;
        ReadCounter fs;
        CommandContext context{dialogs, dialogs, channels, templatePath, fs};
        const Outcome outcome = command == SramToBbd   ? SRAM2BBD(context)
                                : command == BbdToSram ? BBD2SRAM(context)
                                                       : OpenBBDComment(context);
        const std::string line = std::to_string(static_cast<int>(outcome.kind)) + " " +
                                 std::to_string(dialogs.messages.size()) + " " +
                                 std::to_string(fs.bytesRead) + "\n" + dialogs.comment;
        const bool sent =
            ::write(channel[1], line.data(), line.size()) == static_cast<ssize_t>(line.size());
        ::_exit(sent ? 0 : 91);
    });
    ::close(channel[1]);
    if (!status) {
        ::close(channel[0]);
        return report;
    }
    report.finished = true;
    report.droppedPrivileges = !(WIFEXITED(*status) && WEXITSTATUS(*status) == 90);

    QByteArray received;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
        received.append(buffer, n);
    }
    ::close(channel[0]);
    const qsizetype newline = received.indexOf('\n');
    const QList<QByteArray> numbers = received.left(newline).split(' ');
    if (newline < 0 || numbers.size() != 3) {
        return report;
    }
    report.kind = numbers[0].toInt();
    report.messages = numbers[1].toInt();
    report.bytesRead = numbers[2].toLongLong();
    report.comment = received.mid(newline + 1);
    return report;
}

}  // namespace

Q_DECLARE_METATYPE(Setup)

class TestHostileInputs : public QObject {
    Q_OBJECT

private slots:
    void row_data();
    void row();
    void cleanupTestCase();

private:
    int rows_ = 0;
};

void TestHostileInputs::row_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("input");   // relative to the row's folder, or absolute
    QTest::addColumn<QString>("output");  // likewise
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<bool>("asNobody");  // when run as root, drop to nobody first
    // The one folder entry a success may change; the output if empty.
    QTest::addColumn<QString>("changes");
    // The output's exact bytes, or for a loaded comment the comment box's text; a null array
    // means the command must fail and change nothing, kRefused that it must say why and change
    // nothing.
    QTest::addColumn<QByteArray>("expected");

    const QByteArray typed = "Hostile";
    const QByteArray bbdOfSave = bbdBytes(templateHeader(), commentField(typed), image());
    const QByteArray zeros(kSram, '\0');
    const QByteArray fails;
    const QString odd = QString::fromUtf8(kOddName);

    // Inputs that are not regular files, or not there, or not ours to read.
    QTest::newRow("s2b_missing_input") << int(SramToBbd) << kNothing << "missing.srm"
                                       << "out.bbd" << typed << false << "" << fails;
    QTest::newRow("s2b_directory_input")
        << int(SramToBbd) << Setup([](const QString& f) { QVERIFY(QDir(f).mkdir("saves.srm")); })
        << "saves.srm"
        << "out.bbd" << typed << false << "" << fails;
    QTest::newRow("b2s_directory_input")
        << int(BbdToSram) << Setup([](const QString& f) { QVERIFY(QDir(f).mkdir("saves.bbd")); })
        << "saves.bbd"
        << "out.srm" << typed << false << "" << fails;
    const Setup fifo = [](const QString& f) {
        QVERIFY(::mkfifo(local(f + "/pipe").c_str(), 0644) == 0);
    };
    QTest::newRow("s2b_fifo_input") << int(SramToBbd) << fifo << "pipe"
                                    << "out.bbd" << typed << false << "" << fails;
    QTest::newRow("b2s_fifo_input") << int(BbdToSram) << fifo << "pipe"
                                    << "out.srm" << typed << false << "" << fails;
    QTest::newRow("comment_fifo_input") << int(LoadComment) << fifo << "pipe"
                                        << "" << typed << false << "" << fails;
    QTest::newRow("s2b_char_device_input") << int(SramToBbd) << kNothing << "/dev/zero"
                                           << "out.bbd" << typed << false << "" << fails;
    QTest::newRow("s2b_symlink_to_save")
        << int(SramToBbd)
        << both(save("game.srm", image()),
                [](const QString& f) { makeLink("game.srm", f + "/link.srm"); })
        << "link.srm"
        << "out.bbd" << typed << false << "" << bbdOfSave;
    QTest::newRow("s2b_dangling_link")
        << int(SramToBbd) << Setup([](const QString& f) { makeLink("gone.srm", f + "/link.srm"); })
        << "link.srm"
        << "out.bbd" << typed << false << "" << fails;
    const Setup unreadable = [](const QString& f) {
        setMode(f, 0777);
        put(f + "/locked", pattern(kBbd, 7));
        setMode(f + "/locked", 0);
    };
    QTest::newRow("s2b_unreadable_input") << int(SramToBbd) << unreadable << "locked"
                                          << "out.bbd" << typed << true << "" << fails;
    QTest::newRow("b2s_unreadable_input") << int(BbdToSram) << unreadable << "locked"
                                          << "out.srm" << typed << true << "" << fails;
    QTest::newRow("comment_unreadable_input") << int(LoadComment) << unreadable << "locked"
                                              << "" << typed << true << "" << fails;
    // Shows that the rows run as nobody fail for the file's mode, not for want of access.
    QTest::newRow("s2b_as_nobody_control")
        << int(SramToBbd)
        << both(save("game.srm", image()), [](const QString& f) { setMode(f, 0777); }) << "game.srm"
        << "out.bbd" << typed << true << "" << bbdOfSave;

    // Outputs that cannot be written, or are not files.
    QTest::newRow("s2b_output_folder_read_only") << int(SramToBbd)
                                                 << both(save("game.srm", image()),
                                                         [](const QString& f) {
                                                             QVERIFY(QDir(f).mkdir("shelf"));
                                                             setMode(f + "/shelf", 0555);
                                                         })
                                                 << "game.srm"
                                                 << "shelf/out.bbd" << typed << true << "" << fails;
    QTest::newRow("s2b_output_file_read_only") << int(SramToBbd)
                                               << both(save("game.srm", image()),
                                                       [](const QString& f) {
                                                           setMode(f, 0777);
                                                           put(f + "/kept.bbd", pattern(kBbd, 8));
                                                           setMode(f + "/kept.bbd", 0444);
                                                       })
                                               << "game.srm"
                                               << "kept.bbd" << typed << true << "" << fails;
    // A file we may write in a folder we may not: written in place, as nothing can be put
    // beside it.
    QTest::newRow("s2b_output_file_writable_in_read_only_folder")
        << int(SramToBbd)
        << both(save("game.srm", image()),
                [](const QString& f) {
                    setMode(f, 0777);
                    QVERIFY(QDir(f).mkdir("shelf"));
                    put(f + "/shelf/kept.bbd", pattern(40'000, 12));
                    setMode(f + "/shelf/kept.bbd", 0666);
                    setMode(f + "/shelf", 0555);
                })
        << "game.srm"
        << "shelf/kept.bbd" << typed << true << "" << bbdOfSave;
    QTest::newRow("s2b_output_folder_gone")
        << int(SramToBbd) << save("game.srm", image()) << "game.srm"
        << "gone/out.bbd" << typed << false << "" << fails;
    QTest::newRow("b2s_output_folder_gone")
        << int(BbdToSram) << save("game.bbd", storedBbd()) << "game.bbd"
        << "gone/out.srm" << typed << false << "" << fails;
    QTest::newRow("s2b_output_directory")
        << int(SramToBbd)
        << both(save("game.srm", image()),
                [](const QString& f) { QVERIFY(QDir(f).mkdir("out.bbd")); })
        << "game.srm"
        << "out.bbd" << typed << false << "" << fails;
    QTest::newRow("s2b_output_fifo")
        << int(SramToBbd) << both(save("game.srm", image()), fifo) << "game.srm"
        << "pipe" << typed << false << "" << fails;
    QTest::newRow("s2b_output_char_device")
        << int(SramToBbd) << save("game.srm", image()) << "game.srm"
        << "/dev/null" << typed << false << "" << fails;
    QTest::newRow("s2b_output_through_link")
        << int(SramToBbd)
        << both(save("game.srm", image()),
                both(save("old.bbd", pattern(40'000, 9)),
                     [](const QString& f) { makeLink("old.bbd", f + "/link.bbd"); }))
        << "game.srm"
        << "link.bbd" << typed << false << "old.bbd" << bbdOfSave;

    // Names a shell or a dialog might mangle.
    QTest::newRow("s2b_odd_names") << int(SramToBbd) << save(odd + ".srm", image()) << odd + ".srm"
                                   << odd + ".bbd" << typed << false << "" << bbdOfSave;
    // Relative, a leading dash is where a tool would take the name for an option.
    QTest::newRow("s2b_odd_names_relative")
        << int(SramToBbd) << save(odd + ".srm", image()) << "rel:" + odd + ".srm"
        << "rel:" + odd + ".bbd" << typed << false << "" << bbdOfSave;
    QTest::newRow("b2s_odd_names")
        << int(BbdToSram) << save(odd + ".bbd", storedBbd()) << odd + ".bbd" << odd + ".srm"
        << typed << false << "" << pattern(kSram, 6);

    // The longest name a folder entry may have; the temporary name beside it must still fit.
    const QString longest = QString(NAME_MAX - 4, QLatin1Char('n')) + ".bbd";
    QTest::newRow("s2b_output_name_of_255_bytes")
        << int(SramToBbd) << save("game.srm", image()) << "game.srm" << longest << typed << false
        << "" << bbdOfSave;
    // Two-byte letters, so that a name shortened for the temporary file is cut inside one.
    QTest::newRow("s2b_output_name_of_255_bytes_in_two_byte_letters")
        << int(SramToBbd) << save("game.srm", image()) << "game.srm"
        << "a" + QString(125, QChar(0xE9)) + ".bbd" << typed << false << "" << bbdOfSave;
    QTest::newRow("s2b_output_name_of_256_bytes")
        << int(SramToBbd) << save("game.srm", image()) << "game.srm"
        << "n" + longest << typed << false << "" << fails;

    // Sizes: far too large, nothing at all, cut short.
    const Setup sparse = [](const QString& f) {
        QFile big(f + "/big");
        QVERIFY(big.open(QIODevice::WriteOnly));
        QCOMPARE(big.write(pattern(2 * kSram, 10)), qint64(2 * kSram));
        QVERIFY(big.resize(qint64(1) << 30));
    };
    QTest::newRow("s2b_sparse_1gib_input") << int(SramToBbd) << sparse << "big"
                                           << "out.bbd" << typed << false << "" << kRefused;
    QTest::newRow("b2s_sparse_1gib_input") << int(BbdToSram) << sparse << "big"
                                           << "out.srm" << typed << false << "" << kRefused;
    // Nothing at all, or less than a header: no conversion takes such a file, and each says so.
    QTest::newRow("s2b_empty_input") << int(SramToBbd) << save("empty", {}) << "empty"
                                     << "out.bbd" << typed << false << "" << kRefused;
    QTest::newRow("b2s_empty_input") << int(BbdToSram) << save("empty", {}) << "empty"
                                     << "out.srm" << typed << false << "" << kRefused;
    QTest::newRow("comment_empty_input") << int(LoadComment) << save("empty", {}) << "empty"
                                         << "" << typed << false << "" << kRefused;
    QTest::newRow("b2s_bbd_shorter_than_header")
        << int(BbdToSram) << save("short.bbd", storedBbd().left(300)) << "short.bbd"
        << "out.srm" << typed << false << "" << kRefused;
    QTest::newRow("comment_bbd_shorter_than_header")
        << int(LoadComment) << save("short.bbd", storedBbd().left(300)) << "short.bbd"
        << "" << typed << false << "" << kRefused;
    QTest::newRow("comment_bbd_cut_inside_comment")
        << int(LoadComment) << save("short.bbd", storedBbd().left(20)) << "short.bbd"
        << "" << typed << false << "" << kRefused;

    // Comments of every length that matters, and in scripts the code page cannot hold.
    const auto comment = [&](const char* tag, const QByteArray& text, const QByteArray& bytes) {
        QTest::newRow(tag) << int(SramToBbd) << save("game.srm", image()) << "game.srm"
                           << "out.bbd" << text << false << ""
                           << bbdBytes(templateHeader(), bytes, image());
    };
    const QByteArray exact = pattern(kCommentBytes, 11).toHex().left(kCommentBytes);
    comment("comment_0_characters", "", QByteArray(kCommentBytes, ' '));
    comment("comment_77_characters", exact, exact);
    comment("comment_78_characters", exact + "Z", exact);
    comment("comment_10000_characters", QByteArray(10'000, 'x').replace(0, 5, "Start"),
            QByteArray(kCommentBytes, 'x').replace(0, 5, "Start"));
    // 1252 holds é, the en dash and the euro sign; the last two at bytes Latin-1 has not.
    comment("comment_western_1252", "Caf\xC3\xA9 \xE2\x80\x93 5 \xE2\x82\xAC",
            commentField("Caf\xE9 \x96 5 \x80"));
    comment("comment_cyrillic", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, ok",
            commentField("??????, ok"));
    comment("comment_cjk_100_characters", QByteArray("\xE6\x97\xA5").repeated(100),
            QByteArray(kCommentBytes, '?'));
    comment("comment_emoji_outside_bmp", "Save \xF0\x9F\x98\x80 ok", commentField("Save ? ok"));
    comment("comment_combining_accent", "e\xCC\x81!", commentField("e?!"));
    // Characters, not bytes, are counted: 76 letters then a two-byte é fill the field exactly.
    comment("comment_multibyte_at_the_cut", QByteArray(76, 'a') + "\xC3\xA9" + "cut",
            QByteArray(76, 'a') + "\xE9");
}

void TestHostileInputs::row() {
    QFETCH(int, command);
    QFETCH(Setup, setup);
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QByteArray, typed);
    QFETCH(bool, asNobody);
    QFETCH(QString, changes);
    QFETCH(QByteArray, expected);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    // Folders a row made read-only are opened up again, so that the row's folder can go.
    const auto openUp = qScopeGuard([&] {
        QDirIterator it(tmp.path(), QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            ::chmod(local(it.next()).c_str(), 0700);
        }
    });
    const bool dropRoot = asNobody && ::geteuid() == 0;
    if (dropRoot) {
        setMode(tmp.path(), 0755);
    }
    const QString folder = tmp.path() + "/saves";
    QVERIFY(QDir(tmp.path()).mkdir("saves"));
    const QString templatePath = tmp.path() + "/Stuff.dat";
    QVERIFY(QFile::copy(QStringLiteral(PLIMBROOK_TEMPLATE_PATH), templatePath));
    setMode(templatePath, 0644);
    setup(folder);
    if (QTest::currentTestFailed()) {
        return;
    }

    // "rel:" marks a path handed over relative to the folder, as typed at a prompt.
    const auto given = [&](const QString& path) {
        return path.startsWith("rel:") ? path.mid(4)
               : path.startsWith('/')  ? path
                                       : folder + "/" + path;
    };
    const auto at = [&](const QString& path) {
        return path.startsWith("rel:") ? folder + "/" + path.mid(4) : given(path);
    };
    if (changes.isEmpty()) {
        changes = at(output).mid(folder.size() + 1).section('/', 0, 0);
    }
    const auto before = snapshotContents(folder);
    const qint64 oldSize = QFileInfo(folder + "/" + changes).size();

    const ChildReport report =
        runInChild(static_cast<Command>(command), local(given(input)), local(given(output)),
                   typed.toStdString(), local(templatePath), local(folder), dropRoot);
    if (dropRoot) {
        setMode(tmp.path(), 0700);
    }
    QVERIFY2(report.finished, "the command did not return");
    if (!report.droppedPrivileges) {
        QSKIP("running as root and unable to become nobody, so file modes would not hold");
    }
    QVERIFY2(report.kind >= 0, "the child reported nothing");
    ++rows_;

    if (expected == kRefused) {
        QCOMPARE(report.kind, int(Outcome::Kind::Refused));
        QCOMPARE(report.messages, 1);
        QCOMPARE(report.comment, kStartComment);
        QCOMPARE(snapshotContents(folder), before);
        // Told from its size: the template and the first block are all that is read.
        QVERIFY2(report.bytesRead <= 2 * kHeader, QByteArray::number(report.bytesRead));
        return;
    }
    const bool fails = expected.isNull();
    if (fails) {
        QCOMPARE(report.kind, int(Outcome::Kind::Failed));
        QCOMPARE(report.messages, 0);
        QCOMPARE(report.comment, kStartComment);
        QCOMPARE(snapshotContents(folder), before);
        return;
    }

    QCOMPARE(report.kind, int(Outcome::Kind::Completed));
    QVERIFY(strayTemporaries(folder).isEmpty());
    if (command == LoadComment) {
        QCOMPARE(report.messages, 0);
        QCOMPARE(report.comment, expected);
        QCOMPARE(snapshotContents(folder), before);
        QVERIFY(report.bytesRead <= kHeader);
        return;
    }
    QCOMPARE(report.messages, 1);
    QCOMPARE(report.comment, kStartComment);
    QCOMPARE(readFile(at(output)), expected);
    auto after = snapshotContents(folder);
    auto unchanged = before;
    after.remove(changes);
    unchanged.remove(changes);
    QCOMPARE(after, unchanged);
    // Only the blocks used are read (a header and a body, or a template and a save of at most
    // 32 KiB), plus the old output that the new one starts from.
    QVERIFY2(report.bytesRead <= kBbd + oldSize, QByteArray::number(report.bytesRead));
}

void TestHostileInputs::cleanupTestCase() {
    qInfo("hostile inputs: %d rows checked, run as %s", rows_,
          ::geteuid() == 0 ? "root (mode rows as nobody)" : "an ordinary user");
}

QTEST_GUILESS_MAIN(TestHostileInputs)
#include "tst_hostile_inputs.moc"
