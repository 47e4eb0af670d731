#pragma once

#include <zlib.h>

#include <QByteArray>

#include <cstdint>

namespace plimbrook::testing {

// RetroArch's compressed saves, built here from the published layout: "#RZIPv", the version
// byte, "#", the chunk size (32-bit) and the whole size (64-bit), little-endian; then each chunk
// as its 32-bit length and that many bytes of zlib data.
inline QByteArray littleEndian(std::uint64_t value, int bytes) {
    QByteArray out;
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return out;
}

inline QByteArray rzipHeader(std::uint32_t chunkSize, std::uint64_t totalSize, char version = 1) {
    return QByteArray("#RZIPv") + version + '#' + littleEndian(chunkSize, 4) +
           littleEndian(totalSize, 8);
}

inline QByteArray zlibOf(const QByteArray& bytes) {
    uLongf size = compressBound(uLong(bytes.size()));
    QByteArray out(int(size), '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(bytes.constData()), uLong(bytes.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return {};
    }
    out.resize(int(size));
    return out;
}

// A zlib stream of `data` (at most 65,535 bytes) padded with `emptyBlocks` empty stored blocks,
// each five bytes, before one final stored block: valid, however long.
inline QByteArray paddedZlibOf(const QByteArray& data, int emptyBlocks) {
    QByteArray out("\x78\x01", 2);
    out += QByteArray("\x00\x00\x00\xFF\xFF", 5).repeated(emptyBlocks);
    const auto length = std::uint16_t(data.size());
    out += '\x01' + littleEndian(length, 2) + littleEndian(std::uint16_t(~length), 2) + data;
    const uLong sum = adler32(adler32(0L, Z_NULL, 0),
                              reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()));
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((sum >> shift) & 0xff);
    }
    return out;
}

inline QByteArray rzipChunk(const QByteArray& data) {
    return littleEndian(std::uint64_t(data.size()), 4) + data;
}

inline QByteArray rzipOf(const QByteArray& save, int chunkSize = 128 * 1024) {
    QByteArray file = rzipHeader(std::uint32_t(chunkSize), std::uint64_t(save.size()));
    for (int at = 0; at < save.size(); at += chunkSize) {
        file += rzipChunk(zlibOf(save.mid(at, chunkSize)));
    }
    return file;
}

inline std::uint32_t crc32Of(const QByteArray& bytes) {
    return std::uint32_t(crc32(crc32(0L, Z_NULL, 0),
                               reinterpret_cast<const Bytef*>(bytes.constData()),
                               uInt(bytes.size())));
}

}  // namespace plimbrook::testing
