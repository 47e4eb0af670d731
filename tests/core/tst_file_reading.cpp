// What a file is, as every face of the program reads it: one row for each kind of real file,
// and the reading the core must give of it.
#include <optional>
#include <string>

#include "core/file_reading.h"
#include "tests/support/mini_test.h"
#include "tests/support/sample_files.h"

using namespace plimbrook;
using namespace plimbrook::testing::samples;

namespace {

struct Expected {
    FileKind kind;
    std::optional<Refusal> refusal = std::nullopt;
    CopierFormat copier = CopierFormat::Other;
    std::size_t save = 0;  // a save's bytes, or a copier file's body
    std::uint64_t extra = 0;
    std::size_t ownSaveSize = 0;
};

struct Row {
    const char* name;
    Bytes file;
    Expected expected;
    bool asGameDoctor = false;
};

Expected save(FileKind kind, std::size_t size) {
    return {kind, std::nullopt, CopierFormat::Other, size};
}
Expected refused(FileKind kind, Refusal why) {
    return {kind, why};
}
Expected copier(CopierFormat format, std::size_t body, std::uint64_t extra = 0) {
    return {FileKind::CopierFile, std::nullopt, format, body, extra};
}

Bytes marked(Bytes bytes) {
    bytes[8] = 0xAA;
    bytes[9] = 0xBB;
    return bytes;
}

std::vector<Row> rows() {
    const Bytes k32 = pattern(32 * kKiB, 1);
    const Bytes body = pattern(kBody, 2);
    std::vector<Row> all = {
        {"empty", {}, refused(FileKind::Empty, Refusal::EmptyFile)},
        {"raw_1_byte", pattern(1, 3), save(FileKind::RawSave, 1)},
        {"raw_8217_bytes_clock", pattern(8217, 3), save(FileKind::RawSave, 8217)},
        {"raw_5000_bytes", pattern(5000, 3), save(FileKind::RawSave, 5000)},
        // A chip's size says it is a save, whatever bytes 8 and 9 hold or its start looks like.
        {"raw_8k_with_mark", marked(pattern(8 * kKiB, 4)), save(FileKind::RawSave, 8 * kKiB)},
        {"raw_32k_starting_as_fig", left(figHeader() + body, 32 * kKiB),
         save(FileKind::RawSave, 32 * kKiB)},
        // 8 KiB and a 512-byte trailer: an emulator's save, not a copier file.
        {"raw_8704_without_mark", pattern(8 * kKiB + 512, 5), save(FileKind::RawSave, 8704)},
        {"fig_header_cut_short", left(figHeader() + body, 31 * kKiB + 512),
         save(FileKind::RawSave, 31 * kKiB + 512)},
        {"swc_cut_in_first_kib", left(swcHeader() + body, 600), save(FileKind::RawSave, 600)},
        {"swc_8704", left(swcHeader() + body, 8704), copier(CopierFormat::SuperWildCard, 8 * kKiB)},
        {"swc_whole", swcHeader() + body, copier(CopierFormat::SuperWildCard, kBody)},
        {"swc_extra_bytes", swcHeader() + body + pattern(98'304 - 512, 6),
         copier(CopierFormat::SuperWildCard, kBody, 98'304 - 512)},
        {"fig_whole", figHeader() + body, copier(CopierFormat::ProFighter, kBody)},
        {"fig_extra_kib", figHeader() + body + filled(kKiB, 0),
         copier(CopierFormat::ProFighter, kBody, kKiB)},
        {"ufo_whole", ufoHeader() + body, copier(CopierFormat::SuperUfo, kBody)},
        {"other_header_whole", pattern(kHeader, 7) + body, copier(CopierFormat::Other, kBody)},
        {"other_header_extra_kib", pattern(kHeader, 7) + body + filled(kKiB, 0),
         refused(FileKind::Unknown, Refusal::TooLarge)},
        {"unknown_40000", pattern(40'000, 8), refused(FileKind::Unknown, Refusal::TooLarge)},
        {"unknown_128k", pattern(128 * kKiB, 9), refused(FileKind::Unknown, Refusal::TooLarge)},
        // Padding: one fill byte from 32 KiB to the end.
        {"padded_8k_zeros_128k", pattern(8 * kKiB, 10) + filled(120 * kKiB, 0x00),
         save(FileKind::PaddedSave, 32 * kKiB)},
        {"padded_16k_ff_128k", pattern(16 * kKiB, 10) + filled(112 * kKiB, 0xFF),
         save(FileKind::PaddedSave, 32 * kKiB)},
        {"padded_32k_zeros_1m", k32 + filled(992 * kKiB, 0x00),
         save(FileKind::PaddedSave, 32 * kKiB)},
        {"padding_broken_by_last_byte", k32 + filled(96 * kKiB - 1, 0x00) + Bytes{1},
         refused(FileKind::Unknown, Refusal::TooLarge)},
        {"padding_of_two_bytes", k32 + filled(48 * kKiB, 0x00) + filled(48 * kKiB, 0xFF),
         refused(FileKind::Unknown, Refusal::TooLarge)},
        {"padding_of_0x55", k32 + filled(96 * kKiB, 0x55),
         refused(FileKind::Unknown, Refusal::TooLarge)},
        // The Super UFO Pro 8 SD: the save, then its pattern to 128 KiB.
        {"ufo_sd_2k",
         ufoSdOf(pattern(2 * kKiB, 11)),
         {FileKind::CopierFile, std::nullopt, CopierFormat::SuperUfoSd, kBody, 0, 2 * kKiB}},
        {"ufo_sd_32k",
         ufoSdOf(k32),
         {FileKind::CopierFile, std::nullopt, CopierFormat::SuperUfoSd, kBody, 0, 32 * kKiB}},
        // A byte more, and the file is no Pro 8 SD file: nor anything else that can be read.
        {"ufo_sd_one_byte_more", ufoSdOf(pattern(8 * kKiB, 12)) + Bytes{0},
         refused(FileKind::Unknown, Refusal::TooLarge)},
        {"ufo_sd_save_with_mark",
         ufoSdOf(marked(pattern(8 * kKiB, 12))),
         {FileKind::CopierFile, std::nullopt, CopierFormat::SuperUfoSd, kBody, 0, 8 * kKiB}},
        // Packed saves.
        {"rzip_16k", rzipOf(pattern(16 * kKiB, 13), 4096),
         save(FileKind::RetroArchSave, 16 * kKiB)},
        {"rzip_of_nothing", rzipOf({}), refused(FileKind::RetroArchSave, Refusal::EmptyFile)},
        {"rzip_of_40000", rzipOf(pattern(40'000, 14)),
         refused(FileKind::RetroArchSave, Refusal::TooLarge)},
        {"rzip_cut_short", left(rzipOf(pattern(8 * kKiB, 15)), 40),
         refused(FileKind::RetroArchSave, Refusal::DamagedCompressed)},
        {"retron5_8k", retron5Of(pattern(8 * kKiB, 16)), save(FileKind::Retron5Save, 8 * kKiB)},
        {"retron5_2k_stored", retron5Of(pattern(2 * kKiB, 17), false),
         save(FileKind::Retron5Save, 2 * kKiB)},
        {"retron5_of_nothing", retron5Of({}), refused(FileKind::Retron5Save, Refusal::EmptyFile)},
        {"retron5_of_40000", retron5Of(pattern(40'000, 18)),
         refused(FileKind::Retron5Save, Refusal::TooLarge)},
        // Told a Game Doctor save by the user alone.
        {"game_doctor", k32, copier(CopierFormat::GameDoctor, kBody), true},
        {"game_doctor_not_32k",
         swcHeader() + body,
         {FileKind::CopierFile, Refusal::NotGameDoctorSize, CopierFormat::SuperWildCard, kBody},
         true},
        {"game_doctor_compressed",
         rzipOf(k32),
         {FileKind::RetroArchSave, Refusal::SaveAsCopierFile, CopierFormat::Other, 32 * kKiB},
         true},
    };
    return all;
}

std::string describe(const FileReading& r) {
    return "kind " + std::to_string(int(r.kind)) + ", refusal " +
           (r.refusal ? std::to_string(int(*r.refusal)) : std::string("none")) + ", copier " +
           std::to_string(int(r.copier)) + ", save " + std::to_string(r.save.size()) + ", body " +
           std::to_string(r.body.size()) + ", extra " + std::to_string(r.extraBytes);
}

}  // namespace

MINI_TEST(everyKindOfFile) {
    for (const Row& row : rows()) {
        ByteSpan source(row.file);
        ReadOptions how;
        how.asGameDoctor = row.asGameDoctor;
        const FileReading r = readFile(source, how);
        const Expected& e = row.expected;
        const bool copierFile = e.kind == FileKind::CopierFile;
        const std::size_t held = copierFile ? r.body.size() : r.save.size();
        const bool same = r.kind == e.kind && r.refusal == e.refusal && r.copier == e.copier &&
                          r.fileSize == row.file.size() && held == e.save &&
                          r.extraBytes == e.extra && r.ownSaveSize == e.ownSaveSize;
        MINI_CHECK(same, row.name << ": " << describe(r));
    }
}

// What a save or body holds is the file's own bytes, in place.
MINI_TEST(bytesAreTheFilesOwn) {
    const Bytes body = pattern(kBody, 20);
    const Bytes save = pattern(8217, 21);
    const auto readingOf = [](const Bytes& file) {
        ByteSpan source(file);
        return readFile(source);
    };
    MINI_CHECK(readingOf(swcHeader() + body + filled(100, 7)).body == body,
               "the body of a BBD file with extra bytes");
    MINI_CHECK(readingOf(save).save == save, "a raw save");
    const Bytes small = pattern(2 * kKiB, 22);
    MINI_CHECK(readingOf(ufoSdOf(small)).body == bodyOf(small),
               "a Pro 8 SD save fills the body mirrored");
    MINI_CHECK(readingOf(retron5Of(save)).save == save, "a Retron 5 save, unpacked");
}

// How much of a padded save is padding: everything past 8, 16 or only 32 KiB.
MINI_TEST(paddingSaysWhereItStarts) {
    const struct {
        std::size_t data;
        std::uint8_t fill;
        std::size_t from;
    } cases[] = {{8 * kKiB, 0x00, 8 * kKiB},
                 {8 * kKiB + 1, 0xFF, 16 * kKiB},
                 {16 * kKiB, 0xFF, 16 * kKiB},
                 {20 * kKiB, 0x00, 32 * kKiB}};
    for (const auto& c : cases) {
        Bytes data = pattern(c.data, 23);
        std::replace(data.begin(), data.end(), c.fill, std::uint8_t(c.fill ^ 1));
        const Bytes file = data + filled(128 * kKiB - c.data, c.fill);
        ByteSpan source(file);
        const FileReading r = readFile(source);
        MINI_CHECK(r.kind == FileKind::PaddedSave && r.padding.fill == c.fill &&
                       r.padding.fillsFrom == c.from && r.padding.bytes == 96 * kKiB,
                   c.data << " bytes: from " << r.padding.fillsFrom);
    }
}

// A file too large to be anything is refused from its first bytes, unread past them.
MINI_TEST(hugeFileReadOnlyAtItsStart) {
    class Counting final : public ByteSource {
    public:
        std::uint64_t size() const override { return std::uint64_t(1) << 40; }
        std::vector<std::uint8_t> read(std::uint64_t, std::size_t count) override {
            read_ += count;
            return Bytes(count, 0);
        }
        std::size_t read_ = 0;
    } source;
    const FileReading r = readFile(source);
    MINI_CHECK(r.kind == FileKind::Unknown && r.refusal == Refusal::TooLarge, describe(r));
    MINI_CHECK(source.read_ <= 512, source.read_ << " bytes read");
    MINI_CHECK(!fileCrcOf(source), "no CRC-32 of a file past the largest read");
}

// A file cut short between its size and its reading is read as what is there.
MINI_TEST(fileCutShortMeanwhile) {
    const Bytes save = pattern(8 * kKiB, 24);
    ByteSpan source(save, 40'000);
    const FileReading r = readFile(source);
    MINI_CHECK(r.kind == FileKind::RawSave && r.fileSize == save.size(), describe(r));
}

MINI_TEST(fileCrcIsOfEveryByte) {
    const Bytes file = swcHeader() + pattern(kBody, 25) + filled(200 * kKiB, 3);
    ByteSpan source(file);
    MINI_CHECK(fileCrcOf(source) == crc32Of(file), "CRC-32 over 200 KiB read in pieces");
}

int main() {
    return plimbrook::testing::mini::runAll();
}
