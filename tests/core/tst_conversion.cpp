// How a reading becomes a new file: the bytes, the notes that say what was left out, and the
// refusals, the same for every face of the program.
#include <string>

#include "core/code_page.h"
#include "core/conversion.h"
#include "core/info_words.h"
#include "core/retron5.h"
#include "tests/support/mini_test.h"
#include "tests/support/sample_files.h"

using namespace plimbrook;
using namespace plimbrook::testing::samples;

namespace {

FileReading read(const Bytes& file) {
    ByteSpan source(file);
    return readFile(source);
}

ConvertRequest toCopier(CopierFormat format, std::optional<std::size_t> size = std::nullopt) {
    ConvertRequest request;
    request.copier = format;
    request.size = size;
    request.comment = "Note";
    return request;
}

ConvertRequest toSave(std::optional<std::size_t> size = std::nullopt,
                      std::size_t whenCopiesDiffer = 32 * kKiB) {
    ConvertRequest request;
    request.direction = Direction::ToSave;
    request.size = size;
    request.whenCopiesDiffer = whenCopiesDiffer;
    return request;
}

std::string notesOf(const Converted& converted) {
    std::string kinds;
    for (const ConvertNote& note : converted.notes) {
        kinds += std::to_string(int(note.kind)) + (note.warning ? "!" : "") + " ";
    }
    return kinds;
}

struct Row {
    const char* name;
    Bytes file;
    ConvertRequest request;
    Bytes body;         // the save's part of what is written: a copier file's body, or the save
    std::string notes;  // the kinds of the notes, in order, "!" for a warning
};

std::string note(NoteKind kind, bool warning = false) {
    return std::to_string(int(kind)) + (warning ? "! " : " ");
}

std::vector<Row> rows() {
    const Bytes k32 = pattern(32 * kKiB, 1);
    const Bytes k8 = left(k32, 8 * kKiB);
    const Bytes c1 = pattern(8 * kKiB, 2);
    const auto gd3 = [](std::optional<std::size_t> size = std::nullopt) {
        return toCopier(CopierFormat::GameDoctor, size);
    };
    return {
        {"8217_bytes_warned", left(k32, 8217), gd3(), bodyOf(k8),
         note(NoteKind::DroppedBytes, true)},
        {"size_8_of_32k", k32, gd3(8 * kKiB), bodyOf(k8), note(NoteKind::CutToSize)},
        {"size_16_of_8217_is_the_save_as_it_is", left(k32, 8217), gd3(16 * kKiB), bodyOf(k8),
         note(NoteKind::DroppedBytes, true)},
        {"size_2_of_8k", k8, gd3(2 * kKiB), bodyOf(left(k32, 2 * kKiB)), note(NoteKind::CutToSize)},
        {"size_32_of_2k_mirrors_it", left(k32, 2 * kKiB), gd3(32 * kKiB),
         bodyOf(left(k32, 2 * kKiB)), ""},
        {"padded_whole_32k", k8 + filled(120 * kKiB, 0), gd3(), k8 + filled(24 * kKiB, 0),
         note(NoteKind::PaddingLeftOut)},
        // Cut where only padding follows: still nothing but padding left out.
        {"padded_size_8", k8 + filled(120 * kKiB, 0), gd3(8 * kKiB), bodyOf(k8),
         note(NoteKind::PaddingLeftOut)},
        {"padded_size_8_of_16k_data", left(k32, 16 * kKiB) + filled(112 * kKiB, 0xFF),
         gd3(8 * kKiB), bodyOf(k8), note(NoteKind::CutToSize) + note(NoteKind::PaddingLeftOut)},
        {"retron5_to_copier", retron5Of(k8), gd3(), bodyOf(k8), ""},
        {"copies_agree", swcHeader() + bodyOf(k8), toSave(), k8, ""},
        {"copies_differ_whole", swcHeader() + k32, toSave(), k32, note(NoteKind::CopiesDiffer)},
        {"copies_differ_first_8k", swcHeader() + k32, toSave(std::nullopt, 8 * kKiB), k8, ""},
        {"copies_differ_size_8", swcHeader() + k32, toSave(8 * kKiB), k8, ""},
        {"size_2_of_copies", swcHeader() + bodyOf(k8), toSave(2 * kKiB), left(k8, 2 * kKiB), ""},
        {"halves", swcHeader() + bodyOf(k8 + c1), toSave(), k8 + c1, ""},
        {"extra_bytes", swcHeader() + bodyOf(k8) + filled(100, 9), toSave(), k8,
         note(NoteKind::ExtraBytes)},
        // The Pro 8 SD file says its save's size.
        {"ufo_sd_2k", ufoSdOf(left(k32, 2 * kKiB)), toSave(), left(k32, 2 * kKiB), ""},
        {"ufo_sd_2k_size_8", ufoSdOf(left(k32, 2 * kKiB)), toSave(8 * kKiB),
         repeated(left(k32, 2 * kKiB), 4), ""},
        {"game_doctor_halves", bodyOf(k8 + c1), toSave(), k8 + c1, ""},
    };
}

}  // namespace

MINI_TEST(conversions) {
    for (Row row : rows()) {
        ReadOptions how;
        how.asGameDoctor = std::string(row.name).starts_with("game_doctor");
        ByteSpan source(row.file);
        const Converted converted = convert(readFile(source, how), row.request);
        MINI_CHECK(converted.ok(), row.name << ": " << converted.reason);
        MINI_CHECK(converted.bytes == row.body, row.name << ": " << converted.bytes.size());
        MINI_CHECK(notesOf(converted) == row.notes, row.name << ": notes " << notesOf(converted));
    }
}

