#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "tests/cli/cli_scene.h"
#include "tests/support/rzip_files.h"

using plimbrook::testing::bbdBytes;
using plimbrook::testing::bbdOfSave;
using plimbrook::testing::CliScene;
using plimbrook::testing::commentField;
using plimbrook::testing::kHeader;
using plimbrook::testing::pattern;
using plimbrook::testing::proFighterHeader;
using plimbrook::testing::rzipOf;
using plimbrook::testing::writeFile;

namespace {

QString crcOf(const QByteArray& bytes) {
    return QString::asprintf("%08x", unsigned(plimbrook::testing::crc32Of(bytes)));
}

QJsonObject image(int size, const QByteArray& save, int dropped = 0,
                  QJsonValue repeats = QJsonValue::Null) {
    return {{"size", size},
            {"crc32", crcOf(save)},
            {"dropped_bytes", dropped},
            {"repeats_every", repeats}};
}

const QStringList kMembers = {"name",          "error",      "kind",       "type",   "size",
                              "unpacked_size", "padding",    "copier",     "copies", "extra_bytes",
                              "comment",       "save_image", "file_crc32", "refusal"};

// The document of `args`, parsed back by Qt's own reader.
QJsonDocument documentOf(const CliScene& scene, const QStringList& args, std::string& err,
                         int& status) {
    std::string out;
    status = scene.run(QStringList{"info", "--json"} + args, out, err);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning("%s at %d in:\n%s", qPrintable(error.errorString()), error.offset, out.c_str());
    }
    return document;
}

}  // namespace

class TestInfoJson : public QObject {
    Q_OBJECT

private slots:
    void eachKind_data();
    void eachKind();
    void sameAsTheLines();
    void namesStayText();
};

void TestInfoJson::eachKind_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QJsonObject>("expected");  // the members that must have these values

    const QByteArray game = pattern(8 * 1024, 1);
    const QByteArray mid = pattern(16 * 1024, 7);
    const QByteArray tiny = pattern(1024, 3);
    const QByteArray clock = pattern(8 * 1024 + 25, 8);
    const QByteArray packed = rzipOf(mid, 4096);
    const QByteArray kept = bbdBytes(pattern(kHeader, 11), commentField("Kept  "), game);
    const QByteArray wide =
        bbdOfSave(pattern(kHeader, 11), commentField("Wide"), pattern(32768, 2));
    const QByteArray fig = proFighterHeader() + mid.repeated(2);
    const QByteArray padded = game + QByteArray(96 * 1024, '\xFF');
    const QJsonValue null = QJsonValue::Null;

    QTest::newRow("raw_save") << game << QStringList{}
                              << QJsonObject{{"kind", "raw-save"},
                                             {"size", 8192},
                                             {"type", "raw SRAM save, 8192 bytes"},
                                             {"copier", null},
                                             {"refusal", null},
                                             {"save_image", image(8192, game)},
                                             {"file_crc32", crcOf(game)}};
    QTest::newRow("small_chip") << tiny << QStringList{}
                                << QJsonObject{
                                       {"save_image", image(8192, tiny.repeated(8), 0, 1024)}};
    QTest::newRow("clock_left_out")
        << clock << QStringList{} << QJsonObject{{"save_image", image(8192, clock.left(8192), 25)}};
    QTest::newRow("compressed") << packed << QStringList{}
                                << QJsonObject{{"kind", "retroarch-save"},
                                               {"unpacked_size", 16384},
                                               {"save_image", image(16384, mid)},
                                               {"file_crc32", crcOf(packed)}};
    QTest::newRow("padded") << padded << QStringList{}
                            << QJsonObject{
                                   {"kind", "padded-save"},
                                   {"padding", QJsonObject{{"bytes", 73728}, {"fill", 255}}},
                                   {"save_image", image(32768, padded.left(32768))}};
    QTest::newRow("refused") << pattern(40'000, 9) << QStringList{}
                             << QJsonObject{
                                    {"kind", "unknown"},
                                    {"save_image", null},
                                    {"refusal", "larger than 32 KiB, the most the copier holds"}};
    QTest::newRow("bbd") << kept << QStringList{}
                         << QJsonObject{
                                {"kind", "copier-file"},    {"copier", "other"},
                                {"copies", "all-four"},     {"comment", "Kept"},
                                {"extra_bytes", 0},         {"save_image", image(8192, game)},
                                {"file_crc32", crcOf(kept)}};
    QTest::newRow("bbd_copies_differ")
        << wide << QStringList{}
        << QJsonObject{{"copies", "differ"}, {"save_image", image(32768, pattern(32768, 2))}};
    QTest::newRow("pro_fighter") << fig + "tail" << QStringList{}
                                 << QJsonObject{{"copier", "fig"},
                                                {"copies", "halves"},
                                                {"comment", null},
                                                {"extra_bytes", 4},
                                                {"save_image", image(16384, mid)}};
    QTest::newRow("game_doctor") << mid.repeated(2) << QStringList{"--format", "gd3"}
                                 << QJsonObject{{"kind", "copier-file"},
                                                {"copier", "gd3"},
                                                {"save_image", image(16384, mid)}};
    QTest::newRow("not_game_doctor")
        << game << QStringList{"-F", "gd3"}
        << QJsonObject{{"save_image", null},
                       {"refusal", "not 32 KiB, the size of a Game Doctor save"}};
}

