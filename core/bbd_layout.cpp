#include "core/bbd_layout.h"

#include <algorithm>
#include <vector>

#include "core/code_page.h"
#include "core/files/file_access.h"

namespace plimbrook {

namespace {

template <std::size_t N>
std::array<std::uint8_t, N> readBlock(InputFile& file, std::size_t offset) {
    std::array<std::uint8_t, N> block{};
    const auto bytes = file.read(offset, N);
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return block;
}

}  // namespace

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

HeaderTemplate readHeaderTemplate(InputFile& file) {
    return readBlock<layout::kHeaderSize>(file, 0);
}

SramImage sramImageOf(std::span<const std::uint8_t> save) {
    SramImage image{};
    const auto bytes = save.first(std::min(save.size(), image.size()));
    const bool mirrored =
        std::find(layout::kMirroredSaveSizes.begin(), layout::kMirroredSaveSizes.end(),
                  bytes.size()) != layout::kMirroredSaveSizes.end();
    if (mirrored) {
        for (std::size_t at = 0; at < image.size(); at += bytes.size()) {
            std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<long>(at));
        }
    } else {
        std::copy(bytes.begin(), bytes.end(), image.begin());
    }
    return image;
}

std::string commentOfHeader(std::span<const std::uint8_t> header) {
    CommentBytes bytes{};
    if (header.size() > layout::kCommentOffset) {
        const auto field = header.subspan(layout::kCommentOffset);
        std::copy_n(field.begin(), std::min(field.size(), bytes.size()), bytes.begin());
    }
    return decodeComment(bytes);
}

SramImage readSramSave(InputFile& file) {
    return sramImageOf(file.read(0, layout::kSramSize));
}

SramImage readBbdImage(InputFile& file) {
    return readBlock<layout::kSramSize>(file, layout::kImageOffset);
}

std::string readBbdComment(InputFile& file) {
    return decodeComment(readBlock<layout::kCommentLength>(file, layout::kCommentOffset));
}

void writeBbdBody(ReplacementFile& file, const HeaderTemplate& header, const BbdBody& body) {
    // The header and the copies lie end to end: one write puts the whole file.
    static_assert(layout::kBodyOffset == std::tuple_size_v<HeaderTemplate> &&
                  layout::copyOffset(layout::kCopyCount) - layout::kBodyOffset ==
                      std::tuple_size_v<BbdBody>);
    std::vector<std::uint8_t> whole;
    whole.reserve(layout::kBbdSize);
    whole.insert(whole.end(), header.begin(), header.end());
    whole.insert(whole.end(), body.begin(), body.end());
    file.write(0, whole);
}

void writeBbdBody(ReplacementFile& file, const HeaderTemplate& header, const SramImage& image) {
    BbdBody body{};
    for (std::size_t copy = 0; copy < layout::kCopyCount; ++copy) {
        std::copy(image.begin(), image.end(), body.begin() + copy * layout::kSramSize);
    }
    writeBbdBody(file, header, body);
}

HeaderTemplate withComment(HeaderTemplate header, std::string_view utf8Comment) {
    const CommentBytes comment = encodeComment(utf8Comment);
    std::copy(comment.begin(), comment.end(), header.begin() + layout::kCommentOffset);
    return header;
}

void writeBbdComment(ReplacementFile& file, std::string_view utf8Comment) {
    file.write(layout::kCommentOffset, encodeComment(utf8Comment));
}

void writeSramSave(ReplacementFile& file, std::span<const std::uint8_t> save) {
    file.write(0, save);
}

}  // namespace plimbrook
