// Saves through SRAM -> BBD and back, and a comment loaded from one BBD file into the next.
#include <QTest>
#include "tests/window_commands/command_session.h"

using namespace plimbrook;
using namespace plimbrook::testing;

class TestCommandsRoundTrips : public QObject, private CommandFolder {
    Q_OBJECT

private slots:
    void init() { makeFolder(); }

    void largeSaveRoundTrip_data();
    void largeSaveRoundTrip();
    void roundTrip_data();
    void roundTrip();
    void loadedCommentIsStoredAgain_data();
    void loadedCommentIsStoredAgain();
};

// Saves larger than 8 KiB come back from their BBD file byte for byte.
void TestCommandsRoundTrips::largeSaveRoundTrip_data() {
    QTest::addColumn<QByteArray>("save");
    QTest::addColumn<bool>("asked");
    QTest::newRow("16k") << noise(2 * kSram, 240) << false;
    QTest::newRow("32k") << noise(4 * kSram, 241) << true;
}

void TestCommandsRoundTrips::largeSaveRoundTrip() {
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

void TestCommandsRoundTrips::roundTrip_data() {
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

void TestCommandsRoundTrips::roundTrip() {
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

void TestCommandsRoundTrips::loadedCommentIsStoredAgain_data() {
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

void TestCommandsRoundTrips::loadedCommentIsStoredAgain() {
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

QTEST_GUILESS_MAIN(TestCommandsRoundTrips)
#include "tst_commands_round_trips.moc"
