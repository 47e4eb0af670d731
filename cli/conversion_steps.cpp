#include "cli/conversion_steps.h"

#include "core/info_words.h"

namespace plimbrook::cli {

namespace {

// The core's reason, and where the command line can say what to do instead, that too.
std::string refusalText(const FileReading& reading, const Converted& converted) {
    std::string text = converted.reason;
    if (converted.refusal == Refusal::CopierFileAsSave) {
        text += " (use to-srm)";
    }
    // Only its size could tell a Game Doctor save from a raw one, and it does not.
    if (converted.refusal == Refusal::SaveAsCopierFile && reading.kind == FileKind::RawSave &&
        reading.fileSize == layout::kGameDoctorSaveSize) {
        text += " (--format gd3 reads it as a Game Doctor save)";
    }
    return text;
}

// What the command line adds to a note: the option that does what the note leaves open.
std::string noteText(const FileReading& reading, const ConvertNote& note) {
    if (note.kind == NoteKind::PaddingLeftOut && reading.padding.fillsFrom < layout::kMaxSaveSize) {
        return note.text + " (--size " + std::to_string(reading.padding.fillsFrom / layout::kKiB) +
               " keeps it as a save of that size)";
    }
    return note.text;
}

}  // namespace

void convertEach(Batch& batch, const ConvertRequest& request, const ReadOptions& how) {
    batch.each([&](const std::string& input) {
        const FileReading reading = batch.read(input, how);
        const Converted converted = convert(reading, request);
        if (!converted.ok()) {
            throw FileFailure{input, refusalText(reading, converted)};
        }
        for (const ConvertNote& note : converted.notes) {
            batch.tell(input, note.warning ? "warning" : "note", noteText(reading, note));
        }
        batch.put(input, extensionOf(request), converted.bytes);
    });
}

}  // namespace plimbrook::cli
