#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/refusal.h"

namespace plimbrook {

// The save inside a compressed or wrapped file, or why there is none. The size the file claims
// is held against the copier's 32 KiB before anything is allocated.
struct Unpacked {
    std::vector<std::uint8_t> save;
    std::optional<Refusal> refusal;
    std::string detail;             // what exactly is wrong, where a refusal has more to say
    std::uint64_t claimedSize = 0;  // the save's size as the file gives it
};

// A file that claims more than this is not a save of any kind: even in chunks of one byte
// each, the largest save the copier holds packs into less.
inline constexpr std::uint64_t kMaxPackedFileSize = 1024 * 1024;

}  // namespace plimbrook
