#include "core/copier_formats.h"

#include <algorithm>
#include <stdexcept>

#include "core/files/file_access.h"

namespace plimbrook {

std::optional<HeaderTemplate> fixedHeaderOf(CopierFormat format) {
    HeaderTemplate header{};
    switch (format) {
        case CopierFormat::ProFighter:
            header[layout::kProFighterMarkOffset] = layout::kProFighterMark;
            return header;
        case CopierFormat::SuperUfo:
            std::copy(layout::kSuperUfoMark.begin(), layout::kSuperUfoMark.end(),
                      header.begin() + layout::kSuperUfoMarkOffset);
            return header;
        case CopierFormat::SuperWildCard:
        case CopierFormat::GameDoctor:
        case CopierFormat::Other:
            break;
    }
    return std::nullopt;
}

std::size_t bodyOffsetOf(CopierFormat format) {
    return format == CopierFormat::GameDoctor ? 0 : layout::kBodyOffset;
}

bool hasCommentField(CopierFormat format) {
    return format == CopierFormat::SuperWildCard || format == CopierFormat::Other;
}

void writeCopierSave(ReplacementFile& file, CopierFormat format, const BbdBody& body) {
    if (hasCommentField(format)) {
        throw std::logic_error("a file with a comment is written from the template");
    }
    if (const auto header = fixedHeaderOf(format)) {
        file.write(0, *header);
    }
    file.write(bodyOffsetOf(format), body);
}

}  // namespace plimbrook
