// Saves packed by other programs: RetroArch's chunks of zlib data and the Retron 5's file. Each
// is checked against its sizes before anything is allocated, and refused whole when any part of
// it is not what it claims.
#include <string>

#include "core/retron5.h"
#include "core/rzip.h"
#include "tests/support/mini_test.h"
#include "tests/support/sample_files.h"

using namespace plimbrook;
using namespace plimbrook::testing::samples;

namespace {

struct Row {
    const char* name;
    Bytes file;
    std::optional<Refusal> refusal;  // none: the save comes out whole
    Bytes save = {};
    std::uint64_t claimed = 0;
};

Bytes rzipHeader(std::uint64_t chunk, std::uint64_t total, std::uint8_t version = 1) {
    return text("#RZIPv") + Bytes{version, '#'} + littleEndian(chunk, 4) + littleEndian(total, 8);
}
Bytes chunk(const Bytes& zlib) {
    return littleEndian(zlib.size(), 4) + zlib;
}

std::vector<Row> rzipRows() {
    const Bytes k8 = pattern(8 * kKiB, 1);
    const Bytes k16 = pattern(16 * kKiB, 2);
    const Bytes good = rzipOf(k16, 4096);
    Bytes corrupt = good;
    corrupt[300] ^= 0x55;
    const Bytes afterHeader(good.begin() + 20, good.end());
    return {
        {"one_chunk", rzipOf(k8), std::nullopt, k8, k8.size()},
        {"4k_chunks", good, std::nullopt, k16, k16.size()},
        {"1000_byte_chunks", rzipOf(k16, 1000), std::nullopt, k16, k16.size()},
        {"corrupt_data", corrupt, Refusal::DamagedCompressed},
        {"cut_in_last_chunk", left(good, good.size() - 10), Refusal::DamagedCompressed},
        {"cut_inside_header", left(good, 12), Refusal::DamagedCompressed},
        {"byte_after_last_chunk", good + Bytes{'x'}, Refusal::DamagedCompressed},
        // A chunk's zlib stream must end its chunk: nothing may follow it inside.
        {"bytes_after_zlib_stream_in_chunk",
         rzipHeader(8 * kKiB, k8.size()) + chunk(zlibOf(k8) + Bytes{0, 0, 0}),
         Refusal::DamagedCompressed},
        // Nor may a chunk give more than the chunk size the header names.
        {"chunk_inflates_past_chunk_size", rzipHeader(4096, k8.size()) + chunk(zlibOf(k8)),
         Refusal::DamagedCompressed},
        {"chunks_give_less_than_claimed", rzipHeader(4096, 24 * kKiB) + afterHeader,
         Refusal::DamagedCompressed},
        {"version_2", rzipHeader(4096, k16.size(), 2) + afterHeader, Refusal::DamagedCompressed},
        {"chunk_size_0", rzipHeader(0, k16.size()) + afterHeader, Refusal::DamagedCompressed},
        {"empty_save", rzipHeader(4096, 0), Refusal::EmptyFile},
        {"claims_32k_and_1",
         rzipOf(pattern(32 * kKiB + 1, 3)),
         Refusal::TooLarge,
         {},
         32 * kKiB + 1},
        {"claims_2_to_the_62",
         rzipHeader(4096, std::uint64_t(1) << 62) + afterHeader,
         Refusal::TooLarge,
         {},
         std::uint64_t(1) << 62},
    };
}

Bytes retron5Header(std::uint16_t version, std::uint16_t flags, std::uint64_t save,
                    std::uint64_t data, std::uint64_t offset, std::uint32_t crc) {
    return text("RTN5") + littleEndian(version, 2) + littleEndian(flags, 2) +
           littleEndian(save, 4) + littleEndian(data, 4) + littleEndian(offset, 4) +
           littleEndian(crc, 4);
}

std::vector<Row> retron5Rows() {
    const Bytes k8 = pattern(8 * kKiB, 4);
    const Bytes k2 = pattern(2 * kKiB, 5);
    const Bytes packed = zlibOf(k8);
    const std::uint32_t crc = crc32Of(k8);
    Bytes wrongCrc = retron5Of(k8);
    wrongCrc[20] ^= 1;
    Bytes flipped = retron5Of(k2, false);
    flipped[100] ^= 1;
    return {
        {"compressed_8k", retron5Of(k8), std::nullopt, k8, k8.size()},
        {"stored_2k", retron5Of(k2, false), std::nullopt, k2, k2.size()},
        {"crc_does_not_match", wrongCrc, Refusal::DamagedRetron5, {}, k8.size()},
        {"stored_byte_changed", flipped, Refusal::DamagedRetron5, {}, k2.size()},
        {"version_2", retron5Header(2, 1, k8.size(), packed.size(), 24, crc) + packed,
         Refusal::DamagedRetron5},
        {"header_cut_short", left(retron5Of(k8), 23), Refusal::DamagedRetron5},
        {"data_cut_short", left(retron5Of(k8), 100), Refusal::DamagedRetron5, {}, k8.size()},
        {"byte_after_data", retron5Of(k8) + Bytes{0}, Refusal::DamagedRetron5, {}, k8.size()},
        {"offset_inside_header",
         retron5Header(1, 1, k8.size(), packed.size(), 20, crc) + packed,
         Refusal::DamagedRetron5,
         {},
         k8.size()},
        {"offset_past_file",
         retron5Header(1, 1, k8.size(), packed.size(), 1u << 31, crc),
         Refusal::DamagedRetron5,
         {},
         k8.size()},
        {"stored_size_differs",
         retron5Header(1, 0, k8.size(), 100, 24, crc) + left(k8, 100),
         Refusal::DamagedRetron5,
         {},
         k8.size()},
        {"unpacks_to_more",
         retron5Header(1, 1, 100, packed.size(), 24, crc) + packed,
         Refusal::DamagedRetron5,
         {},
         100},
        {"empty_save", retron5Of({}), Refusal::EmptyFile},
        // Refused from the header alone, before anything the size claims is allocated.
        {"claims_4_gib",
         retron5Header(1, 1, 0xFFFFFFFFu, packed.size(), 24, crc) + packed,
         Refusal::TooLarge,
         {},
         0xFFFFFFFFu},
    };
}

void check(const Row& row, const Unpacked& out) {
    MINI_CHECK(out.refusal == row.refusal,
               row.name << ": refusal " << (out.refusal ? int(*out.refusal) : -1));
    MINI_CHECK(!out.refusal || out.save.empty(), row.name << ": nothing kept of a refused file");
    MINI_CHECK(out.save == row.save, row.name << ": " << out.save.size() << " bytes");
    if (row.claimed != 0) {
        MINI_CHECK(out.claimedSize == row.claimed, row.name << ": claims " << out.claimedSize);
    }
}

}  // namespace

