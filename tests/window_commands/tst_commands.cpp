#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <future>
#include <memory>

#include "tests/support/failing_file_system.h"
#include "tests/support/golden_files.h"
#include "tests/support/rzip_files.h"
#include "tests/support/scripted_dialogs.h"
#include "window_commands/commands.h"

Q_DECLARE_METATYPE(std::optional<QByteArray>)

using namespace plimbrook;
using namespace plimbrook::testing;

namespace {

using Command = Outcome (*)(CommandContext&);

const QString kSramFilters = QStringLiteral("All Files (*.*)|*.*|SRAM Save File (*.srm)|*.srm");
const QString kBbdFilters = QStringLiteral("All Files (*.*)|*.*|BBD File (*.bbd)|*.bbd");
const QByteArray kStartComment = "Enter a Comment and stuff.";
const QString kS2bMessage =
    QStringLiteral("Battery Backup Data file created.|information|Dornquist");
const QString kB2sMessage = QStringLiteral("SRAM file created.|information|Dornquist");

const QStringList kSram2BbdPrompts = {
    "open|Open SRAM File|" + kSramFilters + "|2",
    "save|Save BBD File|" + kBbdFilters + "|2",
    "text|Enter Comment|Please enter a Comment|" + kStartComment,
};
const QStringList kBbd2SramPrompts = {
    "open|Open BBD File|" + kBbdFilters + "|2",
    "save|Save SRAM File|" + kSramFilters + "|2",
};
const QStringList kCommentPrompts = {"open|Open BBD File|" + kBbdFilters + "|2"};

const QString kCopiesDifferPrompt =
    "choice|Dornquist|The four 8 KiB copies in this BBD file differ. It may hold one 32 KiB save, "
    "or an 8 KiB save beside leftovers of other games.\n\nWrite the whole 32 KiB, which loses "
    "nothing, or only the first 8 KiB?|0|Whole 32 KiB/First 8 KiB";

// The warning before a save's trailing bytes are left out, as the user reads it.
QString droppedWarning(const char* kept, int size, const char* last) {
    return QStringLiteral(
               "warning|Dornquist|Only the first %1 of this %2-byte save fit in a BBD file; %3 "
               "(a clock or other data an emulator added) will be left out.\n\nClick OK to go "
               "on without them, or Cancel to stop.|0")
        .arg(QLatin1String(kept))
        .arg(size)
        .arg(QLatin1String(last));
}

QString refusal(const char* text) {
    return QString::fromUtf8(text) + "|warning|Dornquist";
}

// Written out here, not taken from the program: a change to it must show.
const char* const kMissingTemplate =
    "You are missing a vital data file, you will need to reinstall the program to fix this "
    "error.  This application will now close.";

const QString kOutputIsInput = refusal(
    "The new file would be written over the file it is made from. Start again and choose another "
    "name, so that both are kept.");

Command commandNamed(const QString& name) {
    return name == "sram2bbd" ? &SRAM2BBD : name == "bbd2sram" ? &BBD2SRAM : &OpenBBDComment;
}

QStringList promptsOf(const ScriptedDialogs& dialogs) {
    QStringList lines;
    for (const auto& p : dialogs.prompts) {
        QString line = QString::fromStdString(
            p.kind + '|' + p.title + '|' + p.filtersOrPrompt + '|' +
            (p.kind == "text" ? p.startText : std::to_string(p.filterIndex)));
        if (p.kind == "choice") {
            QStringList choices;
            for (const auto& choice : p.choices) {
                choices << QString::fromStdString(choice);
            }
            line += '|' + choices.join('/');
        }
        lines << line;
    }
    return lines;
}

QStringList messagesOf(const ScriptedDialogs& dialogs) {
    QStringList lines;
    for (const auto& m : dialogs.messages) {
        const char* icon = m.icon == MessageIcon::Information ? "information"
                           : m.icon == MessageIcon::Warning   ? "warning"
                                                              : "critical";
        lines << QString::fromStdString(m.text + '|' + icon + '|' + m.title);
    }
    return lines;
}

// What the main window holds for its commands: the dialogs, the channels, the template.
struct Session {
    explicit Session(const QString& templatePath, FileSystem& fs = realFileSystem())
        : context{dialogs, dialogs, channels, templatePath.toStdString(), fs} {}

    void answer(std::initializer_list<std::optional<QString>> paths) {
        for (const auto& path : paths) {
            dialogs.fileAnswers.push_back(path ? std::optional(path->toStdString()) : std::nullopt);
        }
    }
    void answerText(const QByteArray& text) { dialogs.textAnswers.push_back(text.toStdString()); }
    void answerChoice(std::optional<int> choice) { dialogs.choiceAnswers.push_back(choice); }
    QByteArray comment() const { return QByteArray::fromStdString(dialogs.comment); }
    bool channelsClosed() const {
        return !channels.input && !channels.headerTemplate && !channels.output;
    }

