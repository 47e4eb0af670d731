#include "core/info_words.h"

#include <cstdio>

#include "core/bbd_layout.h"
#include "core/conversion.h"
#include "core/save_image.h"

namespace plimbrook {

namespace {

std::string kibText(std::size_t bytes) {
    return std::to_string(bytes / layout::kKiB) + " KiB";
}

std::string fillText(std::uint8_t fill) {
    return fill == 0 ? "0x00" : "0xFF";
}

std::string packedKindText(const char* kind, const FileReading& reading) {
    std::string text = std::string(kind) + ", " + bytesText(reading.fileSize);
    if (!reading.refusal || reading.refusal == Refusal::TooLarge) {
        text += ", " + bytesText(reading.unpackedSize) + " uncompressed";
    }
    return text;
}

std::string copiesText(const FileReading& reading) {
    switch (compareCopies(reading.body)) {
        case CopyAgreement::AllFour:
            return "all four 8 KiB copies agree";
        case CopyAgreement::Halves:
            return "the two 16 KiB halves agree";
        case CopyAgreement::None:
            return "they differ (to-srm writes all 32 KiB)";
        case CopyAgreement::ShortBody:
            break;
    }
    return "the file ends inside them (to-srm writes the first copy)";
}

SaveImageFacts factsOf(const Converted& converted, std::span<const std::uint8_t> image) {
    return {converted.saveSize, crc32Of(image), converted.droppedBytes, mirrorPeriod(image)};
}

std::vector<InfoLine> imageLines(const SaveImageFacts& image) {
    std::string size = bytesText(image.size);
    if (image.droppedBytes > 0) {
        size += " (the last " + bytesText(image.droppedBytes) + " do not fit in a BBD file)";
    }
    std::vector<InfoLine> lines = {{"save image", size}};
    if (image.repeatsEvery) {
        lines.push_back({"repeats", "every " + kibText(*image.repeatsEvery)});
    }
    lines.push_back({"CRC-32", crcText(image.crc)});
    return lines;
}

void appendAll(std::vector<InfoLine>& lines, std::vector<InfoLine> more) {
    lines.insert(lines.end(), more.begin(), more.end());
}

std::vector<InfoLine> saveLines(const FileReading& reading) {
    std::vector<InfoLine> lines;
    if (reading.kind == FileKind::PaddedSave) {
        lines.push_back({"padding", paddingText(reading.padding, reading.padding.bytes, false)});
    }
    appendAll(lines, imageLines(*saveImageOf(reading)));
    return lines;
}

std::vector<InfoLine> copierLines(const FileReading& reading) {
    std::vector<InfoLine> lines;
    if (reading.copier != CopierFormat::SuperUfoSd) {
        lines.push_back({"copies", copiesText(reading)});
    }
    if (reading.extraBytes > 0) {
        lines.push_back({"extra bytes", extraBytesText(reading.extraBytes)});
    }
    std::vector<InfoLine> image = imageLines(*saveImageOf(reading));
    lines.push_back(image.front());
    // Where there is no comment field there is no comment line, rather than an empty one.
    if (hasCommentField(reading.copier)) {
        lines.push_back({"comment", commentOnOneLine(commentOfHeader(reading.header))});
    }
    lines.insert(lines.end(), image.begin() + 1, image.end());
    return lines;
}

}  // namespace

std::string bytesText(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string crcText(std::uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc));
    return text;
}

