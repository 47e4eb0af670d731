// The invocations that report on files, and those of the other copiers' saves.
#include <QStringList>
#include <QTest>

#include "tests/cli/invocation_rows.h"

namespace plimbrook::testing::golden {

namespace {

// The same save as a raw file, compressed and in a BBD file has one CRC-32; the file's own
// bytes have theirs.
QString block(const QString& name, const QStringList& lines, const QByteArray& file) {
    return name + "\n  " + lines.join("\n  ") + "\n  file CRC-32: " + crcOf(file) + '\n';
}
QStringList saveLines(const QString& type, const QString& image, const QByteArray& save) {
    return QStringList{"type: " + type, "save image: " + image, "CRC-32: " + crcOf(save)};
}
QStringList bbdLines(const QString& type, const QString& copies, const QString& comment,
                     const QByteArray& save) {
    return QStringList{"type: " + type + ", 33280 bytes", "copies: " + copies,
                       QStringLiteral("save image: %1 bytes").arg(save.size()),
                       "comment: " + comment, "CRC-32: " + crcOf(save)};
}
const QString otherKind = "copier file with another 512-byte header";
const QString differ = "they differ (to-srm writes all 32 KiB)";

}  // namespace

void addInfoRows() {
    const QByteArray packedSave = rzipOf(midSave(), 4096);
    const int packed = int(packedSave.size());
    QTest::newRow("info_of_saves")
        << QStringList{"info",    "GAME.srm",   "CLOCK.srm", "TINY.srm",  "missing.srm",
                       "MID.srm", "PACKED.srm", "HUGE.srm",  "BROKEN.srm"}
        << block("GAME.srm", saveLines("raw SRAM save, 8192 bytes", "8192 bytes", gameSave()),
                 gameSave()) +
               block("CLOCK.srm",
                     saveLines("raw SRAM save, 8217 bytes",
                               "8192 bytes (the last 25 bytes do not fit in a BBD file)",
                               clockSave().left(8192)),
                     clockSave()) +
               block(
                   "TINY.srm",
                   QStringList{"type: raw SRAM save, 1024 bytes", "save image: 8192 bytes",
                               "repeats: every 1 KiB", "CRC-32: " + crcOf(tinySave().repeated(8))},
                   tinySave()) +
               block("MID.srm", saveLines("raw SRAM save, 16384 bytes", "16384 bytes", midSave()),
                     midSave()) +
               block("PACKED.srm",
                     saveLines(QStringLiteral("RetroArch-compressed save, %1 bytes, 16384 bytes "
                                              "uncompressed")
                                   .arg(packed),
                               "16384 bytes", midSave()),
                     packedSave) +
               block("HUGE.srm",
                     {"type: unknown, 40000 bytes",
                      "save image: none: larger than 32 KiB, the most the copier "
                      "holds"},
                     hugeFile()) +
               block("BROKEN.srm",
                     {QStringLiteral("type: RetroArch-compressed save, %1 bytes").arg(packed - 5),
                      "save image: none: compressed save is damaged or cut short"},
                     packedSave.chopped(5))
        << "plimbrook-convert: missing.srm: No such file or directory\n"
        << 1 << Files{};
    QTest::newRow("info_of_bbd_files")
        << QStringList{"info", "KEEP.bbd", "HALVES.bbd", "WIDE.bbd", "MARKED.bbd"}
        << block("KEEP.bbd",
                 bbdLines(otherKind, "all four 8 KiB copies agree", "Kept comment", keptImage()),
                 keptBbd()) +
               block("HALVES.bbd",
                     bbdLines(otherKind, "the two 16 KiB halves agree", "Halves", midSave()),
                     bbdHolding(midSave(), "Halves", otherHeader())) +
               block("WIDE.bbd", bbdLines(otherKind, differ, "Wide", bigSave()),
                     bbdHolding(bigSave(), "Wide", otherHeader())) +
               block("MARKED.bbd",
                     bbdLines("Super Wild Card BBD file", "all four 8 KiB copies agree",
                              "Kept comment", keptImage()),
                     markedBbd())
        << "" << 0 << Files{};
}

void addOtherCopierRows() {
    // Other copiers' saves: told by their headers, or as a Game Doctor save only when told so.
    const QByteArray fig = proFighterHeader() + midSave().repeated(2);
    const QByteArray ufo = superUfoHeader() + bigSave();
    const QByteArray gd = midSave().repeated(2);
    QTest::newRow("info_of_other_copiers")
        << QStringList{"info", "FIG.sav", "UFO.ufo", "GD.gd3"}
        << block("FIG.sav",
                 {"type: Pro Fighter save, 33280 bytes", "copies: the two 16 KiB halves agree",
                  "save image: 16384 bytes", "CRC-32: " + crcOf(midSave())},
                 fig) +
               block("UFO.ufo",
                     {"type: Super UFO save, 33280 bytes", "copies: " + differ,
                      "save image: 32768 bytes", "CRC-32: " + crcOf(bigSave())},
                     ufo) +
               block("GD.gd3", saveLines("raw SRAM save, 32768 bytes", "32768 bytes", gd), gd)
        << "" << 0 << Files{};
    QTest::newRow("info_as_game_doctor")
        << QStringList{"info", "--format", "gd3", "GD.gd3", "KEEP.bbd"}
        << block("GD.gd3",
                 {"type: Game Doctor save, 32768 bytes", "copies: the two 16 KiB halves agree",
                  "save image: 16384 bytes", "CRC-32: " + crcOf(midSave())},
                 gd) +
               block("KEEP.bbd",
                     {"type: " + otherKind + ", 33280 bytes",
                      "save image: none: not 32 KiB, the size of a Game Doctor save"},
                     keptBbd())
        << "" << 0 << Files{};
    QTest::newRow("to_srm_as_game_doctor")
        << QStringList{"to-srm", "--format=gd3", "GD.gd3", "KEEP.bbd", "MID.srm", "PACKED.srm"}
        << ""
        << "plimbrook-convert: KEEP.bbd: not 32 KiB, the size of a Game Doctor save\n"
           "plimbrook-convert: MID.srm: not 32 KiB, the size of a Game Doctor save\n"
           "plimbrook-convert: PACKED.srm: a compressed SRAM save, not a BBD file\n"
        << 1 << Files{{"GD.srm", midSave()}};
    QTest::newRow("to_srm_32k_without_header_stays_raw")
        << QStringList{"to-srm", "GD.gd3"} << ""
        << "plimbrook-convert: GD.gd3: looks like an SRAM save, not a BBD file (--format gd3 "
           "reads it as a Game Doctor save)\n"
        << 1 << Files{};
    QTest::newRow("to_bbd_refuses_other_copiers_saves")
        << QStringList{"to-bbd", "--format", "gd3", "FIG.sav", "UFO.ufo", "GAME.srm"} << ""
        << "plimbrook-convert: FIG.sav: already a Pro Fighter save (use to-srm)\n"
           "plimbrook-convert: UFO.ufo: already a Super UFO save (use to-srm)\n"
        << 1 << Files{{"GAME.gd3", gameSave().repeated(4)}};
    QTest::newRow("comment_of_other_copiers")
        << QStringList{"comment", "FIG.sav", "UFO.ufo", "KEEP.bbd"} << "KEEP.bbd: Kept comment\n"
        << "plimbrook-convert: FIG.sav: no comment field in a Pro Fighter save\n"
           "plimbrook-convert: UFO.ufo: no comment field in a Super UFO save\n"
        << 1 << Files{};
    QTest::newRow("to_bbd_swc_format_takes_comment_and_template")
        << QStringList{"to-bbd", "--format",   "swc",       "--comment",
                       "Hi",     "--template", "other.dat", "GAME.srm"}
        << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(otherTemplate(), gameSave(), "Hi")}};
}

}  // namespace plimbrook::testing::golden
