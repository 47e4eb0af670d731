// SRAM -> BBD: the file written for each comment and size of save, the template it takes its
// header from, saves larger than the copier holds and compressed saves.
#include <QDir>
#include <QTest>

#include <optional>

#include "tests/support/rzip_files.h"
#include "tests/window_commands/command_session.h"

Q_DECLARE_METATYPE(std::optional<QByteArray>)

using namespace plimbrook;
using namespace plimbrook::testing;

class TestCommandsSramToBbd : public QObject, private CommandFolder {
    Q_OBJECT

private slots:
    void init() { makeFolder(); }

    void sram2bbd_data();
    void sram2bbd();
    void templateHeader_data();
    void templateHeader();
    void templateGoneSinceStart_data();
    void templateGoneSinceStart();
    void saveSizes_data();
    void saveSizes();
    void compressedSaves_data();
    void compressedSaves();
};

void TestCommandsSramToBbd::sram2bbd_data() {
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

void TestCommandsSramToBbd::sram2bbd() {
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

void TestCommandsSramToBbd::templateHeader_data() {
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

void TestCommandsSramToBbd::templateHeader() {
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
void TestCommandsSramToBbd::templateGoneSinceStart_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("several");
    for (const char* how : {"removed", "emptied", "cut_to_511", "folder"}) {
        QTest::addRow("sram2bbd_%s", how) << QString(how) << false;
        QTest::addRow("dropped_%s", how) << QString(how) << true;
    }
}

void TestCommandsSramToBbd::templateGoneSinceStart() {
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

// A save larger than 8 KiB keeps as much as the copier holds; bytes past a whole 8 or 16 KiB are
// left out only once the user has agreed.
void TestCommandsSramToBbd::saveSizes_data() {
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

void TestCommandsSramToBbd::saveSizes() {
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
void TestCommandsSramToBbd::compressedSaves_data() {
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

void TestCommandsSramToBbd::compressedSaves() {
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

QTEST_GUILESS_MAIN(TestCommandsSramToBbd)
#include "tst_commands_sram_to_bbd.moc"
