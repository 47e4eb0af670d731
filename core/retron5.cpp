#include "core/retron5.h"

#include <zlib.h>

#include <algorithm>

#include "core/bbd_layout.h"
#include "core/little_endian.h"
#include "core/save_image.h"

namespace plimbrook {

namespace {

using Bytes = std::span<const std::uint8_t>;

Unpacked damaged(const char* why, std::uint64_t claimed = 0) {
    Unpacked result;
    result.refusal = Refusal::DamagedRetron5;
    result.detail = why;
    result.claimedSize = claimed;
    return result;
}

// Exactly `out.size()` bytes from exactly the whole of `data`, or false.
bool inflateWhole(Bytes data, std::span<std::uint8_t> out) {
    uLongf given = out.size();
    uLong taken = data.size();
    const int status = uncompress2(out.data(), &given, data.data(), &taken);
    return status == Z_OK && given == out.size() && taken == data.size();
}

}  // namespace

bool hasRetron5Magic(Bytes head) {
    return head.size() >= retron5::kMagic.size() &&
           std::equal(retron5::kMagic.begin(), retron5::kMagic.end(), head.begin());
}

Unpacked unpackRetron5(Bytes file) {
    if (file.size() < retron5::kHeaderSize || !hasRetron5Magic(file)) {
        return damaged("its header is cut short");
    }
    if (littleEndian<2>(file, retron5::kVersionOffset) != retron5::kVersion) {
        return damaged("its header is of a version not known");
    }
    const bool compressed = (littleEndian<2>(file, retron5::kFlagsOffset) & retron5::kCompressed);
    const std::uint64_t saveSize = littleEndian<4>(file, retron5::kSaveSizeOffset);
    const std::uint64_t dataSize = littleEndian<4>(file, retron5::kDataSizeOffset);
    const std::uint64_t dataOffset = littleEndian<4>(file, retron5::kDataOffsetOffset);
    if (saveSize > layout::kMaxSaveSize) {
        Unpacked result;
        result.refusal = Refusal::TooLarge;
        result.claimedSize = saveSize;
        return result;
    }
    if (saveSize == 0) {
        Unpacked result;
        result.refusal = Refusal::EmptyFile;
        return result;
    }
    if (dataOffset < retron5::kHeaderSize || dataOffset > file.size() ||
        file.size() - dataOffset != dataSize) {
        return damaged("its data is not where its header says", saveSize);
    }
    if (!compressed && dataSize != saveSize) {
        return damaged("its data is not the size of its save", saveSize);
    }

    Unpacked result;
    result.claimedSize = saveSize;
    result.save.resize(static_cast<std::size_t>(saveSize));
    const Bytes data = file.subspan(static_cast<std::size_t>(dataOffset));
    if (!compressed) {
        std::copy(data.begin(), data.end(), result.save.begin());
    } else if (!inflateWhole(data, result.save)) {
        return damaged("its compressed data is damaged or cut short", saveSize);
    }
    if (crc32Of(result.save) != littleEndian<4>(file, retron5::kCrcOffset)) {
        return damaged("its CRC-32 does not match its save", saveSize);
    }
    return result;
}

std::vector<std::uint8_t> packRetron5(Bytes save) {
    std::vector<std::uint8_t> data(compressBound(static_cast<uLong>(save.size())));
    uLongf packed = data.size();
    if (compress2(data.data(), &packed, save.data(), static_cast<uLong>(save.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        throw std::bad_alloc();  // zlib fails here only for want of memory
    }
    data.resize(packed);

    std::vector<std::uint8_t> file(retron5::kMagic.begin(), retron5::kMagic.end());
    file.reserve(retron5::kHeaderSize + data.size());
    appendLittleEndian<2>(file, retron5::kVersion);
    appendLittleEndian<2>(file, retron5::kCompressed);
    appendLittleEndian<4>(file, save.size());
    appendLittleEndian<4>(file, data.size());
    appendLittleEndian<4>(file, retron5::kHeaderSize);
    appendLittleEndian<4>(file, crc32Of(save));
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

}  // namespace plimbrook