// Every file's object has every member, with what info says of it, and the document lists a
// file that cannot be read too.
void TestInfoJson::eachKind() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, options);
    QFETCH(QJsonObject, expected);
    CliScene scene;
    QVERIFY(scene.valid());
    QVERIFY(writeFile(scene.path("x.sav"), file));

    std::string err;
    int status = -1;
    const QJsonDocument document =
        documentOf(scene, options + QStringList{"x.sav", "gone"}, err, status);
    QCOMPARE(status, 1);
    QCOMPARE(err, std::string("plimbrook-convert: gone: No such file or directory\n"));
    QCOMPARE(document.object().value("schema").toInt(), 1);
    const QJsonArray files = document.object().value("files").toArray();
    QCOMPARE(files.size(), 2);
    const QJsonObject object = files[0].toObject();
    QCOMPARE(QStringList(object.keys()).size(), kMembers.size());
    for (const QString& member : kMembers) {
        QVERIFY2(object.contains(member), qPrintable(member));
    }
    QCOMPARE(object.value("name").toString(), "x.sav");
    QCOMPARE(object.value("error"), QJsonValue(QJsonValue::Null));
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        QVERIFY2(object.value(it.key()) == it.value(),
                 qPrintable(it.key() + ": " + QJsonDocument(object).toJson()));
    }
    const QJsonObject gone = files[1].toObject();
    QCOMPARE(gone.value("name").toString(), "gone");
    QCOMPARE(gone.value("error").toString(), "No such file or directory");
    QCOMPARE(gone.value("kind"), QJsonValue(QJsonValue::Null));
}

// The document and the lines are two faces of one reading: the same type and CRC-32s.
void TestInfoJson::sameAsTheLines() {
    CliScene scene;
    QVERIFY(scene.valid());
    const QStringList names = {"GAME.srm", "BIG.srm", "HUGE.srm", "KEEP.bbd"};
    std::string err;
    int status = -1;
    const QJsonArray files = documentOf(scene, names, err, status).object()["files"].toArray();
    QCOMPARE(status, 0);
    std::string out;
    QCOMPARE(scene.run(QStringList{"info"} + names, out, err), 0);
    const QString lines = QString::fromStdString(out);
    QCOMPARE(files.size(), names.size());
    for (const QJsonValue& value : files) {
        const QJsonObject file = value.toObject();
        const QString block = file["name"].toString() + "\n  type: " + file["type"].toString();
        QVERIFY2(lines.contains(block + "\n"), qPrintable(block));
        const QString crc = file["save_image"].toObject()["crc32"].toString();
        QVERIFY(crc.isEmpty() == file["save_image"].isNull());
        QVERIFY2(crc.isEmpty() || lines.contains("  CRC-32: " + crc + "\n"), qPrintable(crc));
        QVERIFY(lines.contains("  file CRC-32: " + file["file_crc32"].toString() + "\n"));
    }
}

// A name is ASCII in the document, whatever it holds: its characters come back from the JSON,
// and nothing in it reaches a terminal as a control.
void TestInfoJson::namesStayText() {
    CliScene scene;
    QVERIFY(scene.valid());
    const QString name = QString("caf") + QChar(0xE9) + "\x1b]0;x\x07" + QChar(0x9B) + ".srm";
    QVERIFY(writeFile(scene.path(name), pattern(8 * 1024, 1)));
    std::string out;
    std::string err;
    QCOMPARE(scene.run({"info", "--json", name}, out, err), 0);
    for (const char c : out) {
        QVERIFY(static_cast<unsigned char>(c) < 0x80 && (c >= 0x20 || c == '\n'));
    }
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(out));
    QCOMPARE(document["files"][0]["name"].toString(), name);
}

QTEST_GUILESS_MAIN(TestInfoJson)
#include "tst_info_json.moc"
