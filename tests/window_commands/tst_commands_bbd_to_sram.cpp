// BBD -> SRAM and Open BBD Comment: the save and the comment each reads from a BBD file, and
// what the user is asked where a file's copies differ.
#include <QTest>
#include "tests/window_commands/command_session.h"

using namespace plimbrook;
using namespace plimbrook::testing;

class TestCommandsBbdToSram : public QObject, private CommandFolder {
    Q_OBJECT

private slots:
    void init() { makeFolder(); }

    void bbd2sram_data();
    void bbd2sram();
    void openBbdComment_data();
    void openBbdComment();
    void bbdSaveSizes_data();
    void bbdSaveSizes();
};

void TestCommandsBbdToSram::bbd2sram_data() {
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

void TestCommandsBbdToSram::bbd2sram() {
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

void TestCommandsBbdToSram::openBbdComment_data() {
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

void TestCommandsBbdToSram::openBbdComment() {
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

// What BBD -> SRAM gives back: the save the copies show, or, where they differ, what the user
// picks of the whole 32 KiB and the first 8 KiB.
void TestCommandsBbdToSram::bbdSaveSizes_data() {
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

void TestCommandsBbdToSram::bbdSaveSizes() {
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

QTEST_GUILESS_MAIN(TestCommandsBbdToSram)
#include "tst_commands_bbd_to_sram.moc"
