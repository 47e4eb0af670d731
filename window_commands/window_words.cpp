#include "window_commands/window_words.h"

#include "core/info_words.h"

namespace plimbrook::window_words {

namespace {

constexpr const char* kTooLargeText =
    "This save is larger than 32 KiB, the most the copier holds: it cannot be made into a BBD "
    "file.";
constexpr const char* kDamagedText =
    "This compressed save is damaged or cut short: take the save from the emulator again.";
constexpr const char* kRawSaveText =
    "This file looks like an SRAM save, not a BBD file: use SRAM -> BBD.";
constexpr const char* kCompressedText =
    "This file is a compressed SRAM save, not a BBD file: use SRAM -> BBD.";
constexpr const char* kRetron5Text =
    "This file is a Retron 5 save, not a BBD file: use SRAM -> BBD.";
constexpr const char* kRawSaveCommentText =
    "This file looks like an SRAM save, not a BBD file: choose a BBD file to load a comment from.";
constexpr const char* kCompressedCommentText =
    "This file is a compressed SRAM save, not a BBD file: choose a BBD file to load a comment "
    "from.";

// A save given where a BBD file is wanted, in the words that fit the command.
std::string saveNotBbd(const FileReading& reading, bool forComment) {
    if (reading.kind == FileKind::RetroArchSave) {
        return forComment ? kCompressedCommentText : kCompressedText;
    }
    if (reading.kind == FileKind::Retron5Save && !forComment) {
        return kRetron5Text;
    }
    return forComment ? kRawSaveCommentText : kRawSaveText;
}

std::string cannotRead(const FileReading& reading) {
    return "This file cannot be converted: " + reasonText(reading, *reading.refusal) + ".";
}

}  // namespace

std::string toBbdRefusal(const FileReading& reading, const Converted& converted) {
    switch (*converted.refusal) {
        case Refusal::CopierFileAsSave:
            return "This file is already a " + std::string(wordsOf(reading.copier).name) +
                   ": use BBD -> SRAM.";
        case Refusal::TooLarge:
            return kTooLargeText;
        case Refusal::DamagedCompressed:
            return kDamagedText;
        default:
            return cannotRead(reading);
    }
}

std::string toSramRefusal(const FileReading& reading, const Converted& converted) {
    if (converted.refusal == Refusal::SaveAsCopierFile) {
        return saveNotBbd(reading, false);
    }
    // A save the copier cannot hold is no BBD file either, and says so the same way.
    if (isSaveSide(reading.kind)) {
        return saveNotBbd(reading, false);
    }
    return cannotRead(reading);
}

std::string commentRefusal(const FileReading& reading) {
    if (isSaveSide(reading.kind)) {
        return saveNotBbd(reading, true);
    }
    if (reading.refusal) {
        return cannotRead(reading);
    }
    // Loaded from these, the comment box would be emptied by a header of zero bytes.
    return "This file is a " + std::string(wordsOf(reading.copier).name) +
           ", which holds no comment: choose a BBD file to load a comment from.";
}

std::string listedRefusal(const Converted& converted) {
    if (converted.refusal == Refusal::DamagedCompressed) {
        return "the compressed save is damaged or cut short";
    }
    return converted.reason;
}

std::string droppedQuestion(std::size_t saveSize, const Converted& converted) {
    const std::string last = converted.droppedBytes == 1
                                 ? std::string("the last byte")
                                 : "the last " + std::to_string(converted.droppedBytes) + " bytes";
    return "Only the first " + std::to_string(converted.saveSize / layout::kKiB) + " KiB of this " +
           std::to_string(saveSize) + "-byte save fit in a BBD file; " + last +
           " (a clock or other data an emulator added) will be left out.\n\nClick OK to go on "
           "without them, or Cancel to stop.";
}

}  // namespace plimbrook::window_words
