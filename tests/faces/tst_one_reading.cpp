// Every kind of real file, through every face that reads one: info, to-bbd and to-srm on the
// command line, and the window's drop. They must agree: a file info cannot name is refused by
// each with info's reason; a save is converted by to-bbd and the drop alike, and refused by
// to-srm; a copier file the other way round. What is written carries the save info reports.
#include <QTemporaryDir>
#include <QTest>

#include <sstream>

#include "cli/convert_app.h"
#include "tests/support/golden_files.h"
#include "tests/support/sample_files.h"
#include "tests/support/scripted_dialogs.h"
#include "window_commands/commands.h"

using namespace plimbrook;
namespace samples = plimbrook::testing::samples;
using samples::Bytes;
using samples::kKiB;

namespace {

QByteArray qbytes(const Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

enum Side { Save, Copier, Neither };

struct Run {
    int status = 0;
    QString out;
    QString err;
};

Run convertCli(const QStringList& args) {
    std::vector<std::string> list;
    for (const QString& arg : args) {
        list.push_back(arg.toStdString());
    }
    std::ostringstream out;
    std::ostringstream err;
    Run run;
    run.status = cli::runConvert(list, out, err, {PLIMBROOK_TEMPLATE_PATH});
    run.out = QString::fromStdString(out.str());
    run.err = QString::fromStdString(err.str());
    return run;
}

// The value of one line of info's report.
QString infoValue(const QString& report, const QString& key) {
    for (const QString& line : report.split('\n')) {
        if (line.startsWith("  " + key + ": ")) {
            return line.mid(key.size() + 4);
        }
    }
    return QString();
}

QString crcOf(const QByteArray& bytes) {
    const Bytes copy(bytes.begin(), bytes.end());
    return QString::asprintf("%08x", unsigned(samples::crc32Of(copy)));
}

}  // namespace

Q_DECLARE_METATYPE(Side)

class TestOneReading : public QObject {
    Q_OBJECT

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir::setCurrent(dir_->path()));
    }
    void everyFaceAgrees_data();
    void everyFaceAgrees();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestOneReading::everyFaceAgrees_data() {
    using namespace samples;
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Side>("side");

    const Bytes k32 = pattern(32 * kKiB, 1);
    const Bytes body = pattern(kBody, 2);
    Bytes markedSave = left(k32, 8 * kKiB);
    markedSave[8] = 0xAA;
    markedSave[9] = 0xBB;
    const auto row = [](const char* name, const Bytes& file, Side side) {
        QTest::newRow(name) << qbytes(file) << side;
    };
    row("raw_1k", left(k32, kKiB), Save);
    row("raw_8k", left(k32, 8 * kKiB), Save);
    row("raw_8217", left(k32, 8217), Save);
    row("raw_5000", left(k32, 5000), Save);
    row("raw_32k", k32, Save);
    row("raw_8k_with_mark", markedSave, Save);
    row("raw_8704_trailer", left(k32, 8704), Save);
    row("padded_zeros", left(k32, 8 * kKiB) + filled(120 * kKiB, 0), Save);
    row("padded_ff", left(k32, 16 * kKiB) + filled(112 * kKiB, 0xFF), Save);
    row("rzip", rzipOf(left(k32, 16 * kKiB), 4096), Save);
    row("retron5", retron5Of(left(k32, 8 * kKiB)), Save);
    row("retron5_stored", retron5Of(left(k32, 2 * kKiB), false), Save);
    row("ufo_sd_2k", ufoSdOf(left(k32, 2 * kKiB)), Copier);
    row("ufo_sd_32k", ufoSdOf(k32), Copier);
    row("swc", swcHeader() + bodyOf(left(k32, 8 * kKiB)), Copier);
    row("swc_copies_differ", swcHeader() + body, Copier);
    row("swc_extra_bytes", swcHeader() + body + filled(98'304, 0), Copier);
    row("swc_cut_8704", left(swcHeader() + body, 8704), Copier);
    row("fig", figHeader() + bodyOf(left(k32, 16 * kKiB)), Copier);
    row("fig_extra_kib", figHeader() + body + filled(kKiB, 0), Copier);
    row("ufo", ufoHeader() + body, Copier);
    row("other_header", pattern(kHeader, 3) + body, Copier);
    row("empty", {}, Neither);
    row("unknown_40000", pattern(40'000, 4), Neither);
    row("unknown_128k", pattern(128 * kKiB, 5), Neither);
    row("other_header_extra_kib", pattern(kHeader, 3) + body + filled(kKiB, 0), Neither);
    row("rzip_empty", rzipOf({}), Neither);
    row("rzip_of_40000", rzipOf(pattern(40'000, 6)), Neither);
    row("rzip_cut", left(rzipOf(k32), 100), Neither);
    Bytes badCrc = retron5Of(k32);
    badCrc[20] ^= 1;
    row("retron5_bad_crc", badCrc, Neither);
    row("retron5_empty", retron5Of({}), Neither);
}

void TestOneReading::everyFaceAgrees() {
    QFETCH(QByteArray, file);
    QFETCH(Side, side);
    QVERIFY(plimbrook::testing::writeFile("in.x", file));

    const Run info = convertCli({"info", "in.x"});
    const Run toBbd = convertCli({"to-bbd", "--output", "out.bbd", "in.x"});
    const Run toSrm = convertCli({"to-srm", "--output", "out.srm", "in.x"});

    testing::ScriptedDialogs dialogs;
    dialogs.fileAnswers = {std::string("drop.out")};
    dialogs.textAnswers = {std::string("Enter a Comment and stuff.")};
    dialogs.choiceAnswers = {0};  // the whole 32 KiB, as the command line writes
    dialogs.warningAnswers = {true};
    FileChannels channels;
    CommandContext context{dialogs, dialogs, channels, PLIMBROOK_TEMPLATE_PATH};
    const Outcome drop = ConvertGivenFile(context, "in.x");

    QCOMPARE(info.status, 0);
    const QString image = infoValue(info.out, "save image");
    if (side == Neither) {
        QVERIFY2(image.startsWith("none: "), qPrintable(info.out));
        const QString reason = image.mid(6);
        QCOMPARE(toBbd.status, 1);
        QCOMPARE(toBbd.err, "plimbrook-convert: in.x: " + reason + '\n');
        QCOMPARE(toSrm.status, 1);
        QCOMPARE(toSrm.err, "plimbrook-convert: in.x: " + reason + '\n');
        QCOMPARE(int(drop.kind), int(Outcome::Kind::Refused));
        QCOMPARE(int(dialogs.messages.size()), 1);
        QVERIFY2(QString::fromStdString(dialogs.messages[0].text).contains(reason),
                 dialogs.messages[0].text.c_str());
        QVERIFY(!QFile::exists("out.bbd") && !QFile::exists("out.srm") &&
                !QFile::exists("drop.out"));
        return;
    }
    // A save goes to a BBD file, a copier file back to a save; the other way is refused.
    const bool save = side == Save;
    const Run& taken = save ? toBbd : toSrm;
    const Run& refused = save ? toSrm : toBbd;
    QVERIFY2(taken.status == 0, qPrintable(taken.err));
    QCOMPARE(refused.status, 1);
    QVERIFY(!QFile::exists(save ? "out.srm" : "out.bbd"));
    QVERIFY2(drop.completed(), qPrintable(info.out));
    const QByteArray written = plimbrook::testing::readFile(save ? "out.bbd" : "out.srm");
    QCOMPARE(plimbrook::testing::readFile("drop.out"), written);

    // What is written holds the save info reports, by its size and CRC-32.
    const int size = image.section(' ', 0, 0).toInt();
    QVERIFY2(size > 0, qPrintable(info.out));
    const QByteArray held = save ? written.mid(512, size) : written;
    QCOMPARE(held.size(), size);
    QCOMPARE(crcOf(held), infoValue(info.out, "CRC-32"));
    QCOMPARE(infoValue(info.out, "file CRC-32"), crcOf(file));
}

QTEST_GUILESS_MAIN(TestOneReading)
#include "tst_one_reading.moc"
