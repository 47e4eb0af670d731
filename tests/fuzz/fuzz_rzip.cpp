// RetroArch's compressed saves: unpackRzip on any bytes, the reading of the same bytes as a file,
// and a save packed again in the file's own chunk size.

#include "tests/fuzz/fuzz_support.h"

using namespace plimbrook;
using namespace plimbrook::fuzz;

namespace {

// Packing a save again in many tiny chunks would cost more than the rest of a run.
constexpr std::size_t kMostChunks = 64;

void checkUnpacked(Bytes file, const Unpacked& unpacked) {
    if (unpacked.refusal) {
        require(unpacked.save.empty(), "a refused file gives no save");
        require(unpacked.refusal != Refusal::TooLarge || unpacked.claimedSize > 32 * 1024,
                "only a save of more than 32 KiB is too large");
        require(hasRzipMagic(file) || unpacked.refusal == Refusal::DamagedCompressed,
                "a file without the magic is not a compressed save");
        return;
    }
    require(!unpacked.save.empty() && unpacked.save.size() <= 32 * 1024,
            "a compressed save holds 1 byte to 32 KiB");
    const auto header = parseRzipHeader(file);
    require(header && header->totalSize == unpacked.save.size(),
            "a compressed save is as long as its header says");
    require(unpacked.claimedSize == unpacked.save.size(), "the size claimed is the save's");
}

void checkPackedAgain(Bytes file, const Unpacked& unpacked) {
    if (unpacked.refusal) {
        return;
    }
    const std::size_t size = unpacked.save.size();
    const std::uint32_t chunk = parseRzipHeader(file)->chunkSize;
    if ((size + chunk - 1) / chunk > kMostChunks) {
        return;
    }
    const Unpacked again = unpackRzip(rzipOf(unpacked.save, chunk));
    require(!again.refusal && same(again.save, unpacked.save),
            "a save packed again in the same chunks reads back the same");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes file(data, size);
    const Unpacked unpacked = unpackRzip(file);
    checkUnpacked(file, unpacked);
    requireReadingAgrees(file, hasRzipMagic(file), FileKind::RetroArchSave,
                         "the magic makes a compressed save", unpacked);
    checkPackedAgain(file, unpacked);
    return 0;
}
