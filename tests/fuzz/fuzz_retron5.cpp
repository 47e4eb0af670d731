// The Retron 5's saves: unpackRetron5 on any bytes, the reading of the same bytes as a file, and
// any save packed by packRetron5, or stored, read back.

#include "tests/fuzz/fuzz_support.h"

using namespace plimbrook;
using namespace plimbrook::fuzz;

namespace {

void checkUnpacked(Bytes file, const Unpacked& unpacked) {
    if (unpacked.refusal) {
        require(unpacked.save.empty(), "a refused file gives no save");
        require(unpacked.refusal != Refusal::DamagedRetron5 || !unpacked.detail.empty(),
                "a damaged save says what is wrong with it");
        require(unpacked.refusal != Refusal::TooLarge || unpacked.claimedSize > 32 * 1024,
                "only a save of more than 32 KiB is too large");
        return;
    }
    require(!unpacked.save.empty() && unpacked.save.size() <= 32 * 1024,
            "a Retron 5 save holds 1 byte to 32 KiB");
    require(unpacked.claimedSize == unpacked.save.size(), "the size claimed is the save's");
    require(crc32Of(unpacked.save) == littleEndian<4>(file, retron5::kCrcOffset),
            "a save is given only with the CRC-32 its header holds");
}

// Any save up to 32 KiB, as the console writes it, comes back byte for byte.
void checkRoundTrip(Bytes save) {
    if (save.empty()) {
        return;
    }
    for (const File& file : {packRetron5(save), retron5Stored(save)}) {
        const Unpacked back = unpackRetron5(file);
        require(!back.refusal && same(back.save, save), "a save written is read back whole");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes file(data, size);
    const Unpacked unpacked = unpackRetron5(file);
    checkUnpacked(file, unpacked);
    requireReadingAgrees(file, hasRetron5Magic(file), FileKind::Retron5Save,
                         "the magic makes a Retron 5 save", unpacked);
    checkRoundTrip(file.first(std::min<std::size_t>(size, 32 * 1024)));
    return 0;
}
