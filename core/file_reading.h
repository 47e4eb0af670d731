#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/copier_formats.h"
#include "core/refusal.h"

namespace plimbrook {

// Where a file's bytes come from: an open file in the programs, bytes in memory in the page.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Up to `count` bytes from `offset`; fewer only where the source ends.
    virtual std::vector<std::uint8_t> read(std::uint64_t offset, std::size_t count) = 0;
};

// Bytes in memory. `fileSize` may be larger than the bytes held, for a file too large to be read
// whole; such a file is refused from its size and its first bytes alone.
class ByteSpan final : public ByteSource {
public:
    explicit ByteSpan(std::span<const std::uint8_t> bytes) : ByteSpan(bytes, bytes.size()) {}
    ByteSpan(std::span<const std::uint8_t> bytes, std::uint64_t fileSize)
        : bytes_(bytes), size_(fileSize) {}
    // It holds no bytes of its own: a temporary would be gone before they are read.
    explicit ByteSpan(std::vector<std::uint8_t>&&) = delete;
    ByteSpan(std::vector<std::uint8_t>&&, std::uint64_t) = delete;
    std::uint64_t size() const override { return size_; }
    std::vector<std::uint8_t> read(std::uint64_t offset, std::size_t count) override;

private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t size_;
};

// What a file holds, as every command, the window and the page read it. Each kind is on one
// side: saves as emulators and consoles keep them go to a copier file, copier files back to a
// save.
enum class FileKind {
    Empty,
    RawSave,        // 1 byte to 32 KiB: a save as emulators keep it
    PaddedSave,     // a save, then one fill byte (0x00 or 0xFF) past 32 KiB
    RetroArchSave,  // RetroArch's compressed save
    Retron5Save,    // the Retron 5 console's save
    CopierFile,     // a copier's save file; `copier` says whose
    Unknown,        // larger than any save, and none of the above
};

bool isSaveSide(FileKind kind);

// A save padded past 32 KiB: how much padding, and of which byte.
struct Padding {
    std::uint64_t bytes = 0;  // past the first 32 KiB
    std::uint8_t fill = 0;
    // The smallest of 8, 16 and 32 KiB past which every byte is the fill byte.
    std::size_t fillsFrom = 0;
};

struct FileReading {
    FileKind kind = FileKind::Unknown;
    CopierFormat copier = CopierFormat::Other;
    std::uint64_t fileSize = 0;
    // Why no conversion takes the file, where none does.
    std::optional<Refusal> refusal;
    std::string refusalDetail;

    // A save: its bytes, unpacked and without padding.
    std::vector<std::uint8_t> save;
    std::uint64_t unpackedSize = 0;  // a packed save's size as the file gives it
    Padding padding;

    // A copier file.
    std::vector<std::uint8_t> header;  // the 512-byte header, where the format has one
    std::vector<std::uint8_t> body;    // 32 KiB; shorter where the file ends early
    std::uint64_t extraBytes = 0;      // past the body, and not read
    std::size_t ownSaveSize = 0;       // the save's size, where the file itself says it
};

struct ReadOptions {
    // A Game Doctor save is a raw 32 KiB save byte for byte: only the user can say it is one.
    bool asGameDoctor = false;
};

// The largest file looked at past its first bytes; a larger one is no save of any kind.
inline constexpr std::uint64_t kMaxReadSize = 64 * 1024 * 1024;

FileReading readFile(ByteSource& source, const ReadOptions& options = {});

// The CRC-32 of every byte of the file; none for a file larger than kMaxReadSize.
std::optional<std::uint32_t> fileCrcOf(ByteSource& source);

}  // namespace plimbrook
