#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plimbrook {

// The Super Wild Card "Battery Backup Data" file: a 512-byte header whose bytes 16..92 hold a
// comment, then the copier's 32 KiB battery memory, the body. A save of 8 KiB or less fills it
// four times over, a 16 KiB save twice, a 32 KiB save once. There is no length or checksum;
// the copier marks its own headers with two bytes that other writers may leave out.
namespace layout {

inline constexpr std::size_t kKiB = 1024;
inline constexpr std::size_t kCopySize = 8 * kKiB;  // one of the body's four copies
inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kCommentOffset = 16;
inline constexpr std::size_t kCommentLength = 77;
inline constexpr std::size_t kCopyCount = 4;
inline constexpr std::size_t kBodySize = kCopyCount * kCopySize;
inline constexpr std::size_t kHalfBodySize = kBodySize / 2;
inline constexpr std::size_t kBbdSize = kHeaderSize + kBodySize;

// The most the copier holds; a larger save cannot be stored at all.
inline constexpr std::size_t kMaxSaveSize = 32 * kKiB;

inline constexpr std::size_t kCopierMarkOffset = 8;
inline constexpr std::array<std::uint8_t, 2> kCopierMark = {0xAA, 0xBB};
// The byte after the mark says what the file holds; the copier takes battery saves as type 5.
inline constexpr std::size_t kFileTypeOffset = kCopierMarkOffset + kCopierMark.size();
inline constexpr std::uint8_t kSramFileType = 0x05;

constexpr std::size_t copyOffset(std::size_t copy) {
    return kHeaderSize + copy * kCopySize;
}

inline constexpr std::size_t kBodyOffset = copyOffset(0);

static_assert(kCommentOffset + kCommentLength <= kHeaderSize);
static_assert(kCommentOffset + kCommentLength - 1 == 92);
static_assert(copyOffset(3) == 25'088);
static_assert(kBbdSize == 33'280);
static_assert(kMaxSaveSize == kBodySize);
static_assert(kHalfBodySize == 16 * kKiB);
static_assert(kFileTypeOffset < kCommentOffset);

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

}  // namespace layout

using CopyImage = std::array<std::uint8_t, layout::kCopySize>;
using BbdBody = std::array<std::uint8_t, layout::kBodySize>;
using HeaderTemplate = std::array<std::uint8_t, layout::kHeaderSize>;
using CommentBytes = std::array<std::uint8_t, layout::kCommentLength>;

// The 77 Windows-1252 bytes stored for a comment, and the text they read back as. The text is
// cut to its first 77 characters (code points, not bytes) or padded on the right with spaces.
CommentBytes encodeComment(std::string_view utf8);
std::string decodeComment(const CommentBytes& bytes);

// The comment held in a header's first bytes; bytes past the end read as zero bytes.
std::string commentOfHeader(std::span<const std::uint8_t> header);

// The header with the comment in its place.
HeaderTemplate withComment(HeaderTemplate header, std::string_view utf8Comment);

// A whole BBD file: the header, then the body.
std::vector<std::uint8_t> bbdFileBytes(const HeaderTemplate& header, const BbdBody& body);

}  // namespace plimbrook
