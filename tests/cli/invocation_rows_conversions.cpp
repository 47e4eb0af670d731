// The invocations that convert: to a BBD file and back, the comment, and saves of each size.
#include <QStringList>
#include <QTest>

#include "tests/cli/invocation_rows.h"

namespace plimbrook::testing::golden {

void addConversionRows(const Expected& expected) {
    const auto& [defaultText, gameBbd, bigBbd, midBbd] = expected;
    // Conversions that succeed.
    QTest::newRow("to_bbd_default_comment_and_template") << QStringList{"to-bbd", "GAME.srm"} << ""
                                                         << "" << 0 << Files{{"GAME.bbd", gameBbd}};
    QTest::newRow("to_bbd_comment_and_template")
        << QStringList{"to-bbd", "--comment", "Hello", "--template", "other.dat", "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(otherTemplate(), gameSave(), "Hello")}};
    QTest::newRow("to_bbd_equals_form_after_files")
        << QStringList{"to-bbd", "GAME.srm", "--comment=a=b", "--template=other.dat"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(otherTemplate(), gameSave(), "a=b")}};
    QTest::newRow("to_bbd_comment_starting_with_dash")
        << QStringList{"to-bbd", "--comment", "--force", "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), "--force")}};
    QTest::newRow("to_bbd_comment_77_kept")
        << QStringList{"to-bbd", "--comment", QString(77, 'x'), "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), QByteArray(77, 'x'))}};
    QTest::newRow("to_bbd_comment_78_cut")
        << QStringList{"to-bbd", "--comment", QString(77, 'x') + "Y", "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), QByteArray(77, 'x'))}};
    QTest::newRow("to_bbd_empty_comment_is_spaces")
        << QStringList{"to-bbd", "--comment=", "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), QByteArray(77, ' '))}};
    // Characters count, not bytes: 76 "é" and a "€" fill the field exactly, then "Z" is cut.
    QTest::newRow("to_bbd_utf8_comment_in_windows_1252")
        << QStringList{"to-bbd", "--comment", QString(76, QChar(0xE9)) + QChar(0x20AC) + "Z",
                       "GAME.srm"}
        << ""
        << "" << 0
        << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), QByteArray(76, '\xE9') + '\x80')}};
    QTest::newRow("to_bbd_unmappable_character")
        << QStringList{"to-bbd", "--comment", QString("Tick ") + QChar(0x2713), "GAME.srm"} << ""
        << "" << 0 << Files{{"GAME.bbd", bbd(stuffDat(), gameSave(), "Tick ?")}};
    QTest::newRow("to_bbd_32k_save_stored_once") << QStringList{"to-bbd", "BIG.srm"} << ""
                                                 << "" << 0 << Files{{"BIG.bbd", bigBbd}};
    QTest::newRow("to_bbd_1k_save_mirrored")
        << QStringList{"to-bbd", "TINY.srm"} << ""
        << "" << 0 << Files{{"TINY.bbd", bbd(stuffDat(), tinySave().repeated(8), defaultText)}};
    QTest::newRow("to_bbd_short_save_zero_filled")
        << QStringList{"to-bbd", "ODD.srm"} << ""
        << "" << 0 << Files{{"ODD.bbd", bbd(stuffDat(), withZeros(oddSave(), 8192), defaultText)}};
    // A header cut short would make files the copier cannot read.
    QTest::newRow("to_bbd_short_template_refused")
        << QStringList{"to-bbd", "--template", "short.dat", "GAME.srm"} << ""
        << "plimbrook-convert: short.dat: a header template of 100 bytes; it needs 512\n"
        << 1 << Files{};
    QTest::newRow("to_bbd_unmarked_template_warned")
        << QStringList{"to-bbd", "--template", "KEEP.bbd", "GAME.srm"} << ""
        << "plimbrook-convert: KEEP.bbd: warning: the template has no AA BB 05 at bytes 8 to 10, "
           "so the copier will not take the files made with it\n"
        << 0 << Files{{"GAME.bbd", bbd(otherHeader(), gameSave(), defaultText)}};
    QTest::newRow("to_bbd_batch_into_folder")
        << QStringList{"to-bbd", "--output-dir", "sub", "GAME.srm", "BIG.srm"} << ""
        << "" << 0 << Files{{"sub/GAME.bbd", gameBbd}, {"sub/BIG.bbd", bigBbd}};
    QTest::newRow("to_bbd_named_output")
        << QStringList{"to-bbd", "--output", "sub/named.x", "GAME.srm"} << ""
        << "" << 0 << Files{{"sub/named.x", gameBbd}};
    QTest::newRow("to_bbd_after_double_dash")
        << QStringList{"to-bbd", "--output", "--raw", "--", "GAME.srm"} << ""
        << "" << 0 << Files{{"--raw", gameBbd}};
    // A lone "-" is a file's name, not an option.
    QTest::newRow("lone_dash_is_a_name") << QStringList{"to-bbd", "-"} << ""
                                         << "plimbrook-convert: -: No such file or directory\n"
                                         << 1 << Files{};
    QTest::newRow("to_bbd_dash_name_after_double_dash")
        << QStringList{"to-bbd", "--", "-x.srm"} << ""
        << "" << 0 << Files{{"-x.bbd", bbd(stuffDat(), tinySave().repeated(8), defaultText)}};
    // As in the window, a file that is replaced holds the conversion and nothing else, however
    // long it was.
    QTest::newRow("to_bbd_force_over_longer_file")
        << QStringList{"to-bbd", "--force", "--output", "LONG.bbd", "GAME.srm"} << ""
        << "" << 0 << Files{{"LONG.bbd", gameBbd}};
    QTest::newRow("to_srm") << QStringList{"to-srm", "KEEP.bbd"} << ""
                            << "" << 0 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("to_srm_force_over_longer_save")
        << QStringList{"to-srm", "--force", "--output", "BIG.srm", "KEEP.bbd"} << ""
        << "" << 0 << Files{{"BIG.srm", keptImage()}};
    QTest::newRow("to_srm_force_over_save_as_long")
        << QStringList{"to-srm", "--force", "--output", "GAME.srm", "KEEP.bbd"} << ""
        << "" << 0 << Files{{"GAME.srm", keptImage()}};
    QTest::newRow("to_srm_force_over_shorter_save")
        << QStringList{"to-srm", "--force", "--output", "TINY.srm", "KEEP.bbd"} << ""
        << "" << 0 << Files{{"TINY.srm", keptImage()}};
    QTest::newRow("to_srm_from_bbd_shorter_than_image")
        << QStringList{"to-srm", "--output-dir", "sub", "CUT.bbd"} << ""
        << "" << 0 << Files{{"sub/CUT.srm", withZeros(keptImage().left(1024), 8192)}};
    QTest::newRow("comment_trimmed") << QStringList{"comment", "KEEP.bbd"} << "Kept comment\n"
                                     << "" << 0 << Files{};
    QTest::newRow("comment_raw") << QStringList{"comment", "--raw", "KEEP.bbd"}
                                 << "Kept comment" + QString(65, ' ') + "\n"
                                 << "" << 0 << Files{};
    QTest::newRow("comment_controls_on_one_line")
        << QStringList{"comment", "NOTES.bbd", "KEEP.bbd"}
        << QString("NOTES.bbd: Line1 Line2 ") + QChar(0xE9) + "t" + QChar(0xE9) + " " +
               QChar(0x20AC) + "   x\nKEEP.bbd: Kept comment\n"
        << "" << 0 << Files{};
    QTest::newRow("comment_raw_keeps_controls")
        << QStringList{"comment", "NOTES.bbd", "--raw"}
        << QString("Line1\nLine2\t") + QChar(0xE9) + "t" + QChar(0xE9) + " " + QChar(0x20AC) +
               QString(3, QChar(0)) + "x" + QString(56, QChar(0)) + "\n"
        << "" << 0 << Files{};

    QTest::newRow("comment_c1_controls_blanked")
        << QStringList{"comment", "C1.bbd"} << "A B C ]0;x\n"
        << "" << 0 << Files{};
}

void addSaveSizeRows(const Expected& expected) {
    const auto& [defaultText, gameBbd, bigBbd, midBbd] = expected;
    // Saves of every size the copier holds, and inputs that are not what the command takes.
    QTest::newRow("to_bbd_16k_save_twice") << QStringList{"to-bbd", "MID.srm"} << ""
                                           << "" << 0 << Files{{"MID.bbd", midBbd}};
    QTest::newRow("to_bbd_appended_bytes_warned")
        << QStringList{"to-bbd", "CLOCK.srm"} << ""
        << "plimbrook-convert: CLOCK.srm: warning: only the first 8 KiB of this 8217-byte save "
           "fit in a BBD file; the last 25 bytes are left out\n"
        << 0 << Files{{"CLOCK.bbd", bbdHolding(clockSave().left(8192), defaultText)}};
    QTest::newRow("to_bbd_compressed_save") << QStringList{"to-bbd", "PACKED.srm"} << ""
                                            << "" << 0 << Files{{"PACKED.bbd", midBbd}};
    QTest::newRow("to_bbd_refusals_batch_goes_on")
        << QStringList{"to-bbd", "HUGE.srm", "MARKED.bbd", "BROKEN.srm", "GAME.srm"} << ""
        << "plimbrook-convert: HUGE.srm: larger than 32 KiB, the most the copier holds\n"
           "plimbrook-convert: MARKED.bbd: already a BBD file (use to-srm)\n"
           "plimbrook-convert: BROKEN.srm: compressed save is damaged or cut short\n"
        << 1 << Files{{"GAME.bbd", gameBbd}};
    QTest::newRow("to_srm_halves_agree_16k") << QStringList{"to-srm", "HALVES.bbd"} << ""
                                             << "" << 0 << Files{{"HALVES.srm", midSave()}};
    QTest::newRow("to_srm_copies_differ_32k_and_note")
        << QStringList{"to-srm", "WIDE.bbd"} << ""
        << "plimbrook-convert: WIDE.bbd: note: the four 8 KiB copies differ, so all 32 KiB were "
           "written: nothing is lost, and an 8 KiB save is whole in its first 8 KiB\n"
        << 0 << Files{{"WIDE.srm", bigSave()}};
    QTest::newRow("to_srm_size_8_of_differing_copies")
        << QStringList{"to-srm", "--size", "8", "WIDE.bbd"} << ""
        << "" << 0 << Files{{"WIDE.srm", bigSave().left(8192)}};
    QTest::newRow("to_srm_size_auto") << QStringList{"to-srm", "--size", "auto", "KEEP.bbd"} << ""
                                      << "" << 0 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("to_srm_size_16_of_8k_bbd")
        << QStringList{"to-srm", "--size=16", "KEEP.bbd"} << ""
        << "" << 0 << Files{{"KEEP.srm", keptImage().repeated(2)}};
    QTest::newRow("to_srm_size_32_of_16k_bbd")
        << QStringList{"to-srm", "--size", "32", "HALVES.bbd"} << ""
        << "" << 0 << Files{{"HALVES.srm", midSave().repeated(2)}};
    QTest::newRow("to_srm_size_32_of_cut_bbd")
        << QStringList{"to-srm", "--size", "32", "CUT.bbd"} << ""
        << "" << 0 << Files{{"CUT.srm", withZeros(keptImage().left(1024), 32 * 1024)}};
    QTest::newRow("to_srm_refuses_saves")
        << QStringList{"to-srm", "GAME.srm", "PACKED.srm", "KEEP.bbd"} << ""
        << "plimbrook-convert: GAME.srm: looks like an SRAM save, not a BBD file\n"
           "plimbrook-convert: PACKED.srm: a compressed SRAM save, not a BBD file\n"
        << 1 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("comment_refuses_raw_save")
        << QStringList{"comment", "BIG.srm", "KEEP.bbd"} << "KEEP.bbd: Kept comment\n"
        << "plimbrook-convert: BIG.srm: looks like an SRAM save, not a BBD file\n"
        << 1 << Files{};
}

}  // namespace plimbrook::testing::golden
