#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "core/bbd_layout.h"
#include "core/file_reading.h"
#include "core/little_endian.h"
#include "core/retron5.h"
#include "core/rzip.h"
#include "core/save_image.h"

// What the fuzz targets and the seed writer share: the check that turns a broken property into a
// finding, and the files they build from a save.
namespace plimbrook::fuzz {

using Bytes = std::span<const std::uint8_t>;
using File = std::vector<std::uint8_t>;

// A property that does not hold is a finding like a crash: libFuzzer keeps the input that broke it.
inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

inline bool same(Bytes a, Bytes b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// The reading every command makes of a packed file says what the format's own reader said of
// it: the kind its magic gives, the same refusal and the same save. Files without the magic, or
// too large to be read as packed, are read another way.
inline void requireReadingAgrees(Bytes file, bool hasMagic, FileKind kind, const char* kindWhat,
                                 const Unpacked& unpacked) {
    if (!hasMagic || file.size() > kMaxPackedFileSize) {
        return;
    }
    ByteSpan source(file);
    const FileReading reading = readFile(source);
    require(reading.kind == kind, kindWhat);
    require(reading.refusal == unpacked.refusal, "the reading refuses it as the reader does");
    require(same(reading.save, unpacked.save), "the reading gives the reader's save");
}

inline bool allAre(Bytes bytes, std::uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [&](std::uint8_t b) { return b == value; });
}

// Bytes of a save that compress a little, as real ones do: runs, and noise from a small generator.
inline File saveOf(std::size_t size, std::uint32_t seed) {
    File save(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        save[i] = (i / 64) % 3 == 0 ? static_cast<std::uint8_t>(i / 64) : (state >> 24);
    }
    return save;
}

inline File zlibOf(Bytes data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    File out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK) {
        std::abort();  // only for want of memory
    }
    out.resize(size);
    return out;
}

// RetroArch's layout, written here from its description rather than by the reader under test.
inline File rzipOf(Bytes save, std::uint32_t chunkSize, std::uint64_t claimed) {
    File file(rzip::kMagic.begin(), rzip::kMagic.end());
    file.push_back(rzip::kVersion);
    file.push_back(rzip::kMark);
    appendLittleEndian<4>(file, chunkSize);
    appendLittleEndian<8>(file, claimed);
    for (std::size_t at = 0; at < save.size(); at += chunkSize) {
        const File chunk =
            zlibOf(save.subspan(at, std::min<std::size_t>(chunkSize, save.size() - at)));
        appendLittleEndian<4>(file, chunk.size());
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

inline File rzipOf(Bytes save, std::uint32_t chunkSize) {
    return rzipOf(save, chunkSize, save.size());
}

// A Retron 5 save with its data stored as it is, which the console may also write.
inline File retron5Stored(Bytes save) {
    File file(retron5::kMagic.begin(), retron5::kMagic.end());
    appendLittleEndian<2>(file, retron5::kVersion);
    appendLittleEndian<2>(file, 0);
    appendLittleEndian<4>(file, save.size());
    appendLittleEndian<4>(file, save.size());
    appendLittleEndian<4>(file, retron5::kHeaderSize);
    appendLittleEndian<4>(file, crc32Of(save));
    file.insert(file.end(), save.begin(), save.end());
    return file;
}

}  // namespace plimbrook::fuzz
