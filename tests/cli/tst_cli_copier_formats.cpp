// Saves of 16 and 32 KiB and the other copiers' files through the command line: each format
// written byte for byte and read back, and which headers make a file which copier's.
#include <QFile>
#include <QTest>

#include <sstream>

#include "cli/convert_app.h"
#include "tests/cli/golden_scene.h"

using namespace plimbrook::testing;
using namespace plimbrook::testing::golden;
using plimbrook::cli::runConvert;

class TestCliCopierFormats : public QObject, private GoldenFolder {
    Q_OBJECT

private slots:
    void init() { enterFolder(); }
    void cleanup() { leaveFolder(); }

    void largeSavesRoundTrip_data();
    void largeSavesRoundTrip();
    void copierFormats_data();
    void copierFormats();
    void copierHeaders_data();
    void copierHeaders();
};

// 16 and 32 KiB saves come back from their BBD files byte for byte.
void TestCliCopierFormats::largeSavesRoundTrip_data() {
    QTest::addColumn<QString>("save");
    QTest::newRow("16k") << "MID.srm";
    QTest::newRow("32k") << "BIG.srm";
}

void TestCliCopierFormats::largeSavesRoundTrip() {
    QFETCH(QString, save);
    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(runConvert(toArgs({"to-bbd", "--output", "round.bbd", save}), out, err, environment()),
             0);
    QCOMPARE(runConvert(toArgs({"to-srm", "--output", "round.srm", "round.bbd"}), out, err,
                        environment()),
             0);
    QCOMPARE(readFile("round.bbd").size(), qsizetype(33'280));
    QCOMPARE(readFile("round.srm"), readFile(save));
}

// Each copier's file, byte for byte as the layout describes it, and the save back from it.
void TestCliCopierFormats::copierFormats_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("header");  // what comes before the 32 KiB body
    QTest::addColumn<QByteArray>("save");

    QByteArray bbdHeader = stuffDat();
    bbdHeader.replace(16, 77, commentField("Enter a Comment and stuff."));
    const struct {
        const char* format;
        const char* extension;
        QByteArray header;
    } formats[] = {
        {"swc", ".bbd", bbdHeader},
        {"fig", ".sav", proFighterHeader()},
        {"ufo", ".ufo", superUfoHeader()},
        {"gd3", ".gd3", QByteArray()},
    };
    const struct {
        int kib;
        const char* name;
        QByteArray save;
    } saves[] = {{8, "GAME", gameSave()}, {16, "MID", midSave()}, {32, "BIG", bigSave()}};
    for (const auto& format : formats) {
        for (const auto& save : saves) {
            QTest::addRow("%s_%dk", format.format, save.kib)
                << format.format << QString(save.name) + ".srm"
                << QString(save.name) + format.extension << format.header << save.save;
        }
    }
}

void TestCliCopierFormats::copierFormats() {
    QFETCH(QString, format);
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, save);
    // Only a BBD file's header comes from the template: the others do without one.
    if (format != "swc") {
        QVERIFY(QFile::remove("prog/Stuff.dat"));
    }

    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(runConvert(toArgs({"to-bbd", "--format", format, input}), out, err, environment()), 0);
    QCOMPARE(QString::fromStdString(err.str()), QString());
    QCOMPARE(readFile(output), header + save.repeated(32 * 1024 / save.size()));

    // Back by its header; a Game Doctor save has none, so it is named.
    QStringList back = {"to-srm", "--output", "back.srm", output};
    if (format == "gd3") {
        back << "--format" << format;
    }
    QCOMPARE(runConvert(toArgs(back), out, err, environment()), 0);
    QCOMPARE(readFile("back.srm"), save);
}

// A header is another copier's only when it is that copier's whole, in a file of at least its
// length (more is extra bytes, ignored); anything near it is a header not known, and a file
// shorter than a save's 32 KiB is then a raw save. Nothing makes a file without a header a Game
// Doctor save but --format.
void TestCliCopierFormats::copierHeaders_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("format");  // empty: none given
    QTest::addColumn<QString>("type");

    const QByteArray body = midSave().repeated(2);
    const QByteArray fig = proFighterHeader();
    const QByteArray ufo = superUfoHeader();
    const QString other = "copier file with another 512-byte header, ";
    const auto changed = [](QByteArray header, int at, char byte) {
        header[at] = byte;
        return header;
    };

    QTest::newRow("fig") << fig + body << ""
                         << "Pro Fighter save, 33280 bytes";
    QTest::newRow("ufo") << ufo + body << ""
                         << "Super UFO save, 33280 bytes";
    QTest::newRow("fig_byte_511_set") << changed(fig, 511, 1) + body << "" << other + "33280 bytes";
    QTest::newRow("fig_1k_short") << fig + body.left(31 * 1024) << ""
                                  << "raw SRAM save, 32256 bytes";
    QTest::newRow("fig_1k_longer") << fig + body + zeros(1024) << ""
                                   << "Pro Fighter save, 34304 bytes";
    QTest::newRow("ufo_byte_0_set") << changed(ufo, 0, 1) + body << "" << other + "33280 bytes";
    QTest::newRow("ufo_name_at_9")
        << zeros(kHeader).replace(9, 8, "SUPERUFO") + body << "" << other + "33280 bytes";
    QTest::newRow("other_header_format_ufo")
        << otherHeader() + body << "ufo" << other + "33280 bytes";
    QTest::newRow("copier_mark_beside_fig_byte")
        << fig.left(8) + kCopierMark + fig.mid(10) + body << ""
        << "Super Wild Card BBD file, 33280 bytes";
    QTest::newRow("raw_32k_starting_as_fig") << (fig + body).left(32 * 1024) << ""
                                             << "raw SRAM save, 32768 bytes";
    QTest::newRow("raw_32k_as_game_doctor") << body << "gd3"
                                            << "Game Doctor save, 32768 bytes";
}

void TestCliCopierFormats::copierHeaders() {
    QFETCH(QByteArray, file);
    QFETCH(QString, format);
    QFETCH(QString, type);
    QVERIFY(writeFile("x.sav", file));

    QStringList args = {"info", "x.sav"};
    if (!format.isEmpty()) {
        args << "--format=" + format;
    }
    std::ostringstream out;
    std::ostringstream err;
    QCOMPARE(runConvert(toArgs(args), out, err, environment()), 0);
    const QStringList lines = QString::fromStdString(out.str()).split('\n');
    QVERIFY(lines.size() > 1);
    QCOMPARE(lines[1], "  type: " + type);
}

QTEST_GUILESS_MAIN(TestCliCopierFormats)
#include "tst_cli_copier_formats.moc"
