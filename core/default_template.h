#pragma once

#include <cstdint>
#include <span>

#include "core/bbd_layout.h"

namespace plimbrook {

// The header the Super Wild Card itself puts on a battery-save file, so the copier accepts the
// files we make: all zero but its two identification bytes and the file type for SRAM data. It
// is installed as Stuff.dat, and the page, which has no program folder, uses it as it is.
HeaderTemplate defaultHeaderTemplate();

// What a template file is worth: the first 512 bytes become every BBD file's header.
enum class TemplateFault {
    None,
    TooShort,    // fewer than 512 bytes: the header would be cut short
    NoSramMark,  // no AA BB 05 at 8..10: the copier will not take the file
};
TemplateFault checkTemplate(std::span<const std::uint8_t> file);

// The header a template file gives; for one too short, nothing to use.
HeaderTemplate headerOf(std::span<const std::uint8_t> file);

}  // namespace plimbrook
