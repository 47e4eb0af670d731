#include "window_commands/commands.h"

#include <algorithm>
#include <vector>

#include "core/conversion.h"
#include "window_commands/command_guard.h"
#include "window_commands/command_steps.h"
#include "window_commands/given_files.h"
#include "window_commands/window_words.h"

namespace plimbrook {

namespace {

using namespace command_guard;
using namespace command_steps;
using namespace window_words;

// Opens the output the user chose; one that is the input itself is refused, not replaced.
void openOutput(CommandContext& context, const std::string& path) {
    const InputFile& input = *context.channels.input;
    context.channels.output = ReplacementFile::open(
        context.fs, path,
        keepingInput(context.fs, input, [&] { refuse(context.dialogs, kOutputIsInputText); }));
}

// SRAM -> BBD, on the save chosen at the open prompt or, if `given`, on that one.
Outcome sramToBbd(CommandContext& context, const std::optional<std::string>& given) {
    auto& channels = context.channels;
    auto& dialogs = context.dialogs;
    return guarded(channels, [&] {
        channels.closeAll();

        const std::string savePath =
            given ? *given
                  : chosen(dialogs.PromptOpenFile("Open SRAM File", kSramFilters,
                                                  kPreselectSecondFilter));
        channels.input = InputFile::open(context.fs, savePath);
        ConvertRequest request;
        request.header = readTemplate(context, channels);
        const FileReading reading = readFile(*channels.input);
        const Converted converted = convert(reading, request);
        if (!converted.ok()) {
            refuse(dialogs, toBbdRefusal(reading, converted));
        }
        if (converted.droppedBytes > 0 &&
            !dialogs.ConfirmWarning(droppedQuestion(reading.save.size(), converted),
                                    std::string(kAppTitle))) {
            throw Cancelled{};
        }

        if (given) {
            dialogs.SetFileName(withExtension(*given, ".bbd"));
        }
        openOutput(context, chosen(dialogs.PromptSaveFile("Save BBD File", kBbdFilters,
                                                          kPreselectSecondFilter)));
        channels.output->write(0, converted.bytes);

        const std::string comment = dialogs.PromptText("Please enter a Comment", "Enter Comment",
                                                       context.comment.commentText());
        channels.output->write(layout::kCommentOffset, encodeComment(comment));

        closeAndCommit(channels);
        dialogs.ShowMessage("Battery Backup Data file created.", MessageIcon::Information,
                            std::string(kAppTitle));
    });
}

// BBD -> SRAM, on the file chosen at the open prompt or, if `given`, on that one.
Outcome bbdToSram(CommandContext& context, const std::optional<std::string>& given) {
    auto& channels = context.channels;
    auto& dialogs = context.dialogs;
    return guarded(channels, [&] {
        channels.closeInput();
        channels.closeOutput();

        const std::string bbdPath =
            given ? *given
                  : chosen(dialogs.PromptOpenFile("Open BBD File", kBbdFilters,
                                                  kPreselectSecondFilter));
        channels.input = InputFile::open(context.fs, bbdPath);
        const FileReading reading = readFile(*channels.input);
        ConvertRequest request;
        request.direction = Direction::ToSave;
        Converted converted = convert(reading, request);
        if (!converted.ok()) {
            refuse(dialogs, toSramRefusal(reading, converted));
        }
        request.whenCopiesDiffer = askSizeWhenCopiesDiffer(dialogs, reading);
        converted = convert(reading, request);

        if (given) {
            dialogs.SetFileName(withExtension(*given, ".srm"));
        }
        openOutput(context, chosen(dialogs.PromptSaveFile("Save SRAM File", kSramFilters,
                                                          kPreselectSecondFilter)));
        channels.output->write(0, converted.bytes);

        closeAndCommit(channels);
        dialogs.ShowMessage("SRAM file created.", MessageIcon::Information, std::string(kAppTitle));
    });
}

}  // namespace

Outcome SRAM2BBD(CommandContext& context) {
    return sramToBbd(context, std::nullopt);
}

Outcome BBD2SRAM(CommandContext& context) {
    return bbdToSram(context, std::nullopt);
}

Outcome OpenBBDComment(CommandContext& context) {
    auto& channels = context.channels;
    auto& dialogs = context.dialogs;
    return guarded(channels, [&] {
        channels.closeInput();

        const std::string bbdPath =
            chosen(dialogs.PromptOpenFile("Open BBD File", kBbdFilters, kPreselectSecondFilter));
        channels.input = InputFile::open(context.fs, bbdPath);
        const FileReading reading = readFile(*channels.input);
        const auto comment = commentToCarry(reading);
        if (!comment) {
            refuse(dialogs, commentRefusal(reading));
        }
        context.comment.setCommentText(*comment);
    });
}

Outcome ConvertGivenFile(CommandContext& context, const std::string& path) {
    Direction direction = Direction::ToCopierFile;
    try {
        direction = directionOf(readGiven(context.fs, path));
    } catch (const FileError& error) {
        return Outcome{Outcome::Kind::Failed, error};
    }
    return direction == Direction::ToSave ? bbdToSram(context, path) : sramToBbd(context, path);
}

Outcome ConvertGivenFiles(CommandContext& context, const std::vector<std::string>& paths) {
    if (paths.size() == 1) {
        return ConvertGivenFile(context, paths.front());
    }
    return convertSeveral(context, paths);
}

}  // namespace plimbrook
