#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plimbrook {

class InputFile;
class ReplacementFile;

// The Super Wild Card "Battery Backup Data" file: a 512-byte header whose bytes 16..92 hold a
// comment, then the cartridge's SRAM image four times over. There is no magic number, length
// or checksum, so nothing in a file is validated before use.
namespace layout {

inline constexpr std::size_t kSramSize = 8 * 1024;
inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kCommentOffset = 16;
inline constexpr std::size_t kCommentLength = 77;
inline constexpr std::size_t kCopyCount = 4;
inline constexpr std::size_t kBbdSize = kHeaderSize + kCopyCount * kSramSize;

constexpr std::size_t copyOffset(std::size_t copy) {
    return kHeaderSize + copy * kSramSize;
}

// Only the first copy is ever read back.
inline constexpr std::size_t kImageOffset = copyOffset(0);

static_assert(kCommentOffset + kCommentLength <= kHeaderSize);
static_assert(kCommentOffset + kCommentLength - 1 == 92);
static_assert(copyOffset(3) == 25'088);
static_assert(kBbdSize == 33'280);

// Small SRAM chips are mirrored across the cartridge's 8 KiB window; a save of one of these
// sizes is repeated to fill the image rather than padded.
inline constexpr std::array<std::size_t, 3> kMirroredSaveSizes = {1 * 1024, 2 * 1024, 4 * 1024};

}  // namespace layout

using SramImage = std::array<std::uint8_t, layout::kSramSize>;
using HeaderTemplate = std::array<std::uint8_t, layout::kHeaderSize>;
using CommentBytes = std::array<std::uint8_t, layout::kCommentLength>;

// UTF-8 text cut to its first 77 characters or padded on the right with spaces to 77.
// Characters are code points, not bytes.
std::string fitComment(std::string_view utf8);

// The 77 Windows-1252 bytes stored for a comment (fitted first), and the text they read back as.
CommentBytes encodeComment(std::string_view utf8);
std::string decodeComment(const CommentBytes& bytes);

// Blocks read from files; a file shorter than the block fills the rest with zero bytes,
// except an SRAM save of a mirrored size.
HeaderTemplate readHeaderTemplate(InputFile& file);
SramImage readSramSave(InputFile& file);
SramImage readBbdImage(InputFile& file);
std::string readBbdComment(InputFile& file);

void writeBbdBody(ReplacementFile& file, const HeaderTemplate& header, const SramImage& image);
void writeBbdComment(ReplacementFile& file, std::string_view utf8Comment);
void writeSramSave(ReplacementFile& file, const SramImage& image);

}  // namespace plimbrook
