#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/conversion.h"
#include "core/copier_formats.h"
#include "tests/fuzz/fuzz_support.h"

// The input of the reading target: six bytes that say how the file is shaped and how it is
// converted, then the file's own bytes. The shapes let a short input stand for a long file (a
// save padded to 128 KiB, a Super UFO Pro 8 SD file, a file that shrank since it was opened, one
// of gigabytes), so the fuzzer need not mutate 128 KiB to reach those readings.
namespace plimbrook::fuzz {

enum class Shape : std::uint8_t {
    AsIs,       // the bytes are the file
    Padded,     // the bytes, then `length` fill bytes
    UfoSdTail,  // the bytes, then the Super UFO Pro 8 SD tail up to 128 KiB, then `length` fill
    Shrunk,     // the file says it is `length` KiB, but only the bytes are there
};

struct Shaping {
    Shape shape = Shape::AsIs;
    std::uint8_t fill = 0x00;
    std::uint32_t length = 0;  // 24 bits
    std::uint8_t conversion = 0;
    std::uint8_t answers = 0;
};

inline constexpr std::size_t kShapingSize = 6;
inline constexpr std::uint32_t kMostPadding = 256 * 1024;

inline Shaping shapingOf(Bytes input) {
    std::uint8_t head[kShapingSize] = {};
    std::copy_n(input.begin(), std::min(input.size(), kShapingSize), head);
    Shaping s;
    s.shape = static_cast<Shape>(head[0] & 3);
    s.fill = (head[0] & 4) ? 0xFF : 0x00;
    s.length = static_cast<std::uint32_t>(littleEndian<3>(Bytes(head, kShapingSize), 1));
    s.conversion = head[4];
    s.answers = head[5];
    return s;
}

inline File shapingBytes(const Shaping& s) {
    File out = {static_cast<std::uint8_t>(static_cast<unsigned>(s.shape) | (s.fill ? 4 : 0))};
    appendLittleEndian<3>(out, s.length);
    out.push_back(s.conversion);
    out.push_back(s.answers);
    return out;
}

// The file the bytes after the shaping stand for; the size it says it has is `claimed`.
inline File shapedFile(const Shaping& s, Bytes bytes, std::uint64_t& claimed) {
    File file(bytes.begin(), bytes.end());
    if (s.shape == Shape::Padded) {
        file.resize(file.size() + s.length % (kMostPadding + 1), s.fill);
        // Padding but for its last byte: past the first read of a long file.
        if ((s.answers & 2) && !file.empty()) {
            file.back() ^= 1;
        }
    } else if (s.shape == Shape::UfoSdTail) {
        file.resize(std::min(file.size(), ufo_sd::kFileSize));
        while (file.size() < ufo_sd::kFileSize) {
            const auto piece = std::min(ufo_sd::kTail.size(), ufo_sd::kFileSize - file.size());
            file.insert(file.end(), ufo_sd::kTail.begin(), ufo_sd::kTail.begin() + piece);
        }
        file.resize(file.size() + s.length % (kMostPadding + 1), s.fill);
    }
    claimed = file.size();
    if (s.shape == Shape::Shrunk) {
        claimed = std::max<std::uint64_t>(claimed, std::uint64_t{s.length} * 1024);
    }
    return file;
}

// The conversion byte: the copier (bits 0-2), the size asked for (bits 3-5: none, or 1 to 32 KiB),
// whether the file is read as a Game Doctor save (bit 6), and whether a save is written as a
// Retron 5 one (bit 7). The answers byte: bit 0 takes 8 KiB where the copies differ; bit 1 changes
// a padded file's last byte.
inline CopierFormat copierOf(const Shaping& s) {
    constexpr CopierFormat kChoices[] = {CopierFormat::SuperWildCard, CopierFormat::ProFighter,
                                         CopierFormat::SuperUfo, CopierFormat::SuperUfoSd,
                                         CopierFormat::GameDoctor};
    return kChoices[(s.conversion & 7) % 5];
}

inline std::optional<std::size_t> sizeAskedOf(const Shaping& s) {
    const unsigned choice = (s.conversion >> 3) & 7;
    if (choice == 0 || choice == 7) {
        return std::nullopt;
    }
    return layout::kChipSizes[choice - 1];
}

inline bool asGameDoctorOf(const Shaping& s) {
    return s.conversion & 0x40;
}

inline SaveFormat saveFormatOf(const Shaping& s) {
    return (s.conversion & 0x80) ? SaveFormat::Retron5 : SaveFormat::Srm;
}

inline std::size_t whenCopiesDifferOf(const Shaping& s) {
    return (s.answers & 1) ? layout::kCopySize : layout::kMaxSaveSize;
}

}  // namespace plimbrook::fuzz
