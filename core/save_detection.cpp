#include "core/save_detection.h"

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

#include "core/files/file_access.h"

namespace plimbrook {

namespace {

using Bytes = std::span<const std::uint8_t>;

bool hasSuperWildCardMark(std::uint64_t /*size*/, Bytes head) {
    const auto& mark = layout::kCopierMark;
    return head.size() >= layout::kCopierMarkOffset + mark.size() &&
           std::equal(mark.begin(), mark.end(), head.begin() + layout::kCopierMarkOffset);
}

// Taken only whole, byte for byte, in a file of exactly a headered save's length: one byte more
// set, or another length, makes it a header not known, which is read the same way and differs
// only in its name and in having a comment to show.
template <CopierFormat format>
bool hasFixedHeader(std::uint64_t size, Bytes head) {
    static const HeaderTemplate header = *fixedHeaderOf(format);
    return size == layout::kHeaderedSaveSize && head.size() >= header.size() &&
           std::equal(header.begin(), header.end(), head.begin());
}

// Copier headers that say which copier wrote them, tried in order.
struct CopierHeaderFormat {
    CopierFormat format;
    bool (*recognises)(std::uint64_t size, Bytes head);
};
constexpr std::array<CopierHeaderFormat, 3> kCopierFormats = {{
    {CopierFormat::SuperWildCard, hasSuperWildCardMark},
    {CopierFormat::ProFighter, hasFixedHeader<CopierFormat::ProFighter>},
    {CopierFormat::SuperUfo, hasFixedHeader<CopierFormat::SuperUfo>},
}};

// Every copier of the kind puts a 512-byte header before a body of whole KiB.
bool hasCopierLength(std::uint64_t size) {
    return size >= layout::kHeaderSize + layout::kKiB &&
           (size - layout::kHeaderSize) % layout::kKiB == 0;
}

bool isCompressed(Bytes head) {
    return head.size() >= rzip::kMagic.size() &&
           std::equal(rzip::kMagic.begin(), rzip::kMagic.end(), head.begin());
}

// Saves the body holds whole, largest first; each is repeated to fill it.
constexpr std::array<std::size_t, 3> kWholeSaveSizes = {layout::kMaxSaveSize, layout::kHalfBodySize,
                                                        layout::kSramSize};
static_assert(layout::kBodySize % kWholeSaveSizes[1] == 0);

template <std::size_t N>
std::uint64_t littleEndian(Bytes bytes, std::size_t offset) {
    std::uint64_t value = 0;
    for (std::size_t i = N; i-- > 0;) {
        value = (value << 8) | bytes[offset + i];
    }
    return value;
}

// Inflates one chunk into `out`; the bytes it gave, or none when the chunk is not one whole
// zlib stream that fits.
std::optional<std::size_t> inflateChunk(Bytes chunk, std::span<std::uint8_t> out) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return std::nullopt;
    }
    stream.next_in = chunk.data();
    stream.avail_in = static_cast<uInt>(chunk.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    const std::size_t given = out.size() - stream.avail_out;
    const bool whole = status == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    if (!whole || given == 0) {
        return std::nullopt;
    }
    return given;
}

Decompressed refused(Refusal why) {
    return {{}, why};
}

}  // namespace

FileClass classifyFile(std::uint64_t size, Bytes head) {
    FileClass found;
    found.size = size;
    if (isCompressed(head)) {
        found.kind = FileKind::RetroArchCompressed;
    } else if (hasCopierLength(size)) {
        found.kind = FileKind::CopierFile;
        for (const auto& format : kCopierFormats) {
            if (format.recognises(size, head)) {
                found.copier = format.format;
                break;
            }
        }
    } else if (size > 0 && size <= layout::kMaxSaveSize) {
        found.kind = FileKind::RawSram;
    }
    return found;
}

bool looksLikeRawSave(std::uint64_t size, Bytes head) {
    return std::find(layout::kChipSizes.begin(), layout::kChipSizes.end(), size) !=
               layout::kChipSizes.end() &&
           !hasSuperWildCardMark(size, head);
}

