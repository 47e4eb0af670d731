#include "core/copier_formats.h"

#include <algorithm>

#include "core/save_image.h"

namespace plimbrook {

namespace {

using Bytes = std::span<const std::uint8_t>;

// Each format's own extension, so that one save written for several copiers into one folder
// gives a file for each, and none of them is an emulator's ".srm". A Game Doctor save is byte
// for byte a raw 32 KiB save: its name is all that tells it apart. A Super UFO Pro 8 SD file
// holds the raw save at its start, so it too gets a name of its own rather than ".srm".
constexpr std::array<FormatWords, 6> kFormats = {{
    {CopierFormat::SuperWildCard, "swc", ".bbd", "Super Wild Card BBD file", "BBD file"},
    {CopierFormat::ProFighter, "fig", ".sav", "Pro Fighter save", "Pro Fighter save"},
    {CopierFormat::SuperUfo, "ufo", ".ufo", "Super UFO save", "Super UFO save"},
    {CopierFormat::SuperUfoSd, "ufosd", ".ufosd", "Super UFO Pro 8 SD save",
     "Super UFO Pro 8 SD save"},
    {CopierFormat::GameDoctor, "gd3", ".gd3", "Game Doctor save", "Game Doctor save"},
    {CopierFormat::Other, "", "", "copier file with another 512-byte header", "copier file"},
}};
constexpr std::size_t kChoosable = kFormats.size() - 1;

bool hasSuperWildCardMark(Bytes head) {
    const auto& mark = layout::kCopierMark;
    return head.size() >= layout::kCopierMarkOffset + mark.size() &&
           std::equal(mark.begin(), mark.end(), head.begin() + layout::kCopierMarkOffset);
}

// Taken only whole, byte for byte: one byte more set makes it a header not known.
bool hasFixedHeader(CopierFormat format, Bytes head) {
    const HeaderTemplate header = *fixedHeaderOf(format);
    return head.size() >= header.size() && std::equal(header.begin(), header.end(), head.begin());
}

bool isUfoSdTail(Bytes tail) {
    for (std::size_t at = 0; at < tail.size(); at += ufo_sd::kTail.size()) {
        const Bytes piece = tail.subspan(at, std::min(ufo_sd::kTail.size(), tail.size() - at));
        if (!std::equal(piece.begin(), piece.end(), ufo_sd::kTail.begin())) {
            return false;
        }
    }
    return true;
}

}  // namespace

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
        case CopierFormat::SuperUfoSd:
        case CopierFormat::GameDoctor:
        case CopierFormat::Other:
            break;
    }
    return std::nullopt;
}

bool hasCommentField(CopierFormat format) {
    return format == CopierFormat::SuperWildCard || format == CopierFormat::Other;
}

bool hasHeader(CopierFormat format) {
    return format != CopierFormat::GameDoctor && format != CopierFormat::SuperUfoSd;
}

std::optional<CopierFormat> knownHeaderOf(Bytes head) {
    if (hasSuperWildCardMark(head)) {
        return CopierFormat::SuperWildCard;
    }
    for (const CopierFormat format : {CopierFormat::ProFighter, CopierFormat::SuperUfo}) {
        if (hasFixedHeader(format, head)) {
            return format;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> ufoSdSaveSize(Bytes file) {
    if (file.size() != ufo_sd::kFileSize) {
        return std::nullopt;
    }
    for (const std::size_t size : layout::kChipSizes) {
        if (isUfoSdTail(file.subspan(size))) {
            return size;
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> copierFileBytes(CopierFormat format, const HeaderTemplate& header,
                                          const SaveImage& image) {
    if (format == CopierFormat::SuperUfoSd) {
        std::vector<std::uint8_t> file(image.body.begin(), image.body.begin() + image.saveSize);
        file.reserve(ufo_sd::kFileSize);
        while (file.size() < ufo_sd::kFileSize) {
            file.insert(file.end(), ufo_sd::kTail.begin(), ufo_sd::kTail.end());
        }
        return file;
    }
    if (format == CopierFormat::GameDoctor) {
        return {image.body.begin(), image.body.end()};
    }
    return bbdFileBytes(fixedHeaderOf(format).value_or(header), image.body);
}

const FormatWords* formatNamed(std::string_view option) {
    const auto choosable = choosableFormats();
    const auto found = std::find_if(choosable.begin(), choosable.end(),
                                    [&](const FormatWords& f) { return f.option == option; });
    return found == choosable.end() ? nullptr : &*found;
}

const FormatWords& wordsOf(CopierFormat format) {
    return *std::find_if(kFormats.begin(), kFormats.end(),
                         [&](const FormatWords& f) { return f.format == format; });
}

std::span<const FormatWords> choosableFormats() {
    return std::span(kFormats).first(kChoosable);
}

}  // namespace plimbrook
