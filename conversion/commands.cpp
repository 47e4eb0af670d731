#include "commands.h"

#include <algorithm>
#include <array>
#include <vector>

#include "app_facts.h"
#include "bbd_layout.h"
#include "save_detection.h"

namespace plimbrook {

namespace {

constexpr const char* kSramFilters = "All Files (*.*)|*.*|SRAM Save File (*.srm)|*.srm";
constexpr const char* kBbdFilters = "All Files (*.*)|*.*|BBD File (*.bbd)|*.bbd";
constexpr int kPreselectSecondFilter = 2;

// The window's words for inputs it will not take. Each says what to do instead.
constexpr const char* kAlreadyBbdText = "This file is already a BBD file: use BBD -> SRAM.";
constexpr const char* kTooLargeText =
    "This save is larger than 32 KiB, the most the copier holds: it cannot be made into a BBD "
    "file.";
constexpr const char* kDamagedText =
    "This compressed save is damaged or cut short: take the save from the emulator again.";
constexpr const char* kRawSaveText =
    "This file looks like an SRAM save, not a BBD file: use SRAM -> BBD.";
constexpr const char* kCompressedText =
    "This file is a compressed SRAM save, not a BBD file: use SRAM -> BBD.";
constexpr const char* kRawSaveCommentText =
    "This file looks like an SRAM save, not a BBD file: choose a BBD file to load a comment from.";
constexpr const char* kCompressedCommentText =
    "This file is a compressed SRAM save, not a BBD file: choose a BBD file to load a comment "
    "from.";
// Loaded from these, the comment box would be emptied by a header of zero bytes.
constexpr const char* kProFighterCommentText =
    "This file is a Pro Fighter save, which holds no comment: choose a BBD file to load a "
    "comment from.";
constexpr const char* kSuperUfoCommentText =
    "This file is a Super UFO save, which holds no comment: choose a BBD file to load a comment "
    "from.";
static_assert(layout::kMaxSaveSize == 32 * 1024);

constexpr const char* kCopiesDifferText =
    "The four 8 KiB copies in this BBD file differ. It may hold one 32 KiB save, or an 8 KiB save "
    "beside leftovers of other games.\n\nWrite the whole 32 KiB, which loses nothing, or only the "
    "first 8 KiB?";

// The answers to kCopiesDifferText, the first the default.
struct SizeChoice {
    const char* caption;
    std::size_t size;
};
constexpr std::array<SizeChoice, 2> kSizeChoices = {{
    {"Whole 32 KiB", layout::kMaxSaveSize},
    {"First 8 KiB", layout::kSramSize},
}};
static_assert(layout::kSramSize == 8 * 1024);

struct Cancelled {};
struct Refused {};

// Tells the user why the input will not do, then ends the command.
[[noreturn]] void refuse(Platform& platform, const char* text) {
    platform.ShowMessage(text, MessageIcon::Warning, std::string(kAppTitle));
    throw Refused{};
}

std::string kibText(std::size_t bytes) {
    return std::to_string(bytes / layout::kKiB) + " KiB";
}

std::string droppedText(std::size_t saveSize, const BodyFromSave& body) {
    const std::string last = body.droppedBytes == 1
                                 ? std::string("the last byte")
                                 : "the last " + std::to_string(body.droppedBytes) + " bytes";
    return "Only the first " + kibText(body.keptSize) + " of this " + std::to_string(saveSize) +
           "-byte save fit in a BBD file; " + last +
           " (a clock or other data an emulator added) will be left out.\n\nClick OK to go on "
           "without them, or Cancel to stop.";
}

// The body that holds the save, once the user has heard of any bytes it cannot hold.
BbdBody bodyToWrite(Platform& platform, const SaveInput& input) {
    if (input.refusal) {
        refuse(platform, input.refusal == Refusal::AlreadyBbd          ? kAlreadyBbdText
                         : input.refusal == Refusal::DamagedCompressed ? kDamagedText
                                                                       : kTooLargeText);
    }
    const auto body = bodyFromSave(input.save);
    if (!body) {
        refuse(platform, kTooLargeText);
    }
    if (body->droppedBytes > 0 &&
        !platform.ConfirmWarning(droppedText(input.save.size(), *body), std::string(kAppTitle))) {
        throw Cancelled{};
    }
    return body->body;
}

// Where the copies differ, only the user knows whether the body is one 32 KiB save.
std::size_t sizeToGiveBack(Platform& platform, CopyAgreement copies) {
    std::size_t whenCopiesDiffer = kSizeChoices[0].size;
    if (copies == CopyAgreement::None) {
        std::vector<std::string> captions;
        for (const auto& choice : kSizeChoices) {
            captions.emplace_back(choice.caption);
        }
        const auto chosen =
            platform.PromptChoice(kCopiesDifferText, std::string(kAppTitle), captions, 0);
        if (!chosen) {
            throw Cancelled{};
        }
        whenCopiesDiffer = kSizeChoices.at(static_cast<std::size_t>(*chosen)).size;
    }
    return saveSizeFromBody(copies, whenCopiesDiffer);
}

// A BBD input that is a save, raw or compressed, is refused in words that fit the command.
void refuseSaves(Platform& platform, const BbdInput& input, const char* rawText,
                 const char* compressedText) {
    if (input.refusal == Refusal::CompressedAsBbd) {
        refuse(platform, compressedText);
    }
    if (input.refusal) {
        refuse(platform, rawText);
    }
}

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
    } catch (const Refused&) {
        outcome.kind = Outcome::Kind::Refused;
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
        const BbdBody body = bodyToWrite(platform, readSaveInput(*channels.input));

        const std::string bbdPath =
            chosen(platform.PromptSaveFile("Save BBD File", kBbdFilters, kPreselectSecondFilter));
        channels.output = ReplacementFile::open(context.fs, bbdPath);
        writeBbdBody(*channels.output, header, body);

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
        const BbdInput bbd = readBbdInput(*channels.input, BbdPart::HeaderAndBody);
        refuseSaves(platform, bbd, kRawSaveText, kCompressedText);
        const std::vector<std::uint8_t> save =
            saveFromBody(bbd.body, sizeToGiveBack(platform, compareCopies(bbd.body)));

        const std::string savePath =
            chosen(platform.PromptSaveFile("Save SRAM File", kSramFilters, kPreselectSecondFilter));
        channels.output = ReplacementFile::open(context.fs, savePath);
        writeSramSave(*channels.output, save);

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
        const BbdInput bbd = readBbdInput(*channels.input, BbdPart::HeaderOnly);
        refuseSaves(platform, bbd, kRawSaveCommentText, kCompressedCommentText);
        if (!hasCommentField(bbd.file.copier)) {
            refuse(platform, bbd.file.copier == CopierFormat::ProFighter ? kProFighterCommentText
                                                                         : kSuperUfoCommentText);
        }
        std::string comment = commentOfHeader(bbd.header);

        // A text box ends its text at a zero byte, which would lose the rest of the comment;
        // a space keeps the other 76 characters where they were.
        std::replace(comment.begin(), comment.end(), '\0', ' ');
        platform.setCommentText(comment);
    });
}

}  // namespace plimbrook
