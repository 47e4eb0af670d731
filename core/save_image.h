#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/bbd_layout.h"

namespace plimbrook {

namespace layout {

// Small SRAM chips are mirrored across the cartridge's 8 KiB window; a save of one of these
// sizes is repeated to fill the image rather than padded.
inline constexpr std::array<std::size_t, 3> kMirroredSaveSizes = {1 * kKiB, 2 * kKiB, 4 * kKiB};

// Every size a save chip comes in; a file of exactly one of these is a raw save.
inline constexpr std::array<std::size_t, 6> kChipSizes = {
    kMirroredSaveSizes[0], kMirroredSaveSizes[1], kMirroredSaveSizes[2], kCopySize,
    kHalfBodySize,         kMaxSaveSize};

}  // namespace layout

bool isChipSize(std::uint64_t size);

// The 8 KiB image of a save: a save of a mirrored size repeated, any other short save filled
// with zero bytes, a longer one cut to its first 8 KiB.
CopyImage copyImageOf(std::span<const std::uint8_t> save);

// How a save fills the 32 KiB body: a save of 8 KiB or less as its 8 KiB image (see copyImageOf)
// four times, 16 KiB twice, 32 KiB once. A size in between keeps the largest of 8 or 16 KiB that
// fits, repeated, and drops the bytes after it: an emulator's clock or other data it appended.
struct SaveImage {
    // Left unset until imageOfSave fills all of it: a batch makes one per save.
    SaveImage() {}  // NOLINT: not "= default", which would zero the body first

    BbdBody body;
    std::size_t saveSize = 0;      // the save as the body holds it: a chip size, or 8 KiB
    std::size_t keptSize = 0;      // the save the body gives back: 8, 16 or 32 KiB
    std::size_t droppedBytes = 0;  // trailing bytes the copier cannot hold
};

// None for a save larger than the copier holds.
std::optional<SaveImage> imageOfSave(std::span<const std::uint8_t> save);

// How the 8 KiB copies of a BBD body compare.
enum class CopyAgreement {
    AllFour,    // an 8 KiB save, written four times
    Halves,     // a 16 KiB save, written twice
    None,       // a 32 KiB save, or an 8 KiB one beside leftovers of other games
    ShortBody,  // the file ends inside the body
};
CopyAgreement compareCopies(std::span<const std::uint8_t> body);

// The save size a body gives back. Where the copies differ only the caller can say whether it is
// 32 KiB or 8 KiB; a body cut short gives back its first copy, as it always has.
std::size_t saveSizeFromBody(CopyAgreement copies, std::size_t whenCopiesDiffer);

// The first `size` bytes of a body; past the end of a short one, zero bytes.
std::vector<std::uint8_t> saveFromBody(std::span<const std::uint8_t> body, std::size_t size);

// The smallest of 1, 2 and 4 KiB that an 8 KiB image repeats at: a small chip's save mirrored.
// None where it does not repeat, or is not 8 KiB.
std::optional<std::size_t> mirrorPeriod(std::span<const std::uint8_t> image);

// zlib's CRC-32, so that a save can be compared with the same save elsewhere.
std::uint32_t crc32Of(std::span<const std::uint8_t> bytes);
// The same, carried on over more bytes of one file.
std::uint32_t crc32Of(std::uint32_t crc, std::span<const std::uint8_t> bytes);

}  // namespace plimbrook