// A reading no conversion takes is refused with the reason info gives, whichever way is asked.
MINI_TEST(refusalsHaveInfosReason) {
    const Bytes k8 = pattern(8 * kKiB, 3);
    const struct {
        const char* name;
        Bytes file;
        Direction direction;
        Refusal refusal;
    } rows[] = {
        {"empty_to_copier", {}, Direction::ToCopierFile, Refusal::EmptyFile},
        {"empty_to_save", {}, Direction::ToSave, Refusal::EmptyFile},
        {"unknown_to_save", pattern(40'000, 4), Direction::ToSave, Refusal::TooLarge},
        {"damaged_retron5", left(retron5Of(k8), 60), Direction::ToCopierFile,
         Refusal::DamagedRetron5},
        {"bbd_to_copier", swcHeader() + bodyOf(k8), Direction::ToCopierFile,
         Refusal::CopierFileAsSave},
        {"raw_to_save", k8, Direction::ToSave, Refusal::SaveAsCopierFile},
        {"rzip_to_save", rzipOf(k8), Direction::ToSave, Refusal::SaveAsCopierFile},
    };
    for (const auto& row : rows) {
        const FileReading reading = read(row.file);
        ConvertRequest request;
        request.direction = row.direction;
        const Converted converted = convert(reading, request);
        MINI_CHECK(converted.refusal == row.refusal && converted.bytes.empty(), row.name);
        MINI_CHECK(converted.reason == reasonText(reading, row.refusal), row.name);
        if (reading.refusal) {
            const auto lines = infoLines(reading, std::nullopt);
            MINI_CHECK(lines.back().value == "none: " + converted.reason, row.name);
        }
    }
}

// Each format's file is the size its copier or console expects.
MINI_TEST(outputSizes) {
    const FileReading save = read(pattern(5000, 5));
    const struct {
        CopierFormat format;
        std::size_t size;
    } copiers[] = {{CopierFormat::SuperWildCard, kBbd},
                   {CopierFormat::ProFighter, kBbd},
                   {CopierFormat::SuperUfo, kBbd},
                   {CopierFormat::GameDoctor, kBody},
                   {CopierFormat::SuperUfoSd, 128 * kKiB}};
    for (const auto& c : copiers) {
        MINI_CHECK(convert(save, toCopier(c.format)).bytes.size() == c.size,
                   wordsOf(c.format).option);
    }
    ConvertRequest retron5 = toSave(4 * kKiB);
    retron5.saveFormat = SaveFormat::Retron5;
    const Bytes k4 = pattern(4 * kKiB, 6);
    const Converted packed = convert(read(swcHeader() + bodyOf(repeated(k4, 2))), retron5);
    MINI_CHECK(unpackRetron5(packed.bytes).save == k4, "a Retron 5 save of 4 KiB");
    MINI_CHECK(extensionOf(retron5) == ".sav" && extensionOf(toSave()) == ".srm", "extensions");
}

MINI_TEST(commentGoesIntoTheSuperWildCardHeader) {
    ConvertRequest request = toCopier(CopierFormat::SuperWildCard);
    const Bytes header = swcHeader(7);
    std::copy(header.begin(), header.end(), request.header.begin());
    request.comment = "Caf\xC3\xA9";
    const Bytes bytes = convert(read(pattern(8 * kKiB, 8)), request).bytes;
    Bytes expected = header;
    const Bytes field = text("Caf\xE9") + filled(73, ' ');
    std::copy(field.begin(), field.end(), expected.begin() + 16);
    MINI_CHECK(left(bytes, kHeader) == expected, "the header with its comment");
}

// Open BBD Comment's rule, for the window and the page alike.
MINI_TEST(commentToCarry) {
    Bytes withZeros = swcHeader();
    const Bytes field = text("Slot") + filled(73, 0);
    std::copy(field.begin(), field.end(), withZeros.begin() + 16);
    const Bytes body = pattern(kBody, 9);
    Bytes unknown = filled(kHeader, 0);
    std::copy(field.begin(), field.begin() + 4, unknown.begin() + 16);
    const struct {
        const char* name;
        Bytes file;
        std::optional<std::string> comment;
    } rows[] = {
        {"zero_bytes_become_spaces", withZeros + body, "Slot" + std::string(73, ' ')},
        // Another writer's header may hold a comment where the copier's does.
        {"header_not_known", unknown + body, "Slot" + std::string(73, ' ')},
        {"pro_fighter", figHeader() + body, std::nullopt},
        {"raw_save", left(body, 8 * kKiB), std::nullopt},
        {"empty", {}, std::nullopt},
    };
    for (const auto& row : rows) {
        MINI_CHECK(commentToCarry(read(row.file)) == row.comment, row.name);
    }
}

MINI_TEST(codePageHolds) {
    for (const char32_t held : {U'a', U'?', U'\u00E9', U'\u20AC', U'\u0178', U'\u00A0'}) {
        MINI_CHECK(code_page::canHold(held), std::uint32_t(held));
    }
    for (const char32_t lacked : {U'\u03C9', U'\u65E5', U'\U0001F600', U'\uFFFD'}) {
        MINI_CHECK(!code_page::canHold(lacked), std::uint32_t(lacked));
    }
}

int main() {
    return plimbrook::testing::mini::runAll();
}
