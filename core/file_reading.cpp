#include "core/file_reading.h"

#include <algorithm>

#include "core/retron5.h"
#include "core/rzip.h"
#include "core/save_image.h"

namespace plimbrook {

namespace {

using Bytes = std::span<const std::uint8_t>;

// Every file of a kind we read whole is at most this long, so one read takes it in; only padding
// and packed files are read further.
constexpr std::size_t kWholeRead = ufo_sd::kFileSize;
constexpr std::size_t kPaddingChunk = 64 * 1024;

// Every copier of the kind puts a 512-byte header before a body of whole KiB.
bool hasCopierLength(std::uint64_t size) {
    return size >= layout::kHeaderSize + layout::kKiB &&
           (size - layout::kHeaderSize) % layout::kKiB == 0;
}

void refuse(FileReading& reading, FileKind kind, Refusal why) {
    reading.kind = kind;
    reading.refusal = why;
}

void takePacked(FileReading& reading, FileKind kind, Unpacked unpacked) {
    reading.kind = kind;
    reading.save = std::move(unpacked.save);
    reading.refusal = unpacked.refusal;
    reading.refusalDetail = std::move(unpacked.detail);
    reading.unpackedSize = unpacked.claimedSize;
}

void takeCopierFile(FileReading& reading, CopierFormat format, Bytes file) {
    reading.kind = FileKind::CopierFile;
    reading.copier = format;
    reading.header.assign(file.begin(), file.begin() + layout::kHeaderSize);
    const Bytes body = file.subspan(layout::kBodyOffset);
    reading.body.assign(body.begin(), body.begin() + std::min(body.size(), layout::kBodySize));
    reading.extraBytes =
        reading.fileSize - std::min<std::uint64_t>(reading.fileSize, layout::kBbdSize);
}

void takeUfoSd(FileReading& reading, Bytes file, std::size_t saveSize) {
    reading.kind = FileKind::CopierFile;
    reading.copier = CopierFormat::SuperUfoSd;
    reading.ownSaveSize = saveSize;
    const BbdBody body = imageOfSave(file.first(saveSize))->body;
    reading.body.assign(body.begin(), body.end());
}

// Whether every byte past the first 32 KiB is one fill byte, 0x00 or 0xFF; the rest of a file
// longer than `head` is read a piece at a time.
std::optional<std::uint8_t> paddingFill(ByteSource& source, Bytes head, std::uint64_t size) {
    const std::uint8_t fill = head[layout::kMaxSaveSize];
    if (fill != 0x00 && fill != 0xFF) {
        return std::nullopt;
    }
    const auto isFill = [&](Bytes bytes) {
        return std::all_of(bytes.begin(), bytes.end(), [&](std::uint8_t b) { return b == fill; });
    };
    if (!isFill(head.subspan(layout::kMaxSaveSize))) {
        return std::nullopt;
    }
    for (std::uint64_t at = head.size(); at < size; at += kPaddingChunk) {
        const auto piece = source.read(at, kPaddingChunk);
        if (piece.empty() || !isFill(piece)) {
            return std::nullopt;
        }
    }
    return fill;
}

void takePadded(FileReading& reading, Bytes head, std::uint8_t fill) {
    reading.kind = FileKind::PaddedSave;
    reading.save.assign(head.begin(), head.begin() + layout::kMaxSaveSize);
    reading.padding.bytes = reading.fileSize - layout::kMaxSaveSize;
    reading.padding.fill = fill;
    reading.padding.fillsFrom = layout::kMaxSaveSize;
    for (const std::size_t from : {layout::kHalfBodySize, layout::kCopySize}) {
        const Bytes past = Bytes(reading.save).subspan(from);
        if (std::all_of(past.begin(), past.end(), [&](std::uint8_t b) { return b == fill; })) {
            reading.padding.fillsFrom = from;
        }
    }
}

// A file too long to be a save of any size: a copier file with more after its body, a Pro 8 SD
// file, padding after a save, or nothing that can be read.
void readLongFile(FileReading& reading, ByteSource& source, Bytes head) {
    if (reading.fileSize == layout::kHeaderedSaveSize) {
        takeCopierFile(reading, CopierFormat::Other, head);
    } else if (const auto fill = paddingFill(source, head, reading.fileSize)) {
        takePadded(reading, head, *fill);
    } else {
        refuse(reading, FileKind::Unknown, Refusal::TooLarge);
    }
}

// A raw save keeps the bytes read as they are; anything else reads from them.
void classify(FileReading& reading, ByteSource& source, std::vector<std::uint8_t>& bytes) {
    const Bytes head = bytes;
    const std::uint64_t size = reading.fileSize;
    const auto known = knownHeaderOf(head);
    if (size == 0) {
        refuse(reading, FileKind::Empty, Refusal::EmptyFile);
    } else if (size > kMaxReadSize) {
        refuse(reading, FileKind::Unknown, Refusal::TooLarge);
    } else if (isChipSize(size)) {
        reading.kind = FileKind::RawSave;
        reading.save = std::move(bytes);
    } else if (const auto saveSize =
                   size == ufo_sd::kFileSize ? ufoSdSaveSize(head) : std::nullopt) {
        // Before the headers: the save at its start may hold any bytes at all. The head read is
        // no longer than such a file, so its length is checked against the file's own.
        takeUfoSd(reading, head, *saveSize);
    } else if (known && (size >= layout::kHeaderedSaveSize ||
                         (*known == CopierFormat::SuperWildCard && hasCopierLength(size)))) {
        takeCopierFile(reading, *known, head);
    } else if (size <= layout::kMaxSaveSize) {
        reading.kind = FileKind::RawSave;
        reading.save = std::move(bytes);
    } else {
        readLongFile(reading, source, head);
    }
}

// Packed files are read whole, up to one byte past the most any of them may be.
std::vector<std::uint8_t> packedFile(ByteSource& source, std::vector<std::uint8_t> head) {
    const std::uint64_t wanted = std::min(source.size(), kMaxPackedFileSize + 1);
    if (head.size() < wanted) {
        const auto rest = source.read(head.size(), static_cast<std::size_t>(wanted - head.size()));
        head.insert(head.end(), rest.begin(), rest.end());
    }
    return head;
}

void readAsGameDoctor(FileReading& reading) {
    if (reading.kind == FileKind::RawSave && reading.fileSize == layout::kGameDoctorSaveSize) {
        reading.kind = FileKind::CopierFile;
        reading.copier = CopierFormat::GameDoctor;
        reading.body = std::move(reading.save);
        reading.save.clear();
    } else if (isSaveSide(reading.kind) && reading.kind != FileKind::RawSave &&
               reading.kind != FileKind::PaddedSave) {
        reading.refusal = Refusal::SaveAsCopierFile;
    } else {
        reading.refusal = Refusal::NotGameDoctorSize;
    }
}

}  // namespace

std::vector<std::uint8_t> ByteSpan::read(std::uint64_t offset, std::size_t count) {
    if (offset >= bytes_.size()) {
        return {};
    }
    const Bytes piece = bytes_.subspan(static_cast<std::size_t>(offset));
    return {piece.begin(), piece.begin() + std::min(count, piece.size())};
}

bool isSaveSide(FileKind kind) {
    return kind == FileKind::RawSave || kind == FileKind::PaddedSave ||
           kind == FileKind::RetroArchSave || kind == FileKind::Retron5Save;
}

FileReading readFile(ByteSource& source, const ReadOptions& options) {
    FileReading reading;
    const std::uint64_t size = source.size();
    // A file too large to be anything we read is told from its first bytes alone.
    const std::size_t most = size > kMaxReadSize ? layout::kHeaderSize : kWholeRead;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, most));
    std::vector<std::uint8_t> head = source.read(0, wanted);
    // A file cut short since it was opened is read as what is there.
    reading.fileSize = head.size() < wanted ? head.size() : size;

    if (hasRzipMagic(head)) {
        takePacked(reading, FileKind::RetroArchSave, unpackRzip(packedFile(source, head)));
    } else if (hasRetron5Magic(head)) {
        takePacked(reading, FileKind::Retron5Save, unpackRetron5(packedFile(source, head)));
    } else {
        classify(reading, source, head);
    }
    if (options.asGameDoctor) {
        readAsGameDoctor(reading);
    }
    return reading;
}

std::optional<std::uint32_t> fileCrcOf(ByteSource& source) {
    if (source.size() > kMaxReadSize) {
        return std::nullopt;
    }
    std::uint32_t crc = crc32Of({});
    for (std::uint64_t at = 0; at < source.size(); at += kPaddingChunk) {
        const auto piece = source.read(at, kPaddingChunk);
        if (piece.empty()) {
            break;
        }
        crc = crc32Of(crc, piece);
    }
    return crc;
}

}  // namespace plimbrook
