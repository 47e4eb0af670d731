#include "core/rzip.h"

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>

#include "core/bbd_layout.h"
#include "core/little_endian.h"

namespace plimbrook {

namespace {

using Bytes = std::span<const std::uint8_t>;

// Inflates one chunk into `out`; the bytes it gave, or none when the chunk is not one whole
// zlib stream that fits, with nothing after it.
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

Unpacked refused(Refusal why, std::uint64_t claimed = 0) {
    Unpacked result;
    result.refusal = why;
    result.claimedSize = claimed;
    return result;
}

}  // namespace

bool hasRzipMagic(Bytes head) {
    return head.size() >= rzip::kMagic.size() &&
           std::equal(rzip::kMagic.begin(), rzip::kMagic.end(), head.begin());
}

std::optional<RzipHeader> parseRzipHeader(Bytes head) {
    if (head.size() < rzip::kHeaderSize || !hasRzipMagic(head) ||
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

Unpacked unpackRzip(Bytes file) {
    const auto header = parseRzipHeader(file);
    if (!header) {
        return refused(Refusal::DamagedCompressed);
    }
    // Checked before anything is allocated: the header may claim any size at all.
    if (header->totalSize > layout::kMaxSaveSize) {
        return refused(Refusal::TooLarge, header->totalSize);
    }
    if (header->totalSize == 0) {
        return refused(Refusal::EmptyFile);
    }
    if (file.size() > kMaxPackedFileSize) {
        return refused(Refusal::DamagedCompressed, header->totalSize);
    }

    Unpacked result;
    result.claimedSize = header->totalSize;
    result.save.resize(static_cast<std::size_t>(header->totalSize));
    std::size_t done = 0;
    std::size_t at = rzip::kHeaderSize;
    while (done < result.save.size()) {
        if (file.size() - at < rzip::kChunkLengthSize) {
            return refused(Refusal::DamagedCompressed, header->totalSize);
        }
        const auto length = static_cast<std::size_t>(littleEndian<4>(file, at));
        at += rzip::kChunkLengthSize;
        if (length == 0 || file.size() - at < length) {
            return refused(Refusal::DamagedCompressed, header->totalSize);
        }
        const std::size_t room =
            std::min<std::size_t>(header->chunkSize, result.save.size() - done);
        const auto given =
            inflateChunk(file.subspan(at, length), std::span(result.save).subspan(done, room));
        if (!given) {
            return refused(Refusal::DamagedCompressed, header->totalSize);
        }
        done += *given;
        at += length;
    }
    // Anything after the last chunk is a sign of a file that is not what it claims.
    if (at != file.size()) {
        return refused(Refusal::DamagedCompressed, header->totalSize);
    }
    return result;
}

}  // namespace plimbrook
