#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/bbd_layout.h"

namespace plimbrook {

struct SaveImage;

// The copiers whose save files hold the same battery memory (see bbd_layout.h). Other: a
// 512-byte header that none of them is known to write, read as theirs are.
enum class CopierFormat { SuperWildCard, ProFighter, SuperUfo, SuperUfoSd, GameDoctor, Other };

// The Super UFO Pro 8 SD keeps a save on its card as a file of 128 KiB: the save, then this
// 128-byte pattern repeated from its first byte to the end of the file.
namespace ufo_sd {

inline constexpr std::size_t kFileSize = 128 * layout::kKiB;
inline constexpr std::array<std::uint8_t, 128> kTail = {
    0x00, 0x5a, 0xfc, 0x5e, 0xf8, 0x52, 0xf4, 0x56, 0xf0, 0x4a, 0xec, 0x4e, 0xe8, 0x42, 0xe4, 0x46,
    0xe0, 0x7a, 0xdc, 0x7e, 0xd8, 0x72, 0xd4, 0x76, 0xd0, 0x6a, 0xcc, 0x6e, 0xc8, 0x62, 0xc4, 0x66,
    0xc0, 0x1a, 0xbc, 0x1e, 0xb8, 0x12, 0xb4, 0x16, 0xb0, 0x0a, 0xac, 0x0e, 0xa8, 0x02, 0xa4, 0x06,
    0xa0, 0x3a, 0x9c, 0x3e, 0x98, 0x32, 0x94, 0x36, 0x90, 0x2a, 0x8c, 0x2e, 0x88, 0x22, 0x84, 0x26,
    0x80, 0xda, 0x7c, 0xde, 0x78, 0xd2, 0x74, 0xd6, 0x70, 0xca, 0x6c, 0xce, 0x68, 0xc2, 0x64, 0xc6,
    0x60, 0xfa, 0x5c, 0xfe, 0x58, 0xf2, 0x54, 0xf6, 0x50, 0xea, 0x4c, 0xee, 0x48, 0xe2, 0x44, 0xe6,
    0x40, 0x9a, 0x3c, 0x9e, 0x38, 0x92, 0x34, 0x96, 0x30, 0x8a, 0x2c, 0x8e, 0x28, 0x82, 0x24, 0x86,
    0x20, 0xba, 0x1c, 0xbe, 0x18, 0xb2, 0x14, 0xb6, 0x10, 0xaa, 0x0c, 0xae, 0x08, 0xa2, 0x04, 0xa6,
};

static_assert(kFileSize % kTail.size() == 0);

}  // namespace ufo_sd

// The header a format always writes the same, byte for byte: the Pro Fighter's and the Super
// UFO's. The Super Wild Card's comes from the template; the others have none.
std::optional<HeaderTemplate> fixedHeaderOf(CopierFormat format);

// Only the Super Wild Card's header holds a comment, and a header not known may hold one.
bool hasCommentField(CopierFormat format);

// Whether a format's file starts with a 512-byte header before the body.
bool hasHeader(CopierFormat format);

// The copier whose header `head` is, told by the Super Wild Card's mark or by the whole fixed
// header of the others; none for any other header.
std::optional<CopierFormat> knownHeaderOf(std::span<const std::uint8_t> head);

// The size of the save before a Super UFO Pro 8 SD file's tail: the smallest chip size after
// which the rest of the file is the pattern. None for a file that is not one.
std::optional<std::size_t> ufoSdSaveSize(std::span<const std::uint8_t> file);

// A whole file of a format from a save's image: its header (the Super Wild Card's is given,
// comment and all), then the body; for the Super UFO Pro 8 SD, the save and the tail.
std::vector<std::uint8_t> copierFileBytes(CopierFormat format, const HeaderTemplate& header,
                                          const SaveImage& image);

// How a copier format is named, in the command line's options, file names and reports.
struct FormatWords {
    CopierFormat format;
    std::string_view option;     // the value of --format; empty: not one to choose
    std::string_view extension;  // of the files written in it
    std::string_view kind;       // what info calls a file of it
    std::string_view name;       // a file of it, in a reason given for one
};

// The formats --format takes, in the order the help names them; none for another value.
const FormatWords* formatNamed(std::string_view option);
const FormatWords& wordsOf(CopierFormat format);
// Every format that can be chosen, in that order.
std::span<const FormatWords> choosableFormats();

}  // namespace plimbrook