MINI_TEST(rzipFiles) {
    for (const Row& row : rzipRows()) {
        check(row, unpackRzip(row.file));
    }
}

MINI_TEST(retron5Files) {
    for (const Row& row : retron5Rows()) {
        const Unpacked out = unpackRetron5(row.file);
        check(row, out);
        // A damaged file says what is wrong with it.
        MINI_CHECK(out.refusal != Refusal::DamagedRetron5 || !out.detail.empty(), row.name);
    }
}

// Written by us, read by the published layout: the header's fields where it says, and the save
// back from its zlib data.
MINI_TEST(retron5AsWritten) {
    for (const std::size_t size : {kKiB, 8 * kKiB, 32 * kKiB}) {
        const Bytes save = pattern(size, 6);
        const Bytes file = packRetron5(save);
        const Bytes expectedHeader = retron5Header(1, 1, size, file.size() - 24, 24, crc32Of(save));
        MINI_CHECK(left(file, 24) == expectedHeader, size << "-byte save: header");
        Bytes inflated(size);
        uLongf given = size;
        const Bytes data(file.begin() + 24, file.end());
        MINI_CHECK(uncompress(inflated.data(), &given, data.data(), uLong(data.size())) == Z_OK &&
                       given == size && inflated == save,
                   size << "-byte save: data");
    }
}

int main() {
    return plimbrook::testing::mini::runAll();
}
