#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/packed_save.h"

namespace plimbrook {

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

static_assert(kHeaderSize == 20);

}  // namespace rzip

bool hasRzipMagic(std::span<const std::uint8_t> head);

struct RzipHeader {
    std::uint32_t chunkSize = 0;
    std::uint64_t totalSize = 0;
};

// None when the header is cut short, of another version, or names chunks of no size.
std::optional<RzipHeader> parseRzipHeader(std::span<const std::uint8_t> head);

// The whole file in; the data may not give more than the header claims, nor less.
Unpacked unpackRzip(std::span<const std::uint8_t> file);

}  // namespace plimbrook