    ScriptedDialogs dialogs;
    FileChannels channels;
    CommandContext context;
};

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

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void sram2bbd_data();
    void sram2bbd();
    void templateHeader_data();
    void templateHeader();
    void templateGoneSinceStart_data();
    void templateGoneSinceStart();
    void bbd2sram_data();
    void bbd2sram();
    void openBbdComment_data();
    void openBbdComment();
    void saveSizes_data();
    void saveSizes();
    void compressedSaves_data();
    void compressedSaves();
    void bbdSaveSizes_data();
    void bbdSaveSizes();
    void refusedInputs_data();
    void refusedInputs();
    void largeSaveRoundTrip_data();
    void largeSaveRoundTrip();
    void roundTrip_data();
    void roundTrip();
    void loadedCommentIsStoredAgain_data();
    void loadedCommentIsStoredAgain();
    void cancelled_data();
    void cancelled();
    void commentPromptSeesOldTarget_data();
    void commentPromptSeesOldTarget();
    void readOnlyInput_data();
    void readOnlyInput();
    void outputKeepsModeAndLinks_data();
    void outputKeepsModeAndLinks();

    void refusedPath_data();
    void refusedPath();
    void injectedFailure_data();
    void injectedFailure();

private:
    QString path(const QString& name) const { return dir_->filePath(name); }

    std::unique_ptr<QTemporaryDir> dir_;
    QString template_;
    QByteArray header_;
};

void TestCommands::initTestCase() {
    // A write to a FIFO released by runBounded must fail, not kill the test.
    std::signal(SIGPIPE, SIG_IGN);
}

void TestCommands::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    // Every header byte differs from zero, so a byte not copied from the template shows.
    header_ = noise(kHeader, 7).replace('\0', '\x01');
    template_ = path("Stuff.dat");
    QVERIFY(writeFile(template_, header_));
}

void TestCommands::sram2bbd_data() {
    QTest::addColumn<QByteArray>("save");
    QTest::addColumn<int>("oldOutputSize");  // -1: no file yet
    QTest::addColumn<bool>("outputIsSave");
    QTest::addColumn<std::optional<QByteArray>>("answer");  // no value: prompt cancelled
    QTest::addColumn<QByteArray>("image");                  // 8 KiB four times, 32 KiB once
    QTest::addColumn<QByteArray>("stored");

    const QByteArray save = noise(kSram, 1);
    const std::optional<QByteArray> cancel;
    const std::optional<QByteArray> accept = kStartComment;
    QTest::newRow("start_text_accepted")
        << save << -1 << false << accept << save << kStartComment + QByteArray(51, ' ');
    QTest::newRow("comment_cancelled") << save << -1 << false << cancel << save << commentField({});
    QTest::newRow("comment_emptied")
        << save << -1 << false << std::optional<QByteArray>("") << save << commentField({});
    QTest::newRow("comment_78_cut")
        << save << -1 << false << std::optional(QByteArray(70, 'a') + "12345678") << save
        << QByteArray(70, 'a') + "1234567";
    QTest::newRow("comment_windows_1252")
        << save << -1 << false << std::optional<QByteArray>("Zoë’s “save” — 100%") << save
        << commentField("Zo\xEB\x92s \x93save\x94 \x97 100%");
    QTest::newRow("comment_unmappable")
        << save << -1 << false << std::optional<QByteArray>("セーブ Ω") << save
        << commentField("??? ?");
    QTest::newRow("save_32k_stored_once")
        << save + noise(3 * kSram, 2) << -1 << false << accept << save + noise(3 * kSram, 2)
        << kStartComment + QByteArray(51, ' ');
    for (const int kib : {1, 2, 4}) {
        const QByteArray small = noise(kib * 1024, 3);
        QTest::addRow("save_%dk_mirrored", kib)
            << small << -1 << false << std::optional<QByteArray>("m") << small.repeated(8 / kib)
            << commentField("m");
    }
    QTest::newRow("save_3k_zero_filled")
        << save.left(3072) << -1 << false << std::optional<QByteArray>("z")
        << save.left(3072) + zeros(kSram - 3072) << commentField("z");
    // A file replaced holds the new file and nothing else, whether it was longer or as long.
    QTest::newRow("old_40000_replaced_whole")
        << save << 40000 << false << std::optional<QByteArray>("t") << save << commentField("t");
    QTest::newRow("old_as_long_replaced")
        << save << kBbd << false << std::optional<QByteArray>("e") << save << commentField("e");
    QTest::newRow("old_shorter_replaced")
        << save << 100 << false << std::optional<QByteArray>("s") << save << commentField("s");
    // Answered with the save itself, the save prompt would lose the save: refused.
    QTest::newRow("output_is_the_save")
        << save << -1 << true << std::optional<QByteArray>("i") << save << commentField("i");
}