std::optional<RzipHeader> parseRzipHeader(Bytes head) {
    if (head.size() < rzip::kHeaderSize || !isCompressed(head) ||
        head[rzip::kVersionOffset] != rzip::kVersion || head[rzip::kMarkOffset] != rzip::kMark) {
        return std::nullopt;
    }
    RzipHeader header;
    header.chunkSize = static_cast<std::uint32_t>(littleEndian<4>(head, rzip::kChunkSizeOffset));
    header.totalSize = littleEndian<8>(head, rzip::kTotalSizeOffset);
    if (header.chunkSize == 0) {
        return std::nullopt;
    }
    return header;
}

Decompressed decompressRzip(Bytes file) {
    const auto header = parseRzipHeader(file);
    if (!header) {
        return refused(Refusal::DamagedCompressed);
    }
    // Checked before anything is allocated: the header may claim any size at all.
    if (header->totalSize > layout::kMaxSaveSize) {
        return refused(Refusal::TooLarge);
    }
    if (file.size() > rzip::kMaxFileSize) {
        return refused(Refusal::DamagedCompressed);
    }

    Decompressed result;
    result.save.resize(static_cast<std::size_t>(header->totalSize));
    std::size_t done = 0;
    std::size_t at = rzip::kHeaderSize;
    while (done < result.save.size()) {
        if (file.size() - at < rzip::kChunkLengthSize) {
            return refused(Refusal::DamagedCompressed);
        }
        const auto length = static_cast<std::size_t>(littleEndian<4>(file, at));
        at += rzip::kChunkLengthSize;
        if (length == 0 || file.size() - at < length) {
            return refused(Refusal::DamagedCompressed);
        }
        const std::size_t room =
            std::min<std::size_t>(header->chunkSize, result.save.size() - done);
        const auto given =
            inflateChunk(file.subspan(at, length), std::span(result.save).subspan(done, room));
        if (!given) {
            return refused(Refusal::DamagedCompressed);
        }
        done += *given;
        at += length;
    }
    // Anything after the last chunk is a sign of a file that is not what it claims.
    if (at != file.size()) {
        return refused(Refusal::DamagedCompressed);
    }
    return result;
}

std::optional<BodyFromSave> bodyFromSave(Bytes save) {
    if (save.size() > layout::kMaxSaveSize) {
        return std::nullopt;
    }
    // Built in place: the body is 32 KiB, and a batch makes one per save.
    std::optional<BodyFromSave> result(std::in_place);
    SramImage small{};
    Bytes kept;
    if (save.size() <= layout::kSramSize) {
        small = sramImageOf(save);
        kept = small;
    } else {
        const auto fits = std::find_if(kWholeSaveSizes.begin(), kWholeSaveSizes.end(),
                                       [&](std::size_t size) { return size <= save.size(); });
        kept = save.first(*fits);
    }
    for (std::size_t at = 0; at < result->body.size(); at += kept.size()) {
        std::copy(kept.begin(), kept.end(), result->body.begin() + static_cast<long>(at));
    }
    result->keptSize = kept.size();
    result->droppedBytes = save.size() > kept.size() ? save.size() - kept.size() : 0;
    return result;
}

CopyAgreement compareCopies(Bytes body) {
    if (body.size() < layout::kBodySize) {
        return CopyAgreement::ShortBody;
    }
    const Bytes first = body.first(layout::kSramSize);
    bool allFour = true;
    for (std::size_t copy = 1; copy < layout::kCopyCount && allFour; ++copy) {
        const Bytes other = body.subspan(copy * layout::kSramSize, layout::kSramSize);
        allFour = std::equal(first.begin(), first.end(), other.begin());
    }
    if (allFour) {
        return CopyAgreement::AllFour;
    }
    const Bytes front = body.first(layout::kHalfBodySize);
    const Bytes back = body.subspan(layout::kHalfBodySize, layout::kHalfBodySize);
    return std::equal(front.begin(), front.end(), back.begin()) ? CopyAgreement::Halves
                                                                : CopyAgreement::None;
}

