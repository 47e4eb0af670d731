#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bbd_layout.h"
#include "core/copier_formats.h"
#include "core/file_reading.h"
#include "core/save_image.h"

namespace plimbrook {

// The one way a file becomes another, shared by the window, the command line and the page: a
// reading of a file in (see readFile), the new file's bytes and what to say about them out.

enum class Direction { ToCopierFile, ToSave };

// The way a reading goes by itself: a copier file back to a save, anything else to a copier file.
Direction directionOf(const FileReading& reading);

// What a save is written as.
enum class SaveFormat { Srm, Retron5 };

struct ConvertRequest {
    Direction direction = Direction::ToCopierFile;
    CopierFormat copier = CopierFormat::SuperWildCard;
    SaveFormat saveFormat = SaveFormat::Srm;
    // The Super Wild Card's header and the comment that goes into it.
    HeaderTemplate header{};
    std::string comment;
    // To a copier file: the save cut to this many bytes, where it is longer. To a save: the save's
    // size. None: as the save, or the copier file's copies, say.
    std::optional<std::size_t> size;
    // To a save, where the copies differ and no size is asked for: the user's answer.
    std::size_t whenCopiesDiffer = layout::kMaxSaveSize;
};

// Something the user should know of a file that was still converted.
enum class NoteKind {
    DroppedBytes,    // trailing bytes of the save that the copier cannot hold (a warning)
    CutToSize,       // bytes past the size asked for
    PaddingLeftOut,  // padding past the save
    ExtraBytes,      // bytes past a copier file's body
    CopiesDiffer,    // all 32 KiB written, since the copies differ
};

struct ConvertNote {
    NoteKind kind;
    std::string text;
    bool warning = false;
};

struct Converted {
    std::optional<Refusal> refusal;
    std::string reason;  // the refusal in words, as info gives it
    std::vector<std::uint8_t> bytes;
    std::vector<ConvertNote> notes;
    std::size_t saveSize = 0;      // the save the new file holds or is
    std::size_t droppedBytes = 0;  // of the save, that the copier cannot hold

    bool ok() const { return !refusal; }
};

Converted convert(const FileReading& reading, const ConvertRequest& request);

// Where the copies differ, only the user can say how much of the body is the save: the window and
// the page ask, the command line takes all of it.
bool copiesDiffer(const FileReading& reading);

// The comment a file gives the next BBD file: a BBD file's, or one whose header is not known,
// with its zero bytes as spaces, since a text box would end the comment at the first. None for
// any other file: a save, or a copier's header of zero bytes that holds no comment.
std::optional<std::string> commentToCarry(const FileReading& reading);

// The extension of the file a request writes.
std::string_view extensionOf(const ConvertRequest& request);

}  // namespace plimbrook
