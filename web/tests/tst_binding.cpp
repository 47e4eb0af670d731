// The page's binding, as the page calls it: bytes in, the new file's bytes and the words out.
// Expected files are built here from the published layout, never by the code under test.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/mini_test.h"
#include "web/binding.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kHeader = 512;
constexpr std::size_t kCommentAt = 16;
constexpr std::size_t kCommentBytes = 77;

Bytes pattern(std::size_t size, int seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 251 + seed * 31) & 0xff);
    }
    return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes repeated(const Bytes& piece, int times) {
    Bytes out;
    for (int i = 0; i < times; ++i) {
        out = out + piece;
    }
    return out;
}

// The copier's own header: its mark and the SRAM file type at 8..10, the comment at 16..92 in
// Windows-1252, padded with spaces.
Bytes bbdHeader(const std::string& windows1252) {
    Bytes header(kHeader, 0);
    header[8] = 0xAA;
    header[9] = 0xBB;
    header[10] = 0x05;
    for (std::size_t i = 0; i < kCommentBytes; ++i) {
        header[kCommentAt + i] = i < windows1252.size() ? windows1252[i] : ' ';
    }
    return header;
}

Bytes proFighterHeader() {
    Bytes header(kHeader, 0);
    header[0] = 4;
    return header;
}

// Of a file too large to be read, the page passes as many bytes as it would have looked at.
std::size_t headSize() {
    return static_cast<std::size_t>(pb_head_size());
}

// Four different 8 KiB copies: a 32 KiB save, or an 8 KiB one beside leftovers.
Bytes differingBody() {
    return pattern(8 * kKiB, 1) + pattern(8 * kKiB, 2) + pattern(8 * kKiB, 3) +
           pattern(8 * kKiB, 4);
}

struct ConvertRow {
    const char* name;
    Bytes input;
    double fileSize;  // 0: the input's own size
    bool asGameDoctor;
    bool toSave;
    int format;  // in the command line's order: swc, fig, ufo, ufosd, gd3
    std::string comment;
    std::size_t whenCopiesDiffer;
    Bytes expected;  // empty where the file is refused
    std::string extension;
    std::string reason;
    int notes;
};

std::vector<ConvertRow> convertRows() {
    const Bytes save = pattern(8 * kKiB, 5);
    const Bytes bbd = bbdHeader("Kept") + differingBody();
    return {
        {"saveToBbdWithComment", save, 0, false, false, 0, "H\u00e9 \u20ac \u65e5", 0,
         bbdHeader("H\xe9 \x80 ?") + repeated(save, 4), ".bbd", "", 0},
        {"saveToProFighter", save, 0, false, false, 1, "ignored", 0,
         proFighterHeader() + repeated(save, 4), ".sav", "", 0},
        {"saveToGameDoctor", save, 0, false, false, 4, "", 0, repeated(save, 4), ".gd3", "", 0},
        {"copiesDifferWhole", bbd, 0, false, true, 0, "", 0, differingBody(), ".srm", "", 1},
        {"copiesDifferFirst8k", bbd, 0, false, true, 0, "", 8 * kKiB, pattern(8 * kKiB, 1), ".srm",
         "", 0},
        {"gameDoctorBack", repeated(save, 4), 0, true, true, 0, "", 0, save, ".srm", "", 0},
        {"saveGivenAsCopierFile",
         save,
         0,
         false,
         true,
         0,
         "",
         0,
         {},
         ".srm",
         "looks like an SRAM save, not a BBD file",
         0},
        {"copierFileGivenAsSave",
         bbd,
         0,
         false,
         false,
         0,
         "",
         0,
         {},
         ".bbd",
         "already a BBD file",
         0},
        {"hugeFileFromItsHead",
         Bytes(headSize(), 0),
         100.0 * kKiB * kKiB,
         false,
         false,
         0,
         "",
         0,
         {},
         ".bbd",
         "larger than 32 KiB, the most the copier holds",
         0},
        {"emptyFile", {}, 0, false, false, 0, "", 0, {}, ".bbd", "empty file", 0},
    };
}

std::string hexOf(const Bytes& bytes, std::size_t at) {
    std::string text;
    for (std::size_t i = at; i < bytes.size() && i < at + 8; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x ", bytes[i]);
        text += pair;
    }
    return text;
}

std::size_t firstDifference(const Bytes& a, const Bytes& b) {
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) {
        ++at;
    }
    return at;
}

