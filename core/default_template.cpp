#include "core/default_template.h"

#include <algorithm>

namespace plimbrook {

HeaderTemplate defaultHeaderTemplate() {
    HeaderTemplate header{};
    std::copy(layout::kCopierMark.begin(), layout::kCopierMark.end(),
              header.begin() + layout::kCopierMarkOffset);
    header[layout::kFileTypeOffset] = layout::kSramFileType;
    return header;
}

TemplateFault checkTemplate(std::span<const std::uint8_t> file) {
    if (file.size() < layout::kHeaderSize) {
        return TemplateFault::TooShort;
    }
    const bool marked = std::equal(layout::kCopierMark.begin(), layout::kCopierMark.end(),
                                   file.begin() + layout::kCopierMarkOffset) &&
                        file[layout::kFileTypeOffset] == layout::kSramFileType;
    return marked ? TemplateFault::None : TemplateFault::NoSramMark;
}

HeaderTemplate headerOf(std::span<const std::uint8_t> file) {
    HeaderTemplate header{};
    std::copy_n(file.begin(), std::min(file.size(), header.size()), header.begin());
    return header;
}

}  // namespace plimbrook
