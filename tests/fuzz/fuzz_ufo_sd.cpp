// The Super UFO Pro 8 SD's 128 KiB file: where its tail starts, the save read from it, and the
// same file written again from that save.
//
// The first byte shapes the file: 0, the bytes are the file; 1, the bytes are a save and the tail
// follows them to 128 KiB; 2, the same with the byte at bytes 2..4 (an offset) set to byte 1.

#include "core/conversion.h"
#include "tests/fuzz/fuzz_support.h"

using namespace plimbrook;
using namespace plimbrook::fuzz;

namespace {

constexpr std::size_t kFileSize = 128 * 1024;
constexpr std::size_t kChanged = 5;  // mode, new byte, 24-bit offset

File fileOf(Bytes input) {
    const std::uint8_t mode = input.empty() ? 0 : input[0] % 3;
    const Bytes rest = input.subspan(std::min(input.size(), mode == 2 ? kChanged : 1));
    if (mode == 0) {
        return File(rest.begin(), rest.end());
    }
    File file(rest.begin(), rest.begin() + std::min(rest.size(), kFileSize));
    while (file.size() < kFileSize) {
        const std::size_t piece = std::min(ufo_sd::kTail.size(), kFileSize - file.size());
        file.insert(file.end(), ufo_sd::kTail.begin(), ufo_sd::kTail.begin() + piece);
    }
    if (mode == 2 && input.size() >= kChanged) {
        file[littleEndian<3>(input, 2) % kFileSize] = input[1];
    }
    return file;
}

void checkRead(Bytes file, std::size_t saveSize) {
    ByteSpan source(file);
    const FileReading reading = readFile(source);
    require(reading.kind == FileKind::CopierFile && reading.copier == CopierFormat::SuperUfoSd &&
                !reading.refusal && reading.ownSaveSize == saveSize,
            "a file with the tail is read as the Pro 8 SD's, with the save before the tail");
    ConvertRequest request;
    request.direction = Direction::ToSave;
    const Converted saved = convert(reading, request);
    require(saved.ok() && same(saved.bytes, file.first(saveSize)),
            "the save is what comes before the tail");
    const File written =
        copierFileBytes(CopierFormat::SuperUfoSd, HeaderTemplate{}, *imageOfSave(saved.bytes));
    require(same(written, file), "the save written again gives the same file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, size);
    const File file = fileOf(input);
    const auto saveSize = ufoSdSaveSize(file);
    // A save of a chip's size with the tail after it, as the copier writes one.
    const bool written = size > 1 && input[0] % 3 == 1 && isChipSize(size - 1);
    require(!written || (saveSize && *saveSize <= size - 1),
            "a save of a chip's size and the tail after it are told apart");
    if (!saveSize) {
        return 0;
    }
    require(file.size() == kFileSize && isChipSize(*saveSize), "a tail starts at a chip size");
    // Also that the tail, from its first byte, is all that follows the save: it is written again.
    checkRead(file, *saveSize);
    return 0;
}
