#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/packed_save.h"

namespace plimbrook {

// The Retron 5 console's save file: a 24-byte header of little-endian numbers, "RTN5", a 16-bit
// version (1), 16-bit flags (bit 0: the data is zlib-compressed), the save's size, the data's
// size and offset (24), and the save's CRC-32, all 32-bit; then the data.
namespace retron5 {

inline constexpr std::array<std::uint8_t, 4> kMagic = {'R', 'T', 'N', '5'};
inline constexpr std::size_t kVersionOffset = 4;
inline constexpr std::size_t kFlagsOffset = 6;
inline constexpr std::size_t kSaveSizeOffset = 8;
inline constexpr std::size_t kDataSizeOffset = 12;
inline constexpr std::size_t kDataOffsetOffset = 16;
inline constexpr std::size_t kCrcOffset = 20;
inline constexpr std::size_t kHeaderSize = 24;
inline constexpr std::uint16_t kVersion = 1;
inline constexpr std::uint16_t kCompressed = 1;

static_assert(kCrcOffset + 4 == kHeaderSize);

}  // namespace retron5

bool hasRetron5Magic(std::span<const std::uint8_t> head);

// The whole file in. Every size is checked against the file and the copier's 32 KiB before
// anything is allocated, and the save against its CRC-32.
Unpacked unpackRetron5(std::span<const std::uint8_t> file);

// A save as the console writes it, compressed.
std::vector<std::uint8_t> packRetron5(std::span<const std::uint8_t> save);

}  // namespace plimbrook