void TestCommands::sram2bbd() {
    QFETCH(QByteArray, save);
    QFETCH(int, oldOutputSize);
    QFETCH(bool, outputIsSave);
    QFETCH(std::optional<QByteArray>, answer);
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, stored);

    const QString savePath = path("game.srm");
    const QString bbdPath = outputIsSave ? savePath : path("game.bbd");
    QVERIFY(writeFile(savePath, save));
    const QByteArray old = oldOutputSize < 0 ? QByteArray() : noise(oldOutputSize, 99);
    if (oldOutputSize >= 0) {
        QVERIFY(writeFile(bbdPath, old));
    }

    Session s(template_);
    s.answer({savePath, bbdPath});
    s.dialogs.textAnswers.push_back(answer ? std::optional(answer->toStdString()) : std::nullopt);
    const Outcome outcome = SRAM2BBD(s.context);
    if (outputIsSave) {
        QCOMPARE(int(outcome.kind), int(Outcome::Kind::Refused));
        QCOMPARE(readFile(savePath), save);
        QCOMPARE(messagesOf(s.dialogs), QStringList{kOutputIsInput});
        QCOMPARE(strayTemporaries(dir_->path()), QStringList());
        return;
    }
    QVERIFY(outcome.completed());

    QCOMPARE(readFile(bbdPath), bbdOfSave(header_, stored, image));
    QCOMPARE(promptsOf(s.dialogs), kSram2BbdPrompts);
    QCOMPARE(messagesOf(s.dialogs), QStringList{kS2bMessage});
    QCOMPARE(s.comment(), kStartComment);  // the comment box is only read
    QVERIFY(s.channelsClosed());
    QCOMPARE(strayTemporaries(dir_->path()), QStringList());
}

void TestCommands::templateHeader_data() {
    QTest::addColumn<QByteArray>("file");  // null: the installed template
    QTest::addColumn<QByteArray>("header");

    QByteArray installed = zeros(kHeader);
    installed[8] = '\xAA';
    installed[9] = '\xBB';
    installed[10] = '\x05';
    const QByteArray bytes = noise(600, 5);
    QTest::newRow("installed") << QByteArray() << installed;
    QTest::newRow("longer_600_first_512") << bytes << bytes.left(kHeader);
}

void TestCommands::templateHeader() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, header);
    QString templatePath = QStringLiteral(PLIMBROOK_TEMPLATE_PATH);
    if (!file.isNull()) {
        templatePath = path("other.dat");
        QVERIFY(writeFile(templatePath, file));
    }
    const QByteArray save = noise(kSram, 4);
    QVERIFY(writeFile(path("a.srm"), save));

    Session s(templatePath);
    s.answer({path("a.srm"), path("a.bbd")});
    s.answerText("Slot 1");
    QVERIFY(SRAM2BBD(s.context).completed());
    QCOMPARE(readFile(path("a.bbd")), bbdBytes(header, commentField("Slot 1"), save));
}

// A template removed or cut short since start-up ends SRAM -> BBD and a drop of several files
// with the start-up check's own message, before anything is asked or written; the window stays.
void TestCommands::templateGoneSinceStart_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("several");
    for (const char* how : {"removed", "emptied", "cut_to_511", "folder"}) {
        QTest::addRow("sram2bbd_%s", how) << QString(how) << false;
        QTest::addRow("dropped_%s", how) << QString(how) << true;
    }
}

void TestCommands::templateGoneSinceStart() {
    QFETCH(QString, how);
    QFETCH(bool, several);
    const QString templatePath = path("Stuff.dat");
    QVERIFY(QFile::remove(templatePath));
    if (how == "folder") {
        QVERIFY(QDir(dir_->path()).mkdir("Stuff.dat"));
    } else if (how != "removed") {
        QVERIFY(writeFile(templatePath, noise(how == "emptied" ? 0 : 511, 7)));
    }
    QVERIFY(writeFile(path("a.srm"), noise(kSram, 8)));
    QVERIFY(writeFile(path("b.srm"), noise(kSram, 9)));
    const QStringList before = snapshotModes(dir_->path());

    Session s(templatePath);
    Outcome outcome;
    if (several) {
        s.dialogs.fileAnswers.push_back(local(dir_->path()));
        outcome = ConvertGivenFiles(s.context, {local(path("a.srm")), local(path("b.srm"))});
    } else {
        s.answer({path("a.srm"), path("a.bbd")});
        outcome = SRAM2BBD(s.context);
    }

    QCOMPARE(int(outcome.kind), int(Outcome::Kind::Refused));
    QCOMPARE(messagesOf(s.dialogs), QStringList{QString(kMissingTemplate) + "|critical|Dornquist"});
    for (const auto& prompt : s.dialogs.prompts) {
        QVERIFY(prompt.kind != "text" && prompt.kind != "save");
    }
    QCOMPARE(snapshotModes(dir_->path()), before);
}