void checkConversion(const ConvertRow& row) {
    const double size = row.fileSize > 0 ? row.fileSize : double(row.input.size());
    PbReading* reading = pb_read(row.input.data(), row.input.size(), size, row.asGameDoctor);
    PbOutput* output =
        pb_convert(reading, row.toSave, row.format, 0, row.comment.c_str(), row.whenCopiesDiffer);
    const Bytes got(pb_output_data(output), pb_output_data(output) + pb_output_size(output));
    const std::string reason = pb_output_reason(output);
    const std::string extension = pb_output_extension(output);
    const int notes = pb_output_note_count(output);
    pb_output_free(output);
    pb_reading_free(reading);

    MINI_CHECK(reason == row.reason, row.name << ": " << reason);
    MINI_CHECK(extension == row.extension, row.name << ": " << extension);
    MINI_CHECK(notes == row.notes, row.name << ": " << notes << " notes");
    const std::size_t at = firstDifference(got, row.expected);
    MINI_CHECK(got == row.expected, row.name << ": " << got.size() << " bytes, differ at " << at
                                             << ": " << hexOf(got, at) << "/ "
                                             << hexOf(row.expected, at));
}

MINI_TEST(conversionsThroughTheBinding) {
    for (const ConvertRow& row : convertRows()) {
        checkConversion(row);
    }
}

struct ReadingRow {
    const char* name;
    Bytes input;
    double fileSize;
    int direction;
    bool copiesDiffer;
    bool holdsComment;
    std::string comment;
    bool hasFileCrc;
};

std::vector<ReadingRow> readingRows() {
    const Bytes save = pattern(8 * kKiB, 6);
    std::string kept = "Kept";
    kept.resize(kCommentBytes, ' ');
    return {
        {"save", save, 0, 0, false, false, "", true},
        {"bbdKeepsItsComment", bbdHeader("Kept") + repeated(save, 4), 0, 1, false, true, kept,
         true},
        {"bbdCopiesDiffer", bbdHeader("Kept") + differingBody(), 0, 1, true, true, kept, true},
        {"proFighterHoldsNoComment", proFighterHeader() + repeated(save, 4), 0, 1, false, false, "",
         true},
        {"hugeFileHasNoFileCrc", Bytes(headSize(), 0), 65.0 * kKiB * kKiB, 0, false, false, "",
         false},
    };
}

std::string infoValue(const PbReading* reading, const std::string& key) {
    for (int i = 0; i < pb_info_count(reading); ++i) {
        if (pb_info_key(reading, i) == key) {
            return pb_info_value(reading, i);
        }
    }
    return "";
}

MINI_TEST(readingsThroughTheBinding) {
    for (const ReadingRow& row : readingRows()) {
        const double size = row.fileSize > 0 ? row.fileSize : double(row.input.size());
        PbReading* reading = pb_read(row.input.data(), row.input.size(), size, 0);
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08lx",
                      crc32(crc32(0, nullptr, 0), row.input.data(), uInt(row.input.size())));
        MINI_CHECK(pb_direction(reading) == row.direction, row.name);
        MINI_CHECK(pb_copies_differ(reading) == row.copiesDiffer, row.name);
        MINI_CHECK(pb_holds_comment(reading) == row.holdsComment, row.name);
        MINI_CHECK(pb_comment(reading) == row.comment, row.name << ": " << pb_comment(reading));
        const std::string fileCrc = infoValue(reading, "file CRC-32");
        MINI_CHECK(fileCrc == (row.hasFileCrc ? crc : ""), row.name << ": " << fileCrc);
        MINI_CHECK(!infoValue(reading, "type").empty(), row.name);
        pb_reading_free(reading);
    }
}

MINI_TEST(commentCodePage) {
    const struct {
        char32_t character;
        int held;
    } rows[] = {{U'A', 1},      {U'?', 1},      {U'\u00e9', 1},    {U'\u20ac', 1},
                {U'\u65e5', 0}, {U'\u0100', 0}, {U'\U0001F600', 0}};
    for (const auto& row : rows) {
        MINI_CHECK(pb_code_page_holds(int(row.character)) == row.held, int(row.character));
    }
    MINI_CHECK(pb_comment_length() == int(kCommentBytes), pb_comment_length());
}

MINI_TEST(formatsInTheCommandLinesOrder) {
    const char* options[] = {"swc", "fig", "ufo", "ufosd", "gd3"};
    const char* extensions[] = {".bbd", ".sav", ".ufo", ".ufosd", ".gd3"};
    MINI_CHECK(pb_format_count() == 5, pb_format_count());
    for (int i = 0; i < 5; ++i) {
        MINI_CHECK(std::string(pb_format_option(i)) == options[i], pb_format_option(i));
        MINI_CHECK(std::string(pb_format_extension(i)) == extensions[i], pb_format_extension(i));
    }
}

}  // namespace

int main() {
    return plimbrook::testing::mini::runAll();
}
