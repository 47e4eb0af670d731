#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace plimbrook {

class InputFile;
class ReplacementFile;

// The Super Wild Card "Battery Backup Data" file: a 512-byte header whose bytes 16..92 hold a
// comment, then the copier's 32 KiB battery memory, the body. A save of 8 KiB or less fills it
// four times over, a 16 KiB save twice, a 32 KiB save once. There is no length or checksum;
// the copier marks its own headers with two bytes that other writers may leave out.
namespace layout {

inline constexpr std::size_t kKiB = 1024;
inline constexpr std::size_t kSramSize = 8 * kKiB;  // one copy of the body
inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kCommentOffset = 16;
inline constexpr std::size_t kCommentLength = 77;
inline constexpr std::size_t kCopyCount = 4;
inline constexpr std::size_t kBodySize = kCopyCount * kSramSize;
inline constexpr std::size_t kHalfBodySize = kBodySize / 2;
inline constexpr std::size_t kBbdSize = kHeaderSize + kBodySize;

// The most the copier holds; a larger save cannot be stored at all.
inline constexpr std::size_t kMaxSaveSize = 32 * kKiB;

inline constexpr std::size_t kCopierMarkOffset = 8;
inline constexpr std::array<std::uint8_t, 2> kCopierMark = {0xAA, 0xBB};

constexpr std::size_t copyOffset(std::size_t copy) {
    return kHeaderSize + copy * kSramSize;
}

inline constexpr std::size_t kBodyOffset = copyOffset(0);
// A file cut short of its body gives back its first copy only.
inline constexpr std::size_t kImageOffset = kBodyOffset;

static_assert(kCommentOffset + kCommentLength <= kHeaderSize);
static_assert(kCommentOffset + kCommentLength - 1 == 92);
static_assert(copyOffset(3) == 25'088);
static_assert(kBbdSize == 33'280);
static_assert(kMaxSaveSize == kBodySize);
static_assert(kHalfBodySize == 16 * kKiB);
static_assert(kCopierMarkOffset + kCopierMark.size() <= kCommentOffset);

// Other copiers keep the same 32 KiB body, behind a 512-byte header of their own or none at all.
// The Pro Fighter's save header is a 4 in its first byte, the Super UFO's its name at bytes
// 8..15; every other byte of either is zero, so neither holds a comment. The Game Doctor keeps
// the body alone.
inline constexpr std::size_t kProFighterMarkOffset = 0;
inline constexpr std::uint8_t kProFighterMark = 4;
inline constexpr std::size_t kSuperUfoMarkOffset = 8;
inline constexpr std::array<std::uint8_t, 8> kSuperUfoMark = {'S', 'U', 'P', 'E',
                                                              'R', 'U', 'F', 'O'};
inline constexpr std::size_t kHeaderedSaveSize = kHeaderSize + kBodySize;
inline constexpr std::size_t kGameDoctorSaveSize = kBodySize;

static_assert(kSuperUfoMarkOffset + kSuperUfoMark.size() <= kHeaderSize);
static_assert(kHeaderedSaveSize == kBbdSize);
static_assert(kGameDoctorSaveSize == 32 * kKiB);

// Small SRAM chips are mirrored across the cartridge's 8 KiB window; a save of one of these
// sizes is repeated to fill the image rather than padded.
inline constexpr std::array<std::size_t, 3> kMirroredSaveSizes = {1 * kKiB, 2 * kKiB, 4 * kKiB};

// Every size a save chip comes in; a file of exactly one of these is a raw save.
inline constexpr std::array<std::size_t, 6> kChipSizes = {
    kMirroredSaveSizes[0], kMirroredSaveSizes[1], kMirroredSaveSizes[2], kSramSize,
    kHalfBodySize,         kMaxSaveSize};

}  // namespace layout

using SramImage = std::array<std::uint8_t, layout::kSramSize>;
using BbdBody = std::array<std::uint8_t, layout::kBodySize>;
using HeaderTemplate = std::array<std::uint8_t, layout::kHeaderSize>;
using CommentBytes = std::array<std::uint8_t, layout::kCommentLength>;

// The 77 Windows-1252 bytes stored for a comment, and the text they read back as. The text is
// cut to its first 77 characters (code points, not bytes) or padded on the right with spaces.
CommentBytes encodeComment(std::string_view utf8);
std::string decodeComment(const CommentBytes& bytes);

// The 8 KiB image of a save: a save of a mirrored size repeated, any other short save filled
// with zero bytes, a longer one cut to its first 8 KiB.
SramImage sramImageOf(std::span<const std::uint8_t> save);

// The comment held in a header's first bytes; bytes past the end read as zero bytes.
std::string commentOfHeader(std::span<const std::uint8_t> header);

// Blocks read from files; a file shorter than the block fills the rest with zero bytes,
// except an SRAM save of a mirrored size.
HeaderTemplate readHeaderTemplate(InputFile& file);
SramImage readSramSave(InputFile& file);
SramImage readBbdImage(InputFile& file);
std::string readBbdComment(InputFile& file);

void writeBbdBody(ReplacementFile& file, const HeaderTemplate& header, const BbdBody& body);
void writeBbdBody(ReplacementFile& file, const HeaderTemplate& header, const SramImage& image);
// The header with the comment in its place, for a writer that knows the comment beforehand.
HeaderTemplate withComment(HeaderTemplate header, std::string_view utf8Comment);
void writeBbdComment(ReplacementFile& file, std::string_view utf8Comment);
void writeSramSave(ReplacementFile& file, std::span<const std::uint8_t> save);

}  // namespace plimbrook
