// The copiers' files: whose header a file has, where a Pro 8 SD file's save ends, and the bytes
// each format is written as.
#include <string>

#include "core/copier_formats.h"
#include "core/save_image.h"
#include "tests/support/mini_test.h"
#include "tests/support/sample_files.h"

using namespace plimbrook;
using namespace plimbrook::testing::samples;

MINI_TEST(knownHeaders) {
    Bytes figAndMark = figHeader();
    figAndMark[8] = 0xAA;
    figAndMark[9] = 0xBB;
    Bytes figByte511 = figHeader();
    figByte511[511] = 1;
    Bytes ufoAt9 = filled(kHeader, 0);
    const Bytes name = text("SUPERUFO");
    std::copy(name.begin(), name.end(), ufoAt9.begin() + 9);
    const struct {
        const char* name;
        Bytes head;
        std::optional<CopierFormat> format;
    } rows[] = {
        {"swc", swcHeader(), CopierFormat::SuperWildCard},
        {"swc_mark_alone", Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0xAA, 0xBB}, CopierFormat::SuperWildCard},
        {"fig", figHeader(), CopierFormat::ProFighter},
        {"ufo", ufoHeader(), CopierFormat::SuperUfo},
        {"fig_with_mark_is_swc", figAndMark, CopierFormat::SuperWildCard},
        {"fig_byte_511_set", figByte511, std::nullopt},
        {"fig_cut_to_511", left(figHeader(), 511), std::nullopt},
        {"ufo_name_at_9", ufoAt9, std::nullopt},
        {"zeros", filled(kHeader, 0), std::nullopt},
        {"nothing", {}, std::nullopt},
    };
    for (const auto& row : rows) {
        MINI_CHECK(knownHeaderOf(row.head) == row.format, row.name);
    }
}

MINI_TEST(ufoSdSaveEndsWhereTheTailStarts) {
    const Bytes tail = ufoSdTail();
    Bytes changed = ufoSdOf(pattern(8 * kKiB, 1));
    changed[100'000] ^= 1;
    // A save whose own last bytes are the tail's first is still cut at a chip's size.
    const Bytes endsLikeTail = left(pattern(8 * kKiB, 2), 8 * kKiB - 128) + tail;
    const struct {
        const char* name;
        Bytes file;
        std::size_t save;  // 0: not a Pro 8 SD file
    } rows[] = {
        {"1k", ufoSdOf(pattern(kKiB, 3)), kKiB},
        {"2k", ufoSdOf(pattern(2 * kKiB, 4)), 2 * kKiB},
        {"8k", ufoSdOf(pattern(8 * kKiB, 5)), 8 * kKiB},
        {"32k", ufoSdOf(pattern(32 * kKiB, 6)), 32 * kKiB},
        {"save_ending_like_tail", ufoSdOf(endsLikeTail), 8 * kKiB},
        {"tail_byte_changed", changed, 0},
        {"one_byte_short", left(ufoSdOf(pattern(8 * kKiB, 7)), 128 * kKiB - 1), 0},
        {"one_byte_more", ufoSdOf(pattern(8 * kKiB, 8)) + Bytes{0}, 0},
        {"zeros", filled(128 * kKiB, 0), 0},
    };
    for (const auto& row : rows) {
        MINI_CHECK(ufoSdSaveSize(row.file).value_or(0) == row.save,
                   row.name << ": " << ufoSdSaveSize(row.file).value_or(0));
    }
}

// Every format's file from one save, against the published layouts.
MINI_TEST(filesAsWritten) {
    const Bytes save = pattern(2 * kKiB, 10);
    const auto image = imageOfSave(save);
    HeaderTemplate swc{};
    const Bytes header = swcHeader(11);
    std::copy(header.begin(), header.end(), swc.begin());
    const Bytes body = bodyOf(repeated(save, 4));
    const struct {
        CopierFormat format;
        Bytes file;
    } rows[] = {
        {CopierFormat::SuperWildCard, header + body},
        {CopierFormat::ProFighter, figHeader() + body},
        {CopierFormat::SuperUfo, ufoHeader() + body},
        {CopierFormat::GameDoctor, body},
        {CopierFormat::SuperUfoSd, ufoSdOf(save)},
    };
    for (const auto& row : rows) {
        MINI_CHECK(copierFileBytes(row.format, swc, *image) == row.file,
                   wordsOf(row.format).option);
    }
}

MINI_TEST(formatWords) {
    std::string options;
    for (const FormatWords& words : choosableFormats()) {
        options += std::string(words.option) + ' ';
        MINI_CHECK(formatNamed(words.option) == &words, words.option);
        MINI_CHECK(!words.extension.empty() && words.extension != ".srm", words.option);
    }
    MINI_CHECK(options == "swc fig ufo ufosd gd3 ", options);
    MINI_CHECK(formatNamed("") == nullptr && formatNamed("smc") == nullptr, "other names");
}

int main() {
    return plimbrook::testing::mini::runAll();
}
