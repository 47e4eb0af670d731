#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/bbd_layout.h"
#include "core/copier_formats.h"

namespace plimbrook {

class InputFile;

// What a file holds, told from its length and its first bytes alone.
enum class FileKind {
    RawSram,              // 1 byte to 32 KiB and nothing else to tell: a save as emulators keep it
    CopierFile,           // a 512-byte copier header, then a body of whole KiB; or, when the
                          // user says so, a Game Doctor save
    RetroArchCompressed,  // a save the emulator compressed, in chunks of zlib data
    Unknown,              // empty, or larger than any save and no copier file
};

// The copier headers are told apart by the table of formats in save_detection.cpp; any other
// file of a copier file's length is Other. A Game Doctor save, a body without a header, cannot be
// told from a raw 32 KiB save: it is one only when the user says so.
struct FileClass {
    FileKind kind = FileKind::Unknown;
    CopierFormat copier = CopierFormat::Other;  // for a CopierFile
    std::uint64_t size = 0;
};

// The leading bytes that tell a file's kind: a copier header is the longest thing looked at.
inline constexpr std::size_t kProbeSize = layout::kHeaderSize;

FileClass classifyFile(std::uint64_t size, std::span<const std::uint8_t> head);

// Exactly the size of a save chip and without the copier's mark: a raw save, whatever its name.
bool looksLikeRawSave(std::uint64_t size, std::span<const std::uint8_t> head);

// Why a conversion will not take a file. The window and the command line word each their own way.
enum class Refusal {
    AlreadyBbd,         // given as a save, but a copier file with a header of a known format
    TooLarge,           // a save of more than the copier holds, compressed or not
    DamagedCompressed,  // a compressed save that is corrupt or cut short
    RawSaveAsBbd,       // given as a BBD file, but a raw save
    CompressedAsBbd,    // given as a BBD file, but a compressed save
    NotGameDoctorSize,  // given as a Game Doctor save, but not of its 32 KiB
};

// RetroArch's compressed saves: "#RZIPv", a version byte, "#", the chunk size (32-bit) and the
// uncompressed size (64-bit), both little-endian; then chunks, each a 32-bit length and that many
// bytes of zlib data that inflate to at most one chunk size.
namespace rzip {

inline constexpr std::string_view kMagic = "#RZIPv";
inline constexpr std::size_t kVersionOffset = kMagic.size();
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::size_t kMarkOffset = kVersionOffset + 1;
inline constexpr char kMark = '#';
inline constexpr std::size_t kChunkSizeOffset = kMarkOffset + 1;
inline constexpr std::size_t kTotalSizeOffset = kChunkSizeOffset + 4;
inline constexpr std::size_t kHeaderSize = kTotalSizeOffset + 8;
inline constexpr std::size_t kChunkLengthSize = 4;
// Even in chunks of one byte each, the largest save the copier holds compresses to less.
inline constexpr std::size_t kMaxFileSize = 1024 * 1024;

static_assert(kHeaderSize == 20);
static_assert(kHeaderSize <= kProbeSize);

}  // namespace rzip

struct RzipHeader {
    std::uint32_t chunkSize = 0;
    std::uint64_t totalSize = 0;
};

// None when the header is cut short, of another version, or names chunks of no size.
std::optional<RzipHeader> parseRzipHeader(std::span<const std::uint8_t> head);

// The save inside a compressed file, or why there is none. The size the header claims is held
// against the copier's 32 KiB before anything is inflated, and the data may not give more.
struct Decompressed {
    std::vector<std::uint8_t> save;
    std::optional<Refusal> refusal;
};
Decompressed decompressRzip(std::span<const std::uint8_t> file);

// How a save fills the 32 KiB body: a save of 8 KiB or less as its 8 KiB image (see sramImageOf)
// four times, 16 KiB twice, 32 KiB once. A size in between keeps the largest of 8 or 16 KiB that
// fits, repeated, and drops the bytes after it: an emulator's clock or other data it appended.
struct BodyFromSave {
    BbdBody body{};
    std::size_t keptSize = 0;      // the save the body gives back: 8, 16 or 32 KiB
    std::size_t droppedBytes = 0;  // trailing bytes the copier cannot hold
};

// None for a save larger than the copier holds.
std::optional<BodyFromSave> bodyFromSave(std::span<const std::uint8_t> save);

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

// zlib's CRC-32, so that a save can be compared with the same save elsewhere.
std::uint32_t crc32Of(std::span<const std::uint8_t> bytes);

// A file given as a save, read whole and decompressed where it was compressed, or why not.
struct SaveInput {
    FileClass file;
    std::vector<std::uint8_t> save;
    std::optional<Refusal> refusal;
};
SaveInput readSaveInput(InputFile& file);

// A file given as a BBD file: its header and, if asked for, its body (each shorter where the
// file ends), or why not. Read as a Game Doctor save, the whole file is the body and there is
// no header; any other format read as is detected, since each puts its body after 512 bytes.
enum class BbdPart { HeaderOnly, HeaderAndBody };
struct BbdInput {
    FileClass file;
    std::vector<std::uint8_t> header;
    std::vector<std::uint8_t> body;
    std::optional<Refusal> refusal;
};
BbdInput readBbdInput(InputFile& file, BbdPart part,
                      std::optional<CopierFormat> readAs = std::nullopt);

}  // namespace plimbrook