void TestCommands::bbd2sram_data() {
    QTest::addColumn<QByteArray>("bbd");
    QTest::addColumn<int>("oldOutputSize");  // -1: no file yet
    QTest::addColumn<bool>("outputIsBbd");
    QTest::addColumn<QByteArray>("image");

    const QByteArray image = noise(kSram, 10);
    const QByteArray written = bbdBytes(noise(kHeader, 11), commentField("x"), image);
    QByteArray marked = written;
    marked.replace(kCopierMarkAt, 2, kCopierMark);

    // Copies that differ are asked about; bbdSaveSizes has those rows.
    QTest::newRow("new_output") << written << -1 << false << image;
    // The copier's mark says what the file is; the bytes past its body are ignored.
    QTest::newRow("longer_than_33280") << marked + noise(6720, 14) << -1 << false << image;
    QTest::newRow("old_32k_replaced_whole") << written << 4 * kSram << false << image;
    QTest::newRow("old_as_long_replaced") << written << kSram << false << image;
    QTest::newRow("old_shorter_replaced") << written << 1000 << false << image;
    QTest::newRow("output_is_the_bbd") << written << -1 << true << image;
}

void TestCommands::bbd2sram() {
    QFETCH(QByteArray, bbd);
    QFETCH(int, oldOutputSize);
    QFETCH(bool, outputIsBbd);
    QFETCH(QByteArray, image);

    const QString bbdPath = path("game.bbd");
    const QString savePath = outputIsBbd ? bbdPath : path("game.srm");
    QVERIFY(writeFile(bbdPath, bbd));
    QByteArray old = outputIsBbd ? bbd : QByteArray();
    if (oldOutputSize >= 0) {
        old = noise(oldOutputSize, 98);
        QVERIFY(writeFile(savePath, old));
    }

    Session s(template_);
    s.answer({bbdPath, savePath});
    const Outcome outcome = BBD2SRAM(s.context);
    if (outputIsBbd) {
        QCOMPARE(int(outcome.kind), int(Outcome::Kind::Refused));
        QCOMPARE(readFile(bbdPath), bbd);
        QCOMPARE(messagesOf(s.dialogs), QStringList{kOutputIsInput});
        QCOMPARE(strayTemporaries(dir_->path()), QStringList());
        return;
    }
    QVERIFY(outcome.completed());

    QCOMPARE(readFile(savePath), image);
    QCOMPARE(promptsOf(s.dialogs), kBbd2SramPrompts);
    QCOMPARE(messagesOf(s.dialogs), QStringList{kB2sMessage});
    QVERIFY(s.channelsClosed());
    QCOMPARE(strayTemporaries(dir_->path()), QStringList());
}

void TestCommands::openBbdComment_data() {
    QTest::addColumn<QByteArray>("bbd");
    QTest::addColumn<QByteArray>("comment");

    const auto bbdWith = [](const QByteArray& field) {
        return bbdBytes(noise(kHeader, 20), field, noise(kSram, 21));
    };
    QTest::newRow("trailing_spaces_kept")
        << bbdWith(commentField("My save")) << commentField("My save");
    QTest::newRow("zero_bytes_become_spaces")
        << bbdWith(QByteArray("AB\0\0CD", 6) + zeros(71)) << commentField("AB  CD");
    QTest::newRow("windows_1252_bytes")
        << bbdWith("\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xE9\xFF" + QByteArray(67, 'x'))
        << utf8Of(U"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00A0\u00E9\u00FF") +
               QByteArray(67, 'x');
    // A BBD file cut short in its body still has its whole header.
    QByteArray cut = bbdWith(commentField("Cut short")).left(kHeader + 1024);
    cut.replace(kCopierMarkAt, 2, kCopierMark);
    QTest::newRow("cut_short_body") << cut << commentField("Cut short");
}

