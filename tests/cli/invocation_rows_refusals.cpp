// The invocations that fail: files that cannot be read or written, and wrong command lines.
#include <QStringList>
#include <QTest>

#include "core/app_facts.h"
#include "tests/cli/invocation_rows.h"

namespace plimbrook::testing::golden {

void addFailingFileRows(const Expected& expected) {
    const auto& [defaultText, gameBbd, bigBbd, midBbd] = expected;
    // Files that fail; the rest of the batch goes on.
    QTest::newRow("missing_save_in_batch")
        << QStringList{"to-bbd", "GAME.srm", "missing.srm", "BIG.srm"} << ""
        << "plimbrook-convert: missing.srm: No such file or directory\n"
        << 1 << Files{{"GAME.bbd", gameBbd}, {"BIG.bbd", bigBbd}};
    QTest::newRow("existing_output_refused")
        << QStringList{"to-bbd", "--output", "KEEP.bbd", "GAME.srm"} << ""
        << "plimbrook-convert: KEEP.bbd: File exists (use --force to replace it)\n"
        << 1 << Files{};
    QTest::newRow("existing_output_refused_in_batch")
        << QStringList{"to-srm", "--output-dir", ".", "KEEP.bbd", "sub/../PAIR.bbd"} << ""
        << "plimbrook-convert: ./PAIR.srm: File exists (use --force to replace it)\n"
        << 1 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("same_output_twice_in_batch")
        << QStringList{"to-bbd",   "--force",        "--output-dir",     "sub",
                       "GAME.srm", "sub/../BIG.srm", "./sub/../GAME.srm"}
        << ""
        << "plimbrook-convert: sub/GAME.bbd: also the output of an earlier file of this batch, "
           "GAME.srm\n"
        << 1 << Files{{"sub/GAME.bbd", gameBbd}, {"sub/BIG.bbd", bigBbd}};
    // However it is named, a file the batch reads is never replaced, not even with --force.
    QTest::newRow("force_never_replaces_its_own_input")
        << QStringList{"to-bbd", "--force", "--output", "GAME.srm", "GAME.srm"} << ""
        << "plimbrook-convert: GAME.srm: the output would be the input itself\n"
        << 1 << Files{};
    // A raw save with a copier format's extension would be written over by its own conversion.
    QTest::newRow("output_named_as_its_input")
        << QStringList{"to-bbd", "--force", "--format", "gd3", "GD.gd3"} << ""
        << "plimbrook-convert: GD.gd3: the output would be the input itself (use --output or "
           "--output-dir)\n"
        << 1 << Files{};
    QTest::newRow("force_never_replaces_another_input")
        << QStringList{"to-bbd", "--force", "PAIR.bbd", "PAIR.srm"} << ""
        << "plimbrook-convert: PAIR.bbd: already a BBD file (use to-srm)\n"
           "plimbrook-convert: PAIR.bbd: also read by this batch\n"
        << 1 << Files{};
    QTest::newRow("force_never_replaces_the_template")
        << QStringList{"to-bbd", "--force", "--output", "prog/Stuff.dat", "GAME.srm"} << ""
        << "plimbrook-convert: prog/Stuff.dat: also read by this batch\n"
        << 1 << Files{};
    QTest::newRow("own_input_without_force_exists")
        << QStringList{"to-bbd", "--output", "GAME.srm", "GAME.srm"} << ""
        << "plimbrook-convert: GAME.srm: the output would be the input itself\n"
        << 1 << Files{};
    // The link itself is what exists; nothing is made where it points.
    QTest::newRow("dangling_link_output_refused")
        << QStringList{"to-bbd", "--output", "DANGLING.bbd", "GAME.srm"} << ""
        << "plimbrook-convert: DANGLING.bbd: File exists (use --force to replace it)\n"
        << 1 << Files{};
    QTest::newRow("output_ending_in_slash_names_nothing")
        << QStringList{"to-bbd", "--output", "nothere.bbd/", "GAME.srm"} << ""
        << "plimbrook-convert: nothere.bbd/: No such file or directory\n"
        << 1 << Files{};
    QTest::newRow("output_ending_in_slash_names_a_file")
        << QStringList{"to-srm", "--force", "--output", "GAME.srm/", "KEEP.bbd"} << ""
        << "plimbrook-convert: GAME.srm/: Not a directory\n"
        << 1 << Files{};
    QTest::newRow("output_ending_in_slash_names_a_folder")
        << QStringList{"to-bbd", "--force", "--output", "sub/", "GAME.srm"} << ""
        << "plimbrook-convert: sub/: Is a directory\n"
        << 1 << Files{};
    QTest::newRow("folder_as_input") << QStringList{"to-srm", "sub", "KEEP.bbd"} << ""
                                     << "plimbrook-convert: sub: Is a directory\n"
                                     << 1 << Files{{"KEEP.srm", keptImage()}};
    QTest::newRow("device_as_input") << QStringList{"comment", "/dev/null"} << ""
                                     << "plimbrook-convert: /dev/null: Not a regular file\n"
                                     << 1 << Files{};
    QTest::newRow("missing_output_folder")
        << QStringList{"to-bbd", "--output-dir", "nowhere", "GAME.srm"} << ""
        << "plimbrook-convert: nowhere/GAME.bbd: No such file or directory\n"
        << 1 << Files{};
    QTest::newRow("folder_as_output")
        << QStringList{"to-bbd", "--force", "--output", "sub", "GAME.srm"} << ""
        << "plimbrook-convert: sub: Is a directory\n"
        << 1 << Files{};
    QTest::newRow("missing_template_stops_batch")
        << QStringList{"to-bbd", "--template", "none.dat", "GAME.srm", "BIG.srm"} << ""
        << "plimbrook-convert: none.dat: No such file or directory\n"
        << 1 << Files{};
    QTest::newRow("comment_of_missing_file")
        << QStringList{"comment", "missing.bbd", "KEEP.bbd"} << "KEEP.bbd: Kept comment\n"
        << "plimbrook-convert: missing.bbd: No such file or directory\n"
        << 1 << Files{};
}

void addWrongCommandLineRows(const Expected& expected) {
    const auto& [defaultText, gameBbd, bigBbd, midBbd] = expected;
    // Command lines that are wrong do nothing at all.
    QTest::newRow("nothing") << QStringList{} << "" << usageError("missing command") << 2
                             << Files{};
    QTest::newRow("unknown_command") << QStringList{"convert", "GAME.srm"} << ""
                                     << usageError("unknown command 'convert'") << 2 << Files{};
    QTest::newRow("option_before_command") << QStringList{"--force", "to-bbd", "GAME.srm"} << ""
                                           << "" << 0 << Files{{"GAME.bbd", gameBbd}};
    QTest::newRow("unknown_option") << QStringList{"to-bbd", "GAME.srm", "--frobnicate"} << ""
                                    << usageError("unknown option '--frobnicate'") << 2 << Files{};
    QTest::newRow("short_unknown_option") << QStringList{"to-bbd", "-x", "GAME.srm"} << ""
                                          << usageError("unknown option '-x'") << 2 << Files{};
    QTest::newRow("comment_option_for_to_srm")
        << QStringList{"to-srm", "--comment", "x", "KEEP.bbd"} << ""
        << usageError("option '--comment' does not apply to to-srm") << 2 << Files{};
    QTest::newRow("raw_for_to_bbd")
        << QStringList{"to-bbd", "--raw", "GAME.srm"} << ""
        << usageError("option '--raw' does not apply to to-bbd") << 2 << Files{};
    QTest::newRow("force_for_comment")
        << QStringList{"comment", "--force", "KEEP.bbd"} << ""
        << usageError("option '--force' does not apply to comment") << 2 << Files{};
    QTest::newRow("value_missing")
        << QStringList{"to-bbd", "GAME.srm", "--comment"} << ""
        << usageError("option '--comment' needs a value") << 2 << Files{};
    QTest::newRow("empty_output_name")
        << QStringList{"to-bbd", "--output=", "GAME.srm"} << ""
        << usageError("option '--output' needs a value") << 2 << Files{};
    QTest::newRow("empty_template_name")
        << QStringList{"to-bbd", "--template", "", "GAME.srm"} << ""
        << usageError("option '--template' needs a value") << 2 << Files{};
    QTest::newRow("value_for_flag")
        << QStringList{"to-bbd", "--force=yes", "GAME.srm"} << ""
        << usageError("option '--force' takes no value") << 2 << Files{};
    QTest::newRow("no_inputs") << QStringList{"to-srm", "--force"} << ""
                               << usageError("no input files") << 2 << Files{};
    QTest::newRow("output_with_two_inputs")
        << QStringList{"to-bbd", "--output", "x.bbd", "GAME.srm", "BIG.srm"} << ""
        << usageError("option '--output' takes exactly one input file") << 2 << Files{};
    QTest::newRow("output_and_output_dir")
        << QStringList{"to-srm", "--output", "x.srm", "--output-dir", "sub", "KEEP.bbd"} << ""
        << usageError("options '--output' and '--output-dir' cannot be used together") << 2
        << Files{};

    QTest::newRow("size_4_for_to_bbd")
        << QStringList{"to-bbd", "--size", "4", "GAME.srm"} << ""
        << usageError("option '--size' takes 2, 8, 16 or 32, not '4'") << 2 << Files{};
    QTest::newRow("size_auto_for_to_bbd")
        << QStringList{"to-bbd", "--size", "auto", "GAME.srm"} << ""
        << usageError("option '--size' takes 2, 8, 16 or 32, not 'auto'") << 2 << Files{};
    QTest::newRow("size_of_64") << QStringList{"to-srm", "--size", "64", "KEEP.bbd"} << ""
                                << usageError(
                                       "option '--size' takes auto, 1, 2, 4, 8, 16 or 32, not '64'")
                                << 2 << Files{};
    QTest::newRow("comment_with_fig")
        << QStringList{"to-bbd", "--comment", "x", "--format", "fig", "GAME.srm"} << ""
        << usageError(
               "option '--comment' does not apply to --format fig: only swc files carry "
               "a comment")
        << 2 << Files{};
    QTest::newRow("template_with_ufo")
        << QStringList{"to-bbd", "--format", "ufo", "--template", "other.dat", "GAME.srm"} << ""
        << usageError(
               "option '--template' does not apply to --format ufo: only swc files take "
               "their header from the template")
        << 2 << Files{};
    QTest::newRow("unknown_format")
        << QStringList{"to-bbd", "--format", "smc", "GAME.srm"} << ""
        << usageError("option '--format' takes swc, fig, ufo, ufosd or gd3, not 'smc'") << 2
        << Files{};
    QTest::newRow("format_for_comment")
        << QStringList{"comment", "--format", "fig", "FIG.sav"} << ""
        << usageError("option '--format' does not apply to comment") << 2 << Files{};
    QTest::newRow("force_for_info")
        << QStringList{"info", "--force", "GAME.srm"} << ""
        << usageError("option '--force' does not apply to info") << 2 << Files{};
    QTest::newRow("info_without_files")
        << QStringList{"info"} << "" << usageError("no input files") << 2 << Files{};

    QTest::newRow("version") << QStringList{"--version"}
                             << QString(
                                    "plimbrook-convert (Plimbrook) %1.%2\n"
                                    "Copyright (C) 2026 Wexmoor-Soft\n"
                                    "License MIT: <https://opensource.org/licenses/MIT>\n"
                                    "This is free software: you are free to change and "
                                    "redistribute it.\n"
                                    "There is NO WARRANTY, to the extent permitted by law.\n")
                                    .arg(plimbrook::kVersion.major)
                                    .arg(plimbrook::kVersion.revision)
                             << "" << 0 << Files{};
}

}  // namespace plimbrook::testing::golden
