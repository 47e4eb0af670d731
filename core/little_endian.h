#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace plimbrook {

// The containers of other programs store their numbers least significant byte first.
template <std::size_t N>
std::uint64_t littleEndian(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint64_t value = 0;
    for (std::size_t i = N; i-- > 0;) {
        value = (value << 8) | bytes[offset + i];
    }
    return value;
}

template <std::size_t N>
void appendLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value) {
    for (std::size_t i = 0; i < N; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

}  // namespace plimbrook