void TestCommands::openBbdComment() {
    QFETCH(QByteArray, bbd);
    QFETCH(QByteArray, comment);
    QVERIFY(writeFile(path("c.bbd"), bbd));

    Session s(template_);
    s.answer({path("c.bbd")});
    QVERIFY(OpenBBDComment(s.context).completed());

    QCOMPARE(s.comment(), comment);
    QCOMPARE(promptsOf(s.dialogs), kCommentPrompts);
    QCOMPARE(messagesOf(s.dialogs), QStringList());
    QCOMPARE(readFile(path("c.bbd")), bbd);
}

// A save larger than 8 KiB keeps as much as the copier holds; bytes past a whole 8 or 16 KiB are
// left out only once the user has agreed.
void TestCommands::saveSizes_data() {
    QTest::addColumn<QByteArray>("save");
    QTest::addColumn<QString>("warning");  // empty: none is shown
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<QByteArray>("kept");  // the save the body holds whole; null: nothing written

    const QByteArray k32 = noise(4 * kSram, 201);
    const QByteArray k16 = k32.left(2 * kSram);
    const QByteArray k8 = k32.left(kSram);
    QTest::newRow("16k_twice") << k16 << QString() << true << k16;
    QTest::newRow("32k_once") << k32 << QString() << true << k32;
    QTest::newRow("8k_and_25_bytes")
        << k32.left(kSram + 25) << droppedWarning("8 KiB", 8217, "the last 25 bytes") << true << k8;
    QTest::newRow("9216_bytes") << k32.left(9216)
                                << droppedWarning("8 KiB", 9216, "the last 1024 bytes") << true
                                << k8;
    QTest::newRow("8k_and_one_byte")
        << k32.left(kSram + 1) << droppedWarning("8 KiB", 8193, "the last byte") << true << k8;
    QTest::newRow("16k_and_100_bytes")
        << k32.left(2 * kSram + 100) << droppedWarning("16 KiB", 16484, "the last 100 bytes")
        << true << k16;
    QTest::newRow("one_short_of_32k")
        << k32.left(4 * kSram - 1) << droppedWarning("16 KiB", 32767, "the last 16383 bytes")
        << true << k16;
    QTest::newRow("cancelled_at_the_warning")
        << k32.left(kSram + 25) << droppedWarning("8 KiB", 8217, "the last 25 bytes") << false
        << QByteArray();
}

void TestCommands::saveSizes() {
    QFETCH(QByteArray, save);
    QFETCH(QString, warning);
    QFETCH(bool, goOn);
    QFETCH(QByteArray, kept);
    QVERIFY(writeFile(path("game.srm"), save));
    const QStringList before = snapshotModes(dir_->path());

    Session s(template_);
    s.answer({path("game.srm"), path("game.bbd")});
    s.answerText("Big");
    s.dialogs.warningAnswers.push_back(goOn);
    const Outcome outcome = SRAM2BBD(s.context);

    QStringList prompts = kSram2BbdPrompts.mid(0, 1);
    if (!warning.isEmpty()) {
        prompts << warning;
    }
    if (kept.isNull()) {
        QCOMPARE(int(outcome.kind), int(Outcome::Kind::Cancelled));
        QCOMPARE(promptsOf(s.dialogs), prompts);
        QCOMPARE(messagesOf(s.dialogs), QStringList());
        QCOMPARE(snapshotModes(dir_->path()), before);
        return;
    }
    QVERIFY(outcome.completed());
    QCOMPARE(promptsOf(s.dialogs), prompts + kSram2BbdPrompts.mid(1));
    QCOMPARE(readFile(path("game.bbd")), bbdOfSave(header_, commentField("Big"), kept));
    QCOMPARE(messagesOf(s.dialogs), QStringList{kS2bMessage});
}

