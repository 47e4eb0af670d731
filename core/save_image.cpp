#include "core/save_image.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace plimbrook {

namespace {

using Bytes = std::span<const std::uint8_t>;

// Saves the body holds whole, largest first; each is repeated to fill it.
constexpr std::array<std::size_t, 3> kWholeSaveSizes = {layout::kMaxSaveSize, layout::kHalfBodySize,
                                                        layout::kCopySize};
static_assert(layout::kBodySize % kWholeSaveSizes[1] == 0);

bool equalBlocks(Bytes a, Bytes b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

bool isChipSize(std::uint64_t size) {
    return std::find(layout::kChipSizes.begin(), layout::kChipSizes.end(), size) !=
           layout::kChipSizes.end();
}

CopyImage copyImageOf(Bytes save) {
    CopyImage image{};
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

std::optional<SaveImage> imageOfSave(Bytes save) {
    if (save.size() > layout::kMaxSaveSize) {
        return std::nullopt;
    }
    // Built in place, in the body itself: a batch makes one per save.
    std::optional<SaveImage> result(std::in_place);
    BbdBody& body = result->body;
    std::size_t kept = 0;
    if (save.size() <= layout::kCopySize) {
        const CopyImage image = copyImageOf(save);
        std::copy(image.begin(), image.end(), body.begin());
        kept = image.size();
        result->saveSize = isChipSize(save.size()) ? save.size() : layout::kCopySize;
    } else {
        const auto fits = std::find_if(kWholeSaveSizes.begin(), kWholeSaveSizes.end(),
                                       [&](std::size_t size) { return size <= save.size(); });
        kept = *fits;
        std::copy_n(save.begin(), kept, body.begin());
        result->saveSize = kept;
    }
    // The rest of the body repeats what is there, twice as much at each step.
    for (std::size_t filled = kept; filled < body.size(); filled *= 2) {
        std::copy_n(body.begin(), filled, body.begin() + static_cast<long>(filled));
    }
    result->keptSize = kept;
    result->droppedBytes = save.size() - std::min(save.size(), kept);
    return result;
}

CopyAgreement compareCopies(Bytes body) {
    if (body.size() < layout::kBodySize) {
        return CopyAgreement::ShortBody;
    }
    const Bytes first = body.first(layout::kCopySize);
    bool allFour = true;
    for (std::size_t copy = 1; copy < layout::kCopyCount && allFour; ++copy) {
        allFour = equalBlocks(first, body.subspan(copy * layout::kCopySize, layout::kCopySize));
    }
    if (allFour) {
        return CopyAgreement::AllFour;
    }
    return equalBlocks(body.first(layout::kHalfBodySize),
                       body.subspan(layout::kHalfBodySize, layout::kHalfBodySize))
               ? CopyAgreement::Halves
               : CopyAgreement::None;
}

std::size_t saveSizeFromBody(CopyAgreement copies, std::size_t whenCopiesDiffer) {
    switch (copies) {
        case CopyAgreement::Halves:
            return layout::kHalfBodySize;
        case CopyAgreement::None:
            return whenCopiesDiffer;
        case CopyAgreement::AllFour:
        case CopyAgreement::ShortBody:
            break;
    }
    return layout::kCopySize;
}

std::vector<std::uint8_t> saveFromBody(Bytes body, std::size_t size) {
    std::vector<std::uint8_t> save(size, 0);
    std::copy_n(body.begin(), std::min(size, body.size()), save.begin());
    return save;
}

std::optional<std::size_t> mirrorPeriod(Bytes image) {
    if (image.size() != layout::kCopySize) {
        return std::nullopt;
    }
    for (const std::size_t period : layout::kMirroredSaveSizes) {
        bool repeats = true;
        for (std::size_t at = period; at < image.size() && repeats; at += period) {
            repeats = equalBlocks(image.first(period), image.subspan(at, period));
        }
        if (repeats) {
            return period;
        }
    }
    return std::nullopt;
}

std::uint32_t crc32Of(Bytes bytes) {
    return crc32Of(0, bytes);
}

std::uint32_t crc32Of(std::uint32_t crc, Bytes bytes) {
    // zlib takes at most an unsigned int at a time.
    constexpr std::size_t kMost = std::numeric_limits<uInt>::max();
    uLong value = crc;
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), kMost);
        value = crc32(value, bytes.data(), static_cast<uInt>(n));
        bytes = bytes.subspan(n);
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace plimbrook
