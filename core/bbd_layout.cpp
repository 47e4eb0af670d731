#include "core/bbd_layout.h"

#include <algorithm>

#include "core/code_page.h"

namespace plimbrook {

CommentBytes encodeComment(std::string_view utf8) {
    std::u32string text = code_page::decodeUtf8(utf8);
    text.resize(layout::kCommentLength, U' ');
    CommentBytes bytes{};
    std::transform(text.begin(), text.end(), bytes.begin(), code_page::toWindows1252);
    return bytes;
}

std::string decodeComment(const CommentBytes& bytes) {
    std::u32string text(bytes.size(), U' ');
    std::transform(bytes.begin(), bytes.end(), text.begin(), code_page::fromWindows1252);
    return code_page::encodeUtf8(text);
}

std::string commentOfHeader(std::span<const std::uint8_t> header) {
    CommentBytes bytes{};
    if (header.size() > layout::kCommentOffset) {
        const auto field = header.subspan(layout::kCommentOffset);
        std::copy_n(field.begin(), std::min(field.size(), bytes.size()), bytes.begin());
    }
    return decodeComment(bytes);
}

HeaderTemplate withComment(HeaderTemplate header, std::string_view utf8Comment) {
    const CommentBytes comment = encodeComment(utf8Comment);
    std::copy(comment.begin(), comment.end(), header.begin() + layout::kCommentOffset);
    return header;
}

std::vector<std::uint8_t> bbdFileBytes(const HeaderTemplate& header, const BbdBody& body) {
    // The header and the copies lie end to end: one write puts the whole file.
    static_assert(layout::kBodyOffset == std::tuple_size_v<HeaderTemplate> &&
                  layout::copyOffset(layout::kCopyCount) - layout::kBodyOffset ==
                      std::tuple_size_v<BbdBody>);
    std::vector<std::uint8_t> whole;
    whole.reserve(layout::kBbdSize);
    whole.insert(whole.end(), header.begin(), header.end());
    whole.insert(whole.end(), body.begin(), body.end());
    return whole;
}

}  // namespace plimbrook
