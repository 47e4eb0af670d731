#include "commands.h"

#include <algorithm>

#include "app_facts.h"
#include "bbd_layout.h"

namespace plimbrook {

namespace {

constexpr const char* kSramFilters = "All Files (*.*)|*.*|SRAM Save File (*.srm)|*.srm";
constexpr const char* kBbdFilters = "All Files (*.*)|*.*|BBD File (*.bbd)|*.bbd";
constexpr int kPreselectSecondFilter = 2;

struct Cancelled {};

std::string chosen(std::optional<std::string> path) {
    if (!path) {
        throw Cancelled{};
    }
    return *std::move(path);
}

// The one failure guard of a command. Whatever ends it early, an output not yet committed is
// thrown away here, so the user's file is never left half-written.
template <typename Body>
Outcome guarded(FileChannels& channels, Body body) {
    Outcome outcome;
    try {
        body();
        return outcome;
    } catch (const Cancelled&) {
        outcome.kind = Outcome::Kind::Cancelled;
    } catch (const FileError& error) {
        outcome.kind = Outcome::Kind::Failed;
        outcome.error = error;
    } catch (const std::exception&) {
        outcome.kind = Outcome::Kind::Failed;
    }
    channels.closeOutput();
    return outcome;
}

// Inputs are closed before the output is committed, so that a failure anywhere leaves the
// target untouched and no success is reported.
void closeAndCommit(FileChannels& channels) {
    if (channels.input) {
        channels.input->close();
        channels.closeInput();
    }
    if (channels.headerTemplate) {
        channels.headerTemplate->close();
        channels.closeTemplate();
    }
    channels.output->commit();
    channels.closeOutput();
}

}  // namespace

Outcome SRAM2BBD(CommandContext& context) {
    auto& channels = context.channels;
    auto& platform = context.platform;
    return guarded(channels, [&] {
        channels.closeInput();
        channels.closeTemplate();
        channels.closeOutput();

        const std::string savePath =
            chosen(platform.PromptOpenFile("Open SRAM File", kSramFilters, kPreselectSecondFilter));
        channels.input = InputFile::open(context.fs, savePath);
        channels.headerTemplate = InputFile::open(context.fs, context.templatePath);
        const HeaderTemplate header = readHeaderTemplate(*channels.headerTemplate);
        const SramImage image = readSramSave(*channels.input);

        const std::string bbdPath =
            chosen(platform.PromptSaveFile("Save BBD File", kBbdFilters, kPreselectSecondFilter));
        channels.output = ReplacementFile::open(context.fs, bbdPath);
        writeBbdBody(*channels.output, header, image);

        const std::string comment =
            platform.PromptText("Please enter a Comment", "Enter Comment", platform.commentText());
        writeBbdComment(*channels.output, comment);

        closeAndCommit(channels);
        platform.ShowMessage("Battery Backup Data file created.", MessageIcon::Information,
                             std::string(kAppTitle));
    });
}

Outcome BBD2SRAM(CommandContext& context) {
    auto& channels = context.channels;
    auto& platform = context.platform;
    return guarded(channels, [&] {
        channels.closeInput();
        channels.closeOutput();

        const std::string bbdPath =
            chosen(platform.PromptOpenFile("Open BBD File", kBbdFilters, kPreselectSecondFilter));
        channels.input = InputFile::open(context.fs, bbdPath);
        const SramImage image = readBbdImage(*channels.input);

        const std::string savePath =
            chosen(platform.PromptSaveFile("Save SRAM File", kSramFilters, kPreselectSecondFilter));
        channels.output = ReplacementFile::open(context.fs, savePath);
        writeSramSave(*channels.output, image);

        closeAndCommit(channels);
        platform.ShowMessage("SRAM file created.", MessageIcon::Information,
                             std::string(kAppTitle));
    });
}

Outcome OpenBBDComment(CommandContext& context) {
    auto& channels = context.channels;
    auto& platform = context.platform;
    return guarded(channels, [&] {
        channels.closeInput();

        const std::string bbdPath =
            chosen(platform.PromptOpenFile("Open BBD File", kBbdFilters, kPreselectSecondFilter));
        channels.input = InputFile::open(context.fs, bbdPath);
        std::string comment = readBbdComment(*channels.input);

        // A text box ends its text at a zero byte, which would lose the rest of the comment;
        // a space keeps the other 76 characters where they were.
        std::replace(comment.begin(), comment.end(), '\0', ' ');
        platform.setCommentText(comment);
    });
}

}  // namespace plimbrook
