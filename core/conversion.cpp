#include "core/conversion.h"

#include <algorithm>

#include "core/info_words.h"
#include "core/retron5.h"

namespace plimbrook {

namespace {

using Bytes = std::span<const std::uint8_t>;

Converted refused(const FileReading& reading, Refusal why) {
    Converted result;
    result.refusal = why;
    result.reason = reasonText(reading, why);
    return result;
}

void note(Converted& result, NoteKind kind, std::string text, bool warning = false) {
    result.notes.push_back({kind, std::move(text), warning});
}

// The save cut to the size asked for, and what the cut and any padding left out.
Bytes cutSave(const FileReading& reading, const ConvertRequest& request, Converted& result) {
    Bytes save = reading.save;
    std::uint64_t padding = reading.padding.bytes;
    if (request.size && save.size() > *request.size) {
        const std::size_t cut = save.size() - *request.size;
        // A cut that takes only padding is padding left out, not a piece of the save.
        if (reading.kind == FileKind::PaddedSave && reading.padding.fillsFrom <= *request.size) {
            padding += cut;
        } else {
            note(result, NoteKind::CutToSize, cutToSizeText(save.size(), *request.size, cut));
        }
        save = save.first(*request.size);
    }
    if (padding > 0) {
        note(result, NoteKind::PaddingLeftOut, paddingText(reading.padding, padding, true));
    }
    return save;
}

Converted toCopierFile(const FileReading& reading, const ConvertRequest& request) {
    Converted result;
    const Bytes save = cutSave(reading, request, result);
    const auto image = imageOfSave(save);
    if (!image) {
        return refused(reading, Refusal::TooLarge);
    }
    if (image->droppedBytes > 0) {
        note(result, NoteKind::DroppedBytes,
             droppedBytesText(save.size(), image->keptSize, image->droppedBytes), true);
    }
    result.bytes =
        copierFileBytes(request.copier, withComment(request.header, request.comment), *image);
    result.saveSize = image->keptSize;
    result.droppedBytes = image->droppedBytes;
    return result;
}

std::size_t saveSizeOf(const FileReading& reading, const ConvertRequest& request) {
    if (request.size) {
        return *request.size;
    }
    if (reading.ownSaveSize > 0) {
        return reading.ownSaveSize;
    }
    return saveSizeFromBody(compareCopies(reading.body), request.whenCopiesDiffer);
}

Converted toSave(const FileReading& reading, const ConvertRequest& request) {
    Converted result;
    const std::size_t size = saveSizeOf(reading, request);
    if (reading.extraBytes > 0) {
        note(result, NoteKind::ExtraBytes, extraBytesText(reading.extraBytes));
    }
    if (!request.size && reading.ownSaveSize == 0 && copiesDiffer(reading) &&
        size == layout::kMaxSaveSize) {
        note(result, NoteKind::CopiesDiffer, copiesDifferText());
    }
    result.bytes = saveFromBody(reading.body, size);
    if (request.saveFormat == SaveFormat::Retron5) {
        result.bytes = packRetron5(result.bytes);
    }
    result.saveSize = size;
    return result;
}

}  // namespace

Direction directionOf(const FileReading& reading) {
    return reading.kind == FileKind::CopierFile ? Direction::ToSave : Direction::ToCopierFile;
}

bool copiesDiffer(const FileReading& reading) {
    return reading.kind == FileKind::CopierFile && reading.ownSaveSize == 0 &&
           compareCopies(reading.body) == CopyAgreement::None;
}

Converted convert(const FileReading& reading, const ConvertRequest& request) {
    if (reading.refusal) {
        return refused(reading, *reading.refusal);
    }
    const bool copierFile = reading.kind == FileKind::CopierFile;
    if (request.direction == Direction::ToCopierFile) {
        return copierFile ? refused(reading, Refusal::CopierFileAsSave)
                          : toCopierFile(reading, request);
    }
    return copierFile ? toSave(reading, request) : refused(reading, Refusal::SaveAsCopierFile);
}

std::optional<std::string> commentToCarry(const FileReading& reading) {
    if (reading.kind != FileKind::CopierFile || reading.refusal ||
        !hasCommentField(reading.copier)) {
        return std::nullopt;
    }
    std::string comment = commentOfHeader(reading.header);
    std::replace(comment.begin(), comment.end(), '\0', ' ');
    return comment;
}

std::string_view extensionOf(const ConvertRequest& request) {
    if (request.direction == Direction::ToCopierFile) {
        return wordsOf(request.copier).extension;
    }
    return request.saveFormat == SaveFormat::Retron5 ? ".sav" : ".srm";
}

}  // namespace plimbrook