std::string commentOnOneLine(const std::string& comment) {
    std::string out;
    out.reserve(comment.size());
    for (std::size_t i = 0; i < comment.size(); ++i) {
        const auto byte = static_cast<unsigned char>(comment[i]);
        const bool c1 = byte == 0xC2 && i + 1 < comment.size() &&
                        static_cast<unsigned char>(comment[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(comment[i + 1]) <= 0x9F;
        if (c1) {
            ++i;  // the two bytes of one character become one space
        }
        out.push_back(byte < 0x20 || byte == 0x7F || c1 ? ' ' : comment[i]);
    }
    out.erase(out.find_last_not_of(' ') + 1);
    return out;
}

std::string kindText(const FileReading& reading) {
    switch (reading.kind) {
        case FileKind::Empty:
            return "empty file, 0 bytes";
        case FileKind::RawSave:
            return "raw SRAM save, " + bytesText(reading.fileSize);
        case FileKind::PaddedSave:
            return "raw SRAM save padded with " + fillText(reading.padding.fill) + ", " +
                   bytesText(reading.fileSize);
        case FileKind::RetroArchSave:
            return packedKindText("RetroArch-compressed save", reading);
        case FileKind::Retron5Save:
            return packedKindText("Retron 5 save", reading);
        case FileKind::CopierFile:
            return std::string(wordsOf(reading.copier).kind) + ", " + bytesText(reading.fileSize);
        case FileKind::Unknown:
            break;
    }
    return "unknown, " + bytesText(reading.fileSize);
}

std::string reasonText(const FileReading& reading, Refusal why) {
    const bool packed =
        reading.kind == FileKind::RetroArchSave || reading.kind == FileKind::Retron5Save;
    switch (why) {
        case Refusal::EmptyFile:
            return packed ? "compressed save holds no bytes" : "empty file";
        case Refusal::TooLarge:
            return "larger than 32 KiB, the most the copier holds";
        case Refusal::DamagedCompressed:
            return "compressed save is damaged or cut short";
        case Refusal::DamagedRetron5:
            return "Retron 5 save is damaged: " + reading.refusalDetail;
        case Refusal::NotGameDoctorSize:
            return "not 32 KiB, the size of a Game Doctor save";
        case Refusal::CopierFileAsSave:
            return "already a " + std::string(wordsOf(reading.copier).name);
        case Refusal::SaveAsCopierFile:
            break;
    }
    if (reading.kind == FileKind::Retron5Save) {
        return "a Retron 5 save, not a BBD file";
    }
    return reading.kind == FileKind::RetroArchSave ? "a compressed SRAM save, not a BBD file"
                                                   : "looks like an SRAM save, not a BBD file";
}

std::optional<SaveImageFacts> saveImageOf(const FileReading& reading) {
    if (reading.refusal) {
        return std::nullopt;
    }
    ConvertRequest request;
    if (isSaveSide(reading.kind)) {
        request.copier = CopierFormat::GameDoctor;  // the body alone
        const Converted converted = convert(reading, request);
        return factsOf(converted, std::span(converted.bytes).first(converted.saveSize));
    }
    request.direction = Direction::ToSave;
    const Converted converted = convert(reading, request);
    return factsOf(converted, converted.bytes);
}

std::vector<InfoLine> infoLines(const FileReading& reading, std::optional<std::uint32_t> fileCrc) {
    std::vector<InfoLine> lines = {{"type", kindText(reading)}};
    if (reading.refusal) {
        lines.push_back({"save image", "none: " + reasonText(reading, *reading.refusal)});
    } else if (isSaveSide(reading.kind)) {
        appendAll(lines, saveLines(reading));
    } else {
        appendAll(lines, copierLines(reading));
    }
    if (fileCrc) {
        lines.push_back({"file CRC-32", crcText(*fileCrc)});
    }
    return lines;
}

std::string droppedBytesText(std::size_t saveSize, std::size_t keptSize, std::size_t dropped) {
    return "only the first " + kibText(keptSize) + " of this " + std::to_string(saveSize) +
           "-byte save fit in a BBD file; the last " + bytesText(dropped) + " are left out";
}

std::string cutToSizeText(std::size_t saveSize, std::size_t keptSize, std::size_t dropped) {
    return "the first " + kibText(keptSize) + " of this " + std::to_string(saveSize) +
           "-byte save are kept, as asked; the last " + bytesText(dropped) + " are left out";
}

std::string paddingText(const Padding& padding, std::uint64_t bytes, bool leftOut) {
    std::string text = "the last " + bytesText(bytes) + " are " + fillText(padding.fill) +
                       (leftOut ? " padding and are left out" : " padding");
    if (padding.fillsFrom < layout::kMaxSaveSize) {
        text += "; everything past " + kibText(padding.fillsFrom) + " is padding too";
    }
    return text;
}

std::string extraBytesText(std::uint64_t extra) {
    return "the " + bytesText(extra) + " past the 32 KiB body are ignored";
}

std::string copiesDifferText() {
    return "the four 8 KiB copies differ, so all 32 KiB were written: nothing is lost, and an "
           "8 KiB save is whole in its first 8 KiB";
}

}  // namespace plimbrook