// A compressed save is converted as the save inside it; one that is damaged, cut short or claims
// more than the copier holds is refused before anything is written.
void TestCommands::compressedSaves_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("kept");  // the save the body holds whole; null: refused
    QTest::addColumn<QString>("message");

    const QByteArray k32 = noise(4 * kSram, 210);
    const QByteArray k16 = k32.left(2 * kSram);
    const QByteArray k1 = k32.left(1024);
    const QByteArray good = rzipOf(k16, 4096);
    QByteArray corrupt = good;
    corrupt[300] = char(corrupt[300] ^ 0x55);
    const QString damaged = refusal(
        "This compressed save is damaged or cut short: take the save from the emulator again.");
    const QString tooLarge = refusal(
        "This save is larger than 32 KiB, the most the copier holds: it cannot be made into a BBD "
        "file.");

    QTest::newRow("8k_one_chunk") << rzipOf(k32.left(kSram)) << k32.left(kSram) << kS2bMessage;
    QTest::newRow("16k_in_4k_chunks") << good << k16 << kS2bMessage;
    QTest::newRow("32k_in_1000_byte_chunks") << rzipOf(k32, 1000) << k32 << kS2bMessage;
    QTest::newRow("1k_mirrored") << rzipOf(k1) << k1.repeated(8) << kS2bMessage;
    QTest::newRow("empty_save") << rzipHeader(4096, 0) << QByteArray()
                                << refusal(
                                       "This file cannot be converted: compressed save holds "
                                       "no bytes.");
    QTest::newRow("padded_stream")
        << rzipHeader(kSram, kSram) + rzipChunk(paddedZlibOf(k32.left(kSram), 1000))
        << k32.left(kSram) << kS2bMessage;

    QTest::newRow("corrupt_data") << corrupt << QByteArray() << damaged;
    QTest::newRow("cut_in_last_chunk") << good.left(good.size() - 10) << QByteArray() << damaged;
    QTest::newRow("cut_after_chunk_length") << good.left(24) << QByteArray() << damaged;
    QTest::newRow("cut_inside_header") << good.left(12) << QByteArray() << damaged;
    QTest::newRow("bytes_after_last_chunk") << good + "x" << QByteArray() << damaged;
    QTest::newRow("chunk_gives_more_than_claimed")
        << rzipHeader(kSram, kSram) + rzipChunk(zlibOf(k16)) << QByteArray() << damaged;
    QTest::newRow("chunks_give_less_than_claimed")
        << rzipHeader(4096, 3 * kSram) + good.mid(20) << QByteArray() << damaged;
    QTest::newRow("version_2") << rzipHeader(4096, 2 * kSram, 2) + good.mid(20) << QByteArray()
                               << damaged;
    QTest::newRow("chunk_size_0") << rzipHeader(0, 2 * kSram) + good.mid(20) << QByteArray()
                                  << damaged;
    // Valid, but longer than any compressed save need be: not read on.
    QTest::newRow("padded_past_1_mib")
        << rzipHeader(kSram, kSram) + rzipChunk(paddedZlibOf(k32.left(kSram), 210'000))
        << QByteArray() << damaged;
    QTest::newRow("claims_32k_and_1") << rzipOf(k32 + 'x') << QByteArray() << tooLarge;
    // Refused from the header alone, before anything the size claims is allocated.
    QTest::newRow("claims_2_to_the_62")
        << rzipHeader(4096, quint64(1) << 62) + good.mid(20) << QByteArray() << tooLarge;
}

void TestCommands::compressedSaves() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, kept);
    QFETCH(QString, message);
    QVERIFY(writeFile(path("game.srm"), file));
    const QStringList before = snapshotModes(dir_->path());

    Session s(template_);
    s.answer({path("game.srm"), path("game.bbd")});
    s.answerText("Packed");
    const Outcome outcome = SRAM2BBD(s.context);

    QCOMPARE(messagesOf(s.dialogs), QStringList{message});
    if (kept.isNull()) {
        QCOMPARE(int(outcome.kind), int(Outcome::Kind::Refused));
        QCOMPARE(promptsOf(s.dialogs), kSram2BbdPrompts.mid(0, 1));
        QCOMPARE(snapshotModes(dir_->path()), before);
        return;
    }
    QVERIFY(outcome.completed());
    QCOMPARE(readFile(path("game.bbd")), bbdOfSave(header_, commentField("Packed"), kept));
}

