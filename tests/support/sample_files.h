#pragma once

// Files of every kind a user may hand the program, built here from the published layouts with
// standard C++ and zlib alone, never by the code under test: the same samples serve the tests
// that run natively, under wine and in the browser's engine.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace plimbrook::testing::samples {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kKiB = 1024;
inline constexpr std::size_t kHeader = 512;
inline constexpr std::size_t kBody = 32 * kKiB;
inline constexpr std::size_t kBbd = kHeader + kBody;

// A cheap byte pattern that differs at every offset of a block and between seeds.
inline Bytes pattern(std::size_t size, int seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 251 + std::size_t(seed) * 31) & 0xff);
    }
    return bytes;
}

inline Bytes filled(std::size_t size, std::uint8_t byte) {
    return Bytes(size, byte);
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes left(const Bytes& bytes, std::size_t size) {
    return Bytes(bytes.begin(), bytes.begin() + std::min(size, bytes.size()));
}

inline Bytes repeated(const Bytes& bytes, std::size_t times) {
    Bytes out;
    for (std::size_t i = 0; i < times; ++i) {
        out = out + bytes;
    }
    return out;
}

inline Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Sized first: GCC 12 at -O3 misreads a push_back loop joined to another vector as an overread.
inline Bytes littleEndian(std::uint64_t value, int bytes) {
    Bytes out(static_cast<std::size_t>(bytes));
    for (int i = 0; i < bytes; ++i) {
        out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return out;
}

inline std::uint32_t crc32Of(const Bytes& bytes) {
    return std::uint32_t(crc32(crc32(0L, Z_NULL, 0), bytes.data(), uInt(bytes.size())));
}

inline Bytes zlibOf(const Bytes& bytes) {
    uLongf size = compressBound(uLong(bytes.size()));
    Bytes out(size);
    compress2(out.data(), &size, bytes.data(), uLong(bytes.size()), Z_BEST_COMPRESSION);
    out.resize(size);
    return out;
}

// The copiers' headers: the Super Wild Card's marked with AA BB and type 5 at 8..10, the Pro
// Fighter's a 4 and then zero bytes, the Super UFO's its name at 8..15.
inline Bytes swcHeader(int seed = 1) {
    Bytes header = pattern(kHeader, seed);
    header[8] = 0xAA;
    header[9] = 0xBB;
    header[10] = 0x05;
    return header;
}
inline Bytes figHeader() {
    Bytes header(kHeader, 0);
    header[0] = 4;
    return header;
}
inline Bytes ufoHeader() {
    Bytes header(kHeader, 0);
    const Bytes name = text("SUPERUFO");
    std::copy(name.begin(), name.end(), header.begin() + 8);
    return header;
}

// RetroArch's compressed save: "#RZIPv", version 1, "#", the chunk size (32-bit) and the whole
// size (64-bit), then each chunk as its 32-bit length and zlib data.
inline Bytes rzipOf(const Bytes& save, std::size_t chunk = 128 * kKiB) {
    Bytes file =
        text("#RZIPv") + Bytes{1, '#'} + littleEndian(chunk, 4) + littleEndian(save.size(), 8);
    for (std::size_t at = 0; at < save.size(); at += chunk) {
        const Bytes piece(save.begin() + at, save.begin() + std::min(save.size(), at + chunk));
        const Bytes packed = zlibOf(piece);
        file = file + littleEndian(packed.size(), 4) + packed;
    }
    return file;
}

// The Retron 5's save: "RTN5", version (16-bit), flags (16-bit; 1: compressed), the save's size,
// the data's size and offset (24), the save's CRC-32, then the data.
inline Bytes retron5Of(const Bytes& save, bool compressed = true) {
    const Bytes data = compressed ? zlibOf(save) : save;
    return text("RTN5") + littleEndian(1, 2) + littleEndian(compressed ? 1 : 0, 2) +
           littleEndian(save.size(), 4) + littleEndian(data.size(), 4) + littleEndian(24, 4) +
           littleEndian(crc32Of(save), 4) + data;
}

// The Super UFO Pro 8 SD's 128 KiB file: the save, then its fixed 128-byte pattern repeated.
inline Bytes ufoSdTail() {
    static const char* const kHex =
        "005afc5ef852f456f04aec4ee842e446e07adc7ed872d476d06acc6ec862c466"
        "c01abc1eb812b416b00aac0ea802a406a03a9c3e98329436902a8c2e88228426"
        "80da7cde78d274d670ca6cce68c264c660fa5cfe58f254f650ea4cee48e244e6"
        "409a3c9e38923496308a2c8e2882248620ba1cbe18b214b610aa0cae08a204a6";
    Bytes tail;
    for (const char* at = kHex; *at != 0; at += 2) {
        tail.push_back(static_cast<std::uint8_t>(std::stoi(std::string(at, 2), nullptr, 16)));
    }
    return tail;
}
inline Bytes ufoSdOf(const Bytes& save) {
    Bytes file = save;
    const Bytes tail = ufoSdTail();
    while (file.size() < 128 * kKiB) {
        file = file + tail;
    }
    return file;
}

// A BBD file holding a save of 8, 16 or 32 KiB whole, or a smaller one's 8 KiB image.
inline Bytes bodyOf(const Bytes& save) {
    return repeated(save, kBody / save.size());
}

}  // namespace plimbrook::testing::samples
