#pragma once

#include <cstddef>
#include <optional>

#include "core/bbd_layout.h"

namespace plimbrook {

class ReplacementFile;

// The copiers whose save files hold the same 32 KiB body (see bbd_layout.h). Other: a 512-byte
// header that none of them is known to write, read as theirs are.
enum class CopierFormat { SuperWildCard, ProFighter, SuperUfo, GameDoctor, Other };

// The header a format always writes the same, byte for byte: the Pro Fighter's and the Super
// UFO's. The Super Wild Card's comes from the template; a Game Doctor save has none.
std::optional<HeaderTemplate> fixedHeaderOf(CopierFormat format);

// Where the body starts in a file of the format.
std::size_t bodyOffsetOf(CopierFormat format);

// Only the Super Wild Card's header holds a comment, and a header not known may hold one.
bool hasCommentField(CopierFormat format);

// The whole save file of a format that holds no comment: its fixed header, if it has one, then
// the body. A Super Wild Card file is written with writeBbdBody and writeBbdComment instead.
void writeCopierSave(ReplacementFile& file, CopierFormat format, const BbdBody& body);

}  // namespace plimbrook
