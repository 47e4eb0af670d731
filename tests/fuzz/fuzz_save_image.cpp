// Size and copy detection: how a save fills the copier's body, how the copies of a body compare,
// the save size they give back, and the period a small chip's save repeats at.

#include "tests/fuzz/fuzz_support.h"

using namespace plimbrook;
using namespace plimbrook::fuzz;

namespace {

constexpr std::size_t kKiB = 1024;

void checkImage(Bytes save) {
    const auto image = imageOfSave(save);
    require(image.has_value() == (save.size() <= 32 * kKiB), "every save up to 32 KiB fits");
    if (!image) {
        return;
    }
    const std::size_t kept = image->keptSize;
    require(kept == 8 * kKiB || kept == 16 * kKiB || kept == 32 * kKiB, "8, 16 or 32 KiB kept");
    require(image->droppedBytes == (save.size() > kept ? save.size() - kept : 0),
            "what is dropped is what is not kept");
    const std::size_t whole = std::min(save.size(), kept);
    require(same(Bytes(image->body).first(whole), save.first(whole)),
            "the body starts as the save");
    for (std::size_t at = kept; at < image->body.size(); at += kept) {
        require(same(Bytes(image->body).subspan(at, kept), Bytes(image->body).first(kept)),
                "the body is the kept save over and over");
    }
    const CopyAgreement copies = compareCopies(image->body);
    require(kept != 8 * kKiB || copies == CopyAgreement::AllFour,
            "an 8 KiB image is in four copies");
    require(kept != 16 * kKiB || copies != CopyAgreement::None, "a 16 KiB save is in two halves");
    // The size read back from the body gives the same body: nothing is lost on the way back.
    const File back = saveFromBody(image->body, saveSizeFromBody(copies, layout::kMaxSaveSize));
    require(same(imageOfSave(back)->body, image->body), "the save read back fills the same body");

    const Bytes first(image->body.data(), 8 * kKiB);
    if (save.size() == 1 * kKiB || save.size() == 2 * kKiB || save.size() == 4 * kKiB) {
        const auto period = mirrorPeriod(first);
        require(period && save.size() % *period == 0, "a small chip's save repeats at its size");
    }
}

void checkAnyBody(Bytes body) {
    const CopyAgreement copies = compareCopies(body);
    require((copies == CopyAgreement::ShortBody) == (body.size() < 32 * kKiB),
            "only a body cut short is short");
    if (const auto period = mirrorPeriod(body)) {
        require(body.size() == 8 * kKiB, "only an 8 KiB image has a period");
        for (std::size_t i = *period; i < body.size(); ++i) {
            require(body[i] == body[i - *period], "an image repeats at its period");
        }
    }
    const File save = saveFromBody(body, 8 * kKiB);
    const std::size_t held = std::min<std::size_t>(body.size(), 8 * kKiB);
    require(same(Bytes(save).first(held), body.first(held)) && allAre(Bytes(save).subspan(held), 0),
            "a save from a short body is its bytes, then zeros");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, size);
    checkImage(input);
    checkAnyBody(input);
    return 0;
}