std::size_t saveSizeFromBody(CopyAgreement copies, std::size_t whenCopiesDiffer) {
    switch (copies) {
        case CopyAgreement::Halves:
            return layout::kHalfBodySize;
        case CopyAgreement::None:
            return whenCopiesDiffer;
        case CopyAgreement::AllFour:
        case CopyAgreement::ShortBody:
            break;
    }
    return layout::kSramSize;
}

std::vector<std::uint8_t> saveFromBody(Bytes body, std::size_t size) {
    std::vector<std::uint8_t> save(size, 0);
    std::copy_n(body.begin(), std::min(size, body.size()), save.begin());
    return save;
}

std::uint32_t crc32Of(Bytes bytes) {
    static_assert(layout::kMaxSaveSize <= std::numeric_limits<uInt>::max());
    const uLong start = crc32(0L, Z_NULL, 0);
    return static_cast<std::uint32_t>(crc32(start, bytes.data(), static_cast<uInt>(bytes.size())));
}

SaveInput readSaveInput(InputFile& file) {
    SaveInput input;
    const std::uint64_t size = file.size();
    std::vector<std::uint8_t> head = file.read(0, kProbeSize);
    input.file = classifyFile(size, head);

    if (input.file.kind == FileKind::RetroArchCompressed) {
        // One byte past the limit is enough to tell a file that is too long.
        const auto length = std::min<std::uint64_t>(size, rzip::kMaxFileSize + 1);
        Decompressed inside = decompressRzip(file.read(0, static_cast<std::size_t>(length)));
        input.save = std::move(inside.save);
        input.refusal = inside.refusal;
        return input;
    }
    if (input.file.kind == FileKind::CopierFile && input.file.copier != CopierFormat::Other) {
        input.refusal = Refusal::AlreadyBbd;
        return input;
    }
    if (size > layout::kMaxSaveSize) {
        input.refusal = Refusal::TooLarge;
        return input;
    }
    input.save = std::move(head);
    if (input.save.size() < size) {
        const auto rest =
            file.read(input.save.size(), static_cast<std::size_t>(size) - input.save.size());
        input.save.insert(input.save.end(), rest.begin(), rest.end());
    }
    return input;
}

namespace {

// Nothing in a Game Doctor save tells it from a raw save but the user's word, so the file must
// at least be the body's size.
BbdInput readGameDoctorSave(InputFile& file, BbdPart part) {
    BbdInput input;
    const std::uint64_t size = file.size();
    input.file = classifyFile(size, file.read(0, kProbeSize));
    if (input.file.kind == FileKind::RetroArchCompressed) {
        input.refusal = Refusal::CompressedAsBbd;
    } else if (size != layout::kGameDoctorSaveSize) {
        input.refusal = Refusal::NotGameDoctorSize;
    } else {
        input.file.kind = FileKind::CopierFile;
        input.file.copier = CopierFormat::GameDoctor;
        if (part == BbdPart::HeaderAndBody) {
            input.body = file.read(bodyOffsetOf(CopierFormat::GameDoctor), layout::kBodySize);
        }
    }
    return input;
}

}  // namespace

BbdInput readBbdInput(InputFile& file, BbdPart part, std::optional<CopierFormat> readAs) {
    if (readAs == CopierFormat::GameDoctor) {
        return readGameDoctorSave(file, part);
    }
    BbdInput input;
    const std::uint64_t size = file.size();
    input.header = file.read(0, layout::kHeaderSize);
    input.file = classifyFile(size, input.header);
    if (input.file.kind == FileKind::RetroArchCompressed) {
        input.refusal = Refusal::CompressedAsBbd;
    } else if (looksLikeRawSave(size, input.header)) {
        input.refusal = Refusal::RawSaveAsBbd;
    } else if (part == BbdPart::HeaderAndBody) {
        input.body = file.read(layout::kBodyOffset, layout::kBodySize);
    }
    return input;
}

}  // namespace plimbrook
