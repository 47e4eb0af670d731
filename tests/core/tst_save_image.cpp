// The save image and its size rules: how a save fills the copier's 32 KiB, how the copies of a
// body say what size the save was, and when an image is a small chip's save mirrored.
#include <string>

#include "core/save_image.h"
#include "tests/support/mini_test.h"
#include "tests/support/sample_files.h"

using namespace plimbrook;
using namespace plimbrook::testing::samples;

MINI_TEST(saveFillsTheBody) {
    const Bytes k32 = pattern(32 * kKiB, 1);
    const struct {
        const char* name;
        Bytes save;
        Bytes body;  // empty: more than the copier holds
        std::size_t saveSize;
        std::size_t kept;
        std::size_t dropped;
    } rows[] = {
        {"1k_mirrored", left(k32, kKiB), repeated(left(k32, kKiB), 32), kKiB, 8 * kKiB, 0},
        {"2k_mirrored", left(k32, 2 * kKiB), repeated(left(k32, 2 * kKiB), 16), 2 * kKiB, 8 * kKiB,
         0},
        {"3000_zero_filled", left(k32, 3000), repeated(left(k32, 3000) + filled(8192 - 3000, 0), 4),
         8 * kKiB, 8 * kKiB, 0},
        {"8k_four_times", left(k32, 8 * kKiB), repeated(left(k32, 8 * kKiB), 4), 8 * kKiB, 8 * kKiB,
         0},
        {"8217_keeps_8k", left(k32, 8217), repeated(left(k32, 8 * kKiB), 4), 8 * kKiB, 8 * kKiB,
         25},
        {"16k_twice", left(k32, 16 * kKiB), repeated(left(k32, 16 * kKiB), 2), 16 * kKiB, 16 * kKiB,
         0},
        {"20000_keeps_16k", left(k32, 20'000), repeated(left(k32, 16 * kKiB), 2), 16 * kKiB,
         16 * kKiB, 20'000 - 16 * kKiB},
        {"32k_once", k32, k32, 32 * kKiB, 32 * kKiB, 0},
        {"32k_and_1", k32 + Bytes{1}, {}, 0, 0, 0},
    };
    for (const auto& row : rows) {
        const auto image = imageOfSave(row.save);
        if (row.body.empty()) {
            MINI_CHECK(!image, row.name);
            continue;
        }
        MINI_CHECK(image && Bytes(image->body.begin(), image->body.end()) == row.body, row.name);
        MINI_CHECK(image->saveSize == row.saveSize && image->keptSize == row.kept &&
                       image->droppedBytes == row.dropped,
                   row.name << ": " << image->saveSize << ", " << image->keptSize << ", "
                            << image->droppedBytes);
    }
}

MINI_TEST(copiesTellTheSize) {
    const Bytes c0 = pattern(8 * kKiB, 2);
    const Bytes c1 = pattern(8 * kKiB, 3);
    Bytes lastByte = c0;
    lastByte.back() ^= 1;
    const struct {
        const char* name;
        Bytes body;
        CopyAgreement copies;
        std::size_t size;  // given back when the copies differ and the answer is 32 KiB
    } rows[] = {
        {"all_four", repeated(c0, 4), CopyAgreement::AllFour, 8 * kKiB},
        {"halves", repeated(c0 + c1, 2), CopyAgreement::Halves, 16 * kKiB},
        {"three_and_one", c0 + c0 + c0 + c1, CopyAgreement::None, 32 * kKiB},
        {"fourth_differs_in_last_byte", c0 + c0 + c0 + lastByte, CopyAgreement::None, 32 * kKiB},
        {"halves_differ_in_last_byte", c0 + c1 + c0 + lastByte, CopyAgreement::None, 32 * kKiB},
        {"cut_inside", left(repeated(c0, 4), 20'000), CopyAgreement::ShortBody, 8 * kKiB},
        {"nothing", {}, CopyAgreement::ShortBody, 8 * kKiB},
    };
    for (const auto& row : rows) {
        const CopyAgreement copies = compareCopies(row.body);
        MINI_CHECK(copies == row.copies, row.name << ": " << int(copies));
        MINI_CHECK(saveSizeFromBody(copies, 32 * kKiB) == row.size, row.name);
    }
    MINI_CHECK(saveSizeFromBody(CopyAgreement::None, 8 * kKiB) == 8 * kKiB, "the answer 8 KiB");
}

MINI_TEST(saveFromBodyFillsWithZeros) {
    const Bytes body = pattern(kBody, 4);
    MINI_CHECK(saveFromBody(body, 2 * kKiB) == left(body, 2 * kKiB), "2 KiB of a whole body");
    MINI_CHECK(saveFromBody(left(body, 1000), 8 * kKiB) == left(body, 1000) + filled(7192, 0),
               "8 KiB of a body cut at 1000 bytes");
}

MINI_TEST(mirrorPeriodOfImages) {
    const Bytes k1 = pattern(kKiB, 5);
    const Bytes k2 = pattern(2 * kKiB, 6);
    const Bytes k4 = pattern(4 * kKiB, 7);
    Bytes almost = repeated(k1, 8);
    almost.back() ^= 1;
    const struct {
        const char* name;
        Bytes image;
        std::size_t period;  // 0: none
    } rows[] = {
        {"1k", repeated(k1, 8), kKiB},        {"2k", repeated(k2, 4), 2 * kKiB},
        {"4k", repeated(k4, 2), 4 * kKiB},    {"8k", pattern(8 * kKiB, 8), 0},
        {"last_byte_differs", almost, 0},     {"not_8k", repeated(k1, 4), 0},
        {"zeros", filled(8 * kKiB, 0), kKiB},
    };
    for (const auto& row : rows) {
        const auto period = mirrorPeriod(row.image);
        MINI_CHECK(period.value_or(0) == row.period, row.name << ": " << period.value_or(0));
    }
}

MINI_TEST(chipSizes) {
    for (std::uint64_t size : {1024u, 2048u, 4096u, 8192u, 16384u, 32768u}) {
        MINI_CHECK(isChipSize(size), size);
    }
    for (std::uint64_t size : {0u, 1u, 1023u, 3072u, 8704u, 33280u, 65536u}) {
        MINI_CHECK(!isChipSize(size), size);
    }
}

MINI_TEST(crcCarriesOn) {
    const Bytes whole = pattern(100'000, 9);
    const Bytes a = left(whole, 33'333);
    const Bytes b(whole.begin() + 33'333, whole.end());
    using Span = std::span<const std::uint8_t>;
    const std::uint32_t expected = plimbrook::testing::samples::crc32Of(whole);
    MINI_CHECK(plimbrook::crc32Of(Span(whole)) == expected, "whole");
    MINI_CHECK(plimbrook::crc32Of(plimbrook::crc32Of(Span(a)), b) == expected, "in two pieces");
}

int main() {
    return plimbrook::testing::mini::runAll();
}
