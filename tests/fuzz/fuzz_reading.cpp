// The one reading of a file, as every command, the window and the page make it: readFile, then
// convert in both directions with a copier, size and answers chosen by the input, then info.

#include <memory>

#include "core/default_template.h"
#include "core/info_words.h"
#include "tests/fuzz/shaped_input.h"

using namespace plimbrook;
using namespace plimbrook::fuzz;

namespace {

constexpr std::size_t kKiB = 1024;

// The sizes the formats define, written out rather than taken from the code under test.
std::size_t definedFileSize(CopierFormat format) {
    switch (format) {
        case CopierFormat::SuperUfoSd:
            return 131'072;
        case CopierFormat::GameDoctor:
            return 32'768;
        default:
            return 33'280;
    }
}

void checkCopierReading(const FileReading& r, Bytes file) {
    require(r.body.size() <= 32 * kKiB, "a copier file's body is at most 32 KiB");
    require(r.header.size() == (hasHeader(r.copier) ? 512 : 0),
            "a copier file has a 512-byte header exactly where its format has one");
    if (hasHeader(r.copier)) {
        require(same(r.header, file.first(512)), "the header is the file's first 512 bytes");
        require(same(r.body, file.subspan(512, r.body.size())), "the body follows the header");
    } else if (r.copier == CopierFormat::GameDoctor) {
        require(same(r.body, file), "a Game Doctor save is its body");
    }
}

// Every byte of a file that is read is either in what it gives, or told of in a note.
void checkAllAccountedFor(const FileReading& r) {
    std::uint64_t told = r.fileSize;
    if (r.kind == FileKind::RawSave) {
        told = r.save.size();
    } else if (r.kind == FileKind::PaddedSave) {
        told = r.save.size() + r.padding.bytes;
    } else if (r.kind == FileKind::CopierFile && r.copier == CopierFormat::SuperUfoSd) {
        told = 131'072 + r.extraBytes;  // the save and the tail
    } else if (r.kind == FileKind::CopierFile) {
        told = r.header.size() + r.body.size() + r.extraBytes;
    }
    require(told == r.fileSize, "every byte of the file is read, or a note says it is not");
}

void checkReading(const FileReading& r, Bytes file) {
    require((r.fileSize == 0) == (r.kind == FileKind::Empty), "empty files, and only they");
    require(r.kind != FileKind::Unknown || r.refusal, "a file that is not named is refused");
    if (r.refusal) {
        require(!reasonText(r, *r.refusal).empty(), "a refusal has its reason in words");
        require(r.refusal != Refusal::DamagedRetron5 || !r.refusalDetail.empty(),
                "a damaged Retron 5 save says what is wrong with it");
        return;
    }
    checkAllAccountedFor(r);
    if (isSaveSide(r.kind)) {
        require(!r.save.empty() && r.save.size() <= 32 * kKiB, "a save read is 1 byte to 32 KiB");
    }
    if (r.kind == FileKind::RawSave) {
        require(same(r.save, file), "a raw save is the file's bytes");
    } else if (r.kind == FileKind::PaddedSave) {
        require(same(r.save, file.first(32 * kKiB)), "a padded save is the first 32 KiB");
        require(allAre(file.subspan(32 * kKiB), r.padding.fill), "only the fill byte is left out");
        require(r.padding.fill == 0x00 || r.padding.fill == 0xFF, "padding is 0x00 or 0xFF");
    } else if (r.kind == FileKind::CopierFile) {
        checkCopierReading(r, file);
    }
}

// Where a save's file may be read back as a smaller one: a save that goes on as the Super UFO
// Pro 8 SD tail from a smaller chip size on. No real save holds that pattern.
bool endsInUfoSdTail(Bytes save) {
    for (const std::size_t size : layout::kChipSizes) {
        if (size >= save.size()) {
            break;
        }
        bool tail = true;
        for (std::size_t i = size; i < save.size() && tail; ++i) {
            tail = save[i] == ufo_sd::kTail[(i - size) % ufo_sd::kTail.size()];
        }
        if (tail) {
            return true;
        }
    }
    return false;
}

// A copier file written from a save is read back as that copier's, and gives back a save that
// fills the copier the same way: nothing of the save is lost on the way.
void checkCopierFileReadsBack(const ConvertRequest& request, const Converted& c, Bytes save) {
    ByteSpan source(c.bytes);
    const FileReading back =
        readFile(source, {.asGameDoctor = request.copier == CopierFormat::GameDoctor});
    require(back.kind == FileKind::CopierFile && !back.refusal && back.copier == request.copier,
            "a copier file written is read back as that copier's");
    ConvertRequest toSave;
    toSave.direction = Direction::ToSave;
    const Converted saved = convert(back, toSave);
    require(saved.ok(), "a copier file written converts back to a save");
    const auto image = imageOfSave(save);
    if (request.copier == CopierFormat::SuperUfoSd &&
        endsInUfoSdTail(Bytes(image->body).first(image->saveSize))) {
        return;
    }
    require(same(imageOfSave(saved.bytes)->body, image->body),
            "a save written to a copier file comes back whole");
}

void checkToCopierFile(const FileReading& r, const ConvertRequest& request, const Converted& c) {
    require(c.bytes.size() == definedFileSize(request.copier),
            "a copier file has the size its format defines");
    require(isChipSize(c.saveSize), "the save a copier file holds is 1 to 32 KiB, a chip's size");
    Bytes save = r.save;
    if (request.size && save.size() > *request.size) {
        save = save.first(*request.size);
    }
    checkCopierFileReadsBack(request, c, save);
}

void checkToSave(const FileReading& r, const ConvertRequest& request, const Converted& c) {
    require(isChipSize(c.saveSize), "a save written is 1 to 32 KiB, a chip's size");
    require(!request.size || c.saveSize == *request.size, "the size asked for is the one written");
    File save = c.bytes;
    if (request.saveFormat == SaveFormat::Retron5) {
        const Unpacked unpacked = unpackRetron5(c.bytes);
        require(!unpacked.refusal, "a Retron 5 save written is read back");
        save = unpacked.save;
    }
    require(save.size() == c.saveSize, "a save written is of its size");
    const std::size_t fromBody = std::min(save.size(), r.body.size());
    require(same(Bytes(save).first(fromBody), Bytes(r.body).first(fromBody)),
            "a save is the start of the body");
    const bool wholeBody = r.body.size() == layout::kBodySize;
    if (!request.size && wholeBody &&
        (!copiesDiffer(r) || request.whenCopiesDiffer == layout::kMaxSaveSize)) {
        require(same(imageOfSave(save)->body, r.body),
                "a copier file's body comes back whole from the save written of it");
    }
}

void checkConversion(const FileReading& r, const ConvertRequest& request) {
    const Converted c = convert(r, request);
    const bool goes = !r.refusal && request.direction == directionOf(r);
    require(c.ok() == goes, "a conversion goes ahead exactly where the reading allows it");
    if (!c.ok()) {
        require(!c.reason.empty() && c.bytes.empty(), "a refused conversion gives its reason");
        return;
    }
    for (const ConvertNote& n : c.notes) {
        require(!n.text.empty(), "a note has words");
    }
    if (request.direction == Direction::ToCopierFile) {
        checkToCopierFile(r, request, c);
    } else {
        checkToSave(r, request, c);
    }
}

void checkInfo(const FileReading& r, std::optional<std::uint32_t> fileCrc, Bytes file, bool whole) {
    const std::vector<InfoLine> lines = infoLines(r, fileCrc);
    require(!lines.empty() && lines.front().key == "type", "info starts with the type");
    for (const InfoLine& line : lines) {
        // A blank comment is shown as one, where the header has a comment field.
        require(!line.key.empty() && (!line.value.empty() || line.key == "comment"),
                "info has no empty line");
    }
    if (r.refusal) {
        const std::string reason = reasonText(r, *r.refusal);
        require(
            std::any_of(lines.begin(), lines.end(),
                        [&](const InfoLine& l) { return l.value.find(reason) != l.value.npos; }),
            "info gives the reason that every conversion gives");
    }
    if (whole) {
        require(fileCrc && *fileCrc == crc32Of(file), "the file's CRC-32 is of all its bytes");
        require(lines.back().value == crcText(*fileCrc), "info ends with the file's CRC-32");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, size);
    const Shaping shaping = shapingOf(input);
    std::uint64_t claimed = 0;
    const File shaped = shapedFile(shaping, input.subspan(std::min(size, kShapingSize)), claimed);
    // Exactly as long as the file, so that a read past its end is caught.
    const auto held = std::make_unique<std::uint8_t[]>(shaped.size());
    std::copy(shaped.begin(), shaped.end(), held.get());
    const Bytes file(held.get(), shaped.size());

    ByteSpan source(file, claimed);
    const FileReading reading = readFile(source, {.asGameDoctor = asGameDoctorOf(shaping)});
    checkReading(reading, file);

    ConvertRequest request;
    request.copier = copierOf(shaping);
    request.saveFormat = saveFormatOf(shaping);
    request.header = defaultHeaderTemplate();
    request.size = sizeAskedOf(shaping);
    request.whenCopiesDiffer = whenCopiesDifferOf(shaping);
    for (const Direction direction : {Direction::ToCopierFile, Direction::ToSave}) {
        request.direction = direction;
        checkConversion(reading, request);
    }
    checkInfo(reading, fileCrcOf(source), file, claimed == file.size());
    return 0;
}