// What BBD -> SRAM gives back: the save the copies show, or, where they differ, what the user
// picks of the whole 32 KiB and the first 8 KiB.
void TestCommands::bbdSaveSizes_data() {
    QTest::addColumn<QByteArray>("bbd");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<int>("choice");       // -1: cancelled
    QTest::addColumn<QByteArray>("save");  // null: nothing written

    // The copier's mark, so that files longer or shorter than 33,280 bytes are read as BBD files.
    const QByteArray header = noise(kHeader, 230).replace(kCopierMarkAt, 2, kCopierMark);
    const QByteArray c0 = noise(kSram, 231);
    const QByteArray c1 = noise(kSram, 232);
    const QByteArray c2 = noise(kSram, 233);
    const QByteArray c3 = noise(kSram, 234);
    QByteArray c1Changed = c1;
    c1Changed[kSram - 1] = char(c1Changed[kSram - 1] ^ 1);

    QTest::newRow("four_copies_agree") << header + c0.repeated(4) << false << 0 << c0;
    QTest::newRow("halves_agree") << header + (c0 + c1).repeated(2) << false << 0 << c0 + c1;
    QTest::newRow("halves_agree_longer_file")
        << header + (c0 + c1).repeated(2) + noise(1000, 235) << false << 0 << c0 + c1;
    QTest::newRow("copies_differ_whole_32k")
        << header + c0 + c1 + c2 + c3 << true << 0 << c0 + c1 + c2 + c3;
    QTest::newRow("copies_differ_first_8k") << header + c0 + c1 + c2 + c3 << true << 1 << c0;
    QTest::newRow("copies_differ_cancelled")
        << header + c0 + c1 + c2 + c3 << true << -1 << QByteArray();
    QTest::newRow("three_copies_agree")
        << header + c0 + c0 + c0 + c1 << true << 0 << c0 + c0 + c0 + c1;
    QByteArray c0Changed = c0;
    c0Changed[kSram - 1] = char(c0Changed[kSram - 1] ^ 1);
    QTest::newRow("fourth_copy_differs_in_last_byte")
        << header + c0 + c0 + c0 + c0Changed << true << 0 << c0 + c0 + c0 + c0Changed;
    QTest::newRow("halves_differ_in_last_byte")
        << header + c0 + c1 + c0 + c1Changed << true << 0 << c0 + c1 + c0 + c1Changed;
    QTest::newRow("cut_inside_body_first_copy") << header + c0 + c1 + c2 << false << 0 << c0;
    // Other copiers' saves, told by their headers, give back their saves the same way.
    for (const auto& [name, other] :
         {std::pair("pro_fighter", proFighterHeader()), std::pair("super_ufo", superUfoHeader())}) {
        QTest::addRow("%s_8k", name) << other + c0.repeated(4) << false << 0 << c0;
        QTest::addRow("%s_16k", name) << other + (c0 + c1).repeated(2) << false << 0 << c0 + c1;
        QTest::addRow("%s_32k", name)
            << other + c0 + c1 + c2 + c3 << true << 0 << c0 + c1 + c2 + c3;
    }
}

void TestCommands::bbdSaveSizes() {
    QFETCH(QByteArray, bbd);
    QFETCH(bool, asked);
    QFETCH(int, choice);
    QFETCH(QByteArray, save);
    QVERIFY(writeFile(path("game.bbd"), bbd));

    Session s(template_);
    s.answer({path("game.bbd"), path("game.srm")});
    s.answerChoice(choice < 0 ? std::nullopt : std::optional(choice));
    const Outcome outcome = BBD2SRAM(s.context);

    QStringList prompts = kBbd2SramPrompts.mid(0, 1);
    if (asked) {
        prompts << kCopiesDifferPrompt;
    }
    if (save.isNull()) {
        QCOMPARE(int(outcome.kind), int(Outcome::Kind::Cancelled));
        QCOMPARE(promptsOf(s.dialogs), prompts);
        QCOMPARE(messagesOf(s.dialogs), QStringList());
        QVERIFY(!QFile::exists(path("game.srm")));
        return;
    }
    QVERIFY(outcome.completed());
    QCOMPARE(promptsOf(s.dialogs), prompts + kBbd2SramPrompts.mid(1));
    QCOMPARE(readFile(path("game.srm")), save);
    QCOMPARE(messagesOf(s.dialogs), QStringList{kB2sMessage});
}

// Inputs that are not what the command takes: one message, no further prompt, nothing written,
// the comment box as it was.
void TestCommands::refusedInputs_data() {
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

void TestCommands::refusedInputs() {
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

// Saves larger than 8 KiB come back from their BBD file byte for byte.
void TestCommands::largeSaveRoundTrip_data() {
    QTest::addColumn<QByteArray>("save");
    QTest::addColumn<bool>("asked");
    QTest::newRow("16k") << noise(2 * kSram, 240) << false;
    QTest::newRow("32k") << noise(4 * kSram, 241) << true;
}

void TestCommands::largeSaveRoundTrip() {
    QFETCH(QByteArray, save);
    QFETCH(bool, asked);
    QVERIFY(writeFile(path("in.srm"), save));

    Session s(template_);
    s.answer({path("in.srm"), path("mid.bbd"), path("mid.bbd"), path("out.srm")});
    s.answerText("Round trip");
    s.answerChoice(0);  // the default, the whole 32 KiB
    QVERIFY(SRAM2BBD(s.context).completed());
    QVERIFY(BBD2SRAM(s.context).completed());

    QCOMPARE(int(readFile(path("mid.bbd")).size()), kBbd);
    QCOMPARE(readFile(path("out.srm")), save);
    QCOMPARE(promptsOf(s.dialogs).contains(kCopiesDifferPrompt), asked);
}

void TestCommands::roundTrip_data() {
    QTest::addColumn<QByteArray>("image");
    QByteArray ascending(kSram, '\0');
    for (int i = 0; i < kSram; ++i) {
        ascending[i] = static_cast<char>(i);
    }
    QTest::newRow("zeros") << zeros(kSram);
    QTest::newRow("all_ff") << QByteArray(kSram, '\xFF');
    QTest::newRow("ascending") << ascending;
    QTest::newRow("noise") << noise(kSram, 30);
}

void TestCommands::roundTrip() {
    QFETCH(QByteArray, image);
    QVERIFY(writeFile(path("in.srm"), image));

    Session s(template_);
    s.answer({path("in.srm"), path("mid.bbd"), path("mid.bbd"), path("out.srm")});
    s.answerText("Round trip");
    QVERIFY(SRAM2BBD(s.context).completed());
    QVERIFY(BBD2SRAM(s.context).completed());

    QCOMPARE(int(readFile(path("mid.bbd")).size()), kBbd);
    QCOMPARE(readFile(path("out.srm")), image);
}

void TestCommands::loadedCommentIsStoredAgain_data() {
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("stored");

    QByteArray low, high, controls;
    for (int b = 0x80; b <= 0xCC; ++b) {
        low += static_cast<char>(b);
    }
    for (int b = 0xCD; b <= 0xFF; ++b) {
        high += static_cast<char>(b);
    }
    for (int b = 0x01; b <= 0x1F; ++b) {
        controls += static_cast<char>(b);
    }
    QTest::newRow("ascii_trailing_spaces")
        << commentField("Slot 2 - before the boss") << commentField("Slot 2 - before the boss");
    QTest::newRow("bytes_80_to_cc") << low << low;
    QTest::newRow("bytes_cd_to_ff") << commentField(high) << commentField(high);
    QTest::newRow("control_bytes") << commentField(controls) << commentField(controls);
    QTest::newRow("zero_bytes_become_spaces")
        << QByteArray("ab\0cd", 5) + zeros(72) << commentField("ab cd");
}

void TestCommands::loadedCommentIsStoredAgain() {
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, stored);
    QVERIFY(writeFile(path("old.bbd"), bbdBytes(noise(kHeader, 40), field, noise(kSram, 41))));
    QVERIFY(writeFile(path("game.srm"), noise(kSram, 42)));

    Session s(template_);
    s.answer({path("old.bbd"), path("game.srm"), path("new.bbd")});
    // Confirms whatever the prompt starts with.
    s.dialogs.onTextPrompt = [&s] {
        s.dialogs.textAnswers.push_back(s.dialogs.prompts.back().startText);
    };
    QVERIFY(OpenBBDComment(s.context).completed());
    QVERIFY(SRAM2BBD(s.context).completed());

    QCOMPARE(readFile(path("new.bbd")).mid(kCommentAt, kCommentBytes), stored);
}

void TestCommands::cancelled_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("cancelAt");  // which file prompt is cancelled

    QTest::newRow("sram2bbd_open") << "sram2bbd" << 1;
    QTest::newRow("sram2bbd_save") << "sram2bbd" << 2;
    QTest::newRow("bbd2sram_open") << "bbd2sram" << 1;
    QTest::newRow("bbd2sram_save") << "bbd2sram" << 2;
    QTest::newRow("open_comment_open") << "comment" << 1;
}

void TestCommands::cancelled() {
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

void TestCommands::commentPromptSeesOldTarget_data() {
    QTest::addColumn<int>("oldOutputSize");  // -1: no file yet
    QTest::newRow("existing_output") << 40000;
    QTest::newRow("new_output") << -1;
}

void TestCommands::commentPromptSeesOldTarget() {
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

void TestCommands::readOnlyInput_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("sram2bbd") << "sram2bbd";
    QTest::newRow("bbd2sram") << "bbd2sram";
    QTest::newRow("open_comment") << "comment";
}

void TestCommands::readOnlyInput() {
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

void TestCommands::outputKeepsModeAndLinks_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("linked");  // the path chosen is a relative symbolic link

    QTest::newRow("plain_0640") << 0640 << false;
    QTest::newRow("relative_link_0600") << 0600 << true;
}

void TestCommands::outputKeepsModeAndLinks() {
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

void TestCommands::refusedPath_data() {
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

void TestCommands::refusedPath() {
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

void TestCommands::injectedFailure_data() {
    QTest::addColumn<QString>("operation");  // the first such entry of the log fails...
    QTest::addColumn<bool>("last");          // ...or the last
    QTest::addColumn<int>("step");

    QTest::newRow("comment_write") << "write" << true << int(FileStep::Write);
    QTest::newRow("rename") << "rename " << false << int(FileStep::Rename);
}

void TestCommands::injectedFailure() {
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

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
