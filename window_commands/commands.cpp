#include "window_commands/commands.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/bbd_layout.h"
#include "core/save_detection.h"

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
[[noreturn]] void refuse(Dialogs& dialogs, const char* text) {
    dialogs.ShowMessage(text, MessageIcon::Warning, std::string(kAppTitle));
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
BbdBody bodyToWrite(Dialogs& dialogs, const SaveInput& input) {
    if (input.refusal) {
        refuse(dialogs, input.refusal == Refusal::AlreadyBbd          ? kAlreadyBbdText
                        : input.refusal == Refusal::DamagedCompressed ? kDamagedText
                                                                      : kTooLargeText);
    }
    const auto body = bodyFromSave(input.save);
    if (!body) {
        refuse(dialogs, kTooLargeText);
    }
    if (body->droppedBytes > 0 &&
        !dialogs.ConfirmWarning(droppedText(input.save.size(), *body), std::string(kAppTitle))) {
        throw Cancelled{};
    }
    return body->body;
}

// Where the copies differ, only the user knows whether the body is one 32 KiB save.
std::size_t sizeToGiveBack(Dialogs& dialogs, CopyAgreement copies) {
    std::size_t whenCopiesDiffer = kSizeChoices[0].size;
    if (copies == CopyAgreement::None) {
        std::vector<std::string> captions;
        for (const auto& choice : kSizeChoices) {
            captions.emplace_back(choice.caption);
        }
        const auto chosen =
            dialogs.PromptChoice(kCopiesDifferText, std::string(kAppTitle), captions, 0);
        if (!chosen) {
            throw Cancelled{};
        }
        whenCopiesDiffer = kSizeChoices.at(static_cast<std::size_t>(*chosen)).size;
    }
    return saveSizeFromBody(copies, whenCopiesDiffer);
}

// A BBD input that is a save, raw or compressed, is refused in words that fit the command.
void refuseSaves(Dialogs& dialogs, const BbdInput& input, const char* rawText,
                 const char* compressedText) {
    if (input.refusal == Refusal::CompressedAsBbd) {
        refuse(dialogs, compressedText);
    }
    if (input.refusal) {
        refuse(dialogs, rawText);
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

// The same name in the same folder with another extension: where a given file's counterpart
// goes unless the user says otherwise.
std::string withExtension(const std::string& path, const char* extension) {
    return std::filesystem::path(path).replace_extension(extension).string();
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
        channels.headerTemplate = InputFile::open(context.fs, context.templatePath);
        const HeaderTemplate header = readHeaderTemplate(*channels.headerTemplate);
        const BbdBody body = bodyToWrite(dialogs, readSaveInput(*channels.input));

        if (given) {
            dialogs.SetFileName(withExtension(*given, ".bbd"));
        }
        const std::string bbdPath =
            chosen(dialogs.PromptSaveFile("Save BBD File", kBbdFilters, kPreselectSecondFilter));
        channels.output = ReplacementFile::open(context.fs, bbdPath);
        writeBbdBody(*channels.output, header, body);

        const std::string comment = dialogs.PromptText("Please enter a Comment", "Enter Comment",
                                                       context.comment.commentText());
        writeBbdComment(*channels.output, comment);

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
        const BbdInput bbd = readBbdInput(*channels.input, BbdPart::HeaderAndBody);
        refuseSaves(dialogs, bbd, kRawSaveText, kCompressedText);
        const std::vector<std::uint8_t> save =
            saveFromBody(bbd.body, sizeToGiveBack(dialogs, compareCopies(bbd.body)));

        if (given) {
            dialogs.SetFileName(withExtension(*given, ".srm"));
        }
        const std::string savePath =
            chosen(dialogs.PromptSaveFile("Save SRAM File", kSramFilters, kPreselectSecondFilter));
        channels.output = ReplacementFile::open(context.fs, savePath);
        writeSramSave(*channels.output, save);

        closeAndCommit(channels);
        dialogs.ShowMessage("SRAM file created.", MessageIcon::Information, std::string(kAppTitle));
    });
}

// Whether a given file is a copier file, to be turned back into a save.
bool isCopierFile(FileSystem& fs, const std::string& path) {
    const auto file = InputFile::open(fs, path);
    const auto head = file->read(0, kProbeSize);
    return classifyFile(file->size(), head).kind == FileKind::CopierFile;
}

// One of several given files that was not converted, and why, for the closing message.
struct NotConverted {
    std::string why;
};

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// Several given files into one folder. Each is converted on its own: whatever stops one is
// noted and the next goes on.
class GivenFiles {
public:
    GivenFiles(CommandContext& context, std::string folder)
        : context_(context), dialogs_(context.dialogs), folder_(std::move(folder)) {}

    void convert(const std::string& path, bool toBbd, const HeaderTemplate& header,
                 const std::string& comment) {
        try {
            if (toBbd) {
                toBbdFile(path, header, comment);
            } else {
                toSramFile(path);
            }
            ++converted_;
        } catch (const NotConverted& failure) {
            notConverted(path, failure.why);
        } catch (const FileError& error) {
            notConverted(path, std::strerror(error.errorNumber()));
        }
    }

    void notConverted(const std::string& path, const std::string& why) {
        // Appended piece by piece: GCC 12 warns wrongly about `"\n" + std::string`.
        notConverted_ += '\n';
        notConverted_ += fileName(path);
        notConverted_ += ": ";
        notConverted_ += why;
    }

    // One message for the lot: how many were converted, and which were not.
    void tell() const {
        std::string text = converted_ == 0   ? std::string("No file was converted.")
                           : converted_ == 1 ? std::string("1 file converted.")
                                             : std::to_string(converted_) + " files converted.";
        if (!notConverted_.empty()) {
            text += "\n\nNot converted:" + notConverted_;
        }
        dialogs_.ShowMessage(
            text, notConverted_.empty() ? MessageIcon::Information : MessageIcon::Warning,
            std::string(kAppTitle));
    }

private:
    void toBbdFile(const std::string& path, const HeaderTemplate& header,
                   const std::string& comment) {
        const auto input = InputFile::open(context_.fs, path);
        const SaveInput save = readSaveInput(*input);
        if (save.refusal == Refusal::DamagedCompressed) {
            throw NotConverted{"the compressed save is damaged or cut short"};
        }
        const auto body = save.refusal ? std::nullopt : bodyFromSave(save.save);
        if (!body) {
            throw NotConverted{"larger than 32 KiB, the most the copier holds"};
        }
        if (body->droppedBytes > 0 &&
            !dialogs_.ConfirmWarning(
                fileName(path) + ":\n\n" + droppedText(save.save.size(), *body),
                std::string(kAppTitle))) {
            throw NotConverted{"stopped, as you asked"};
        }
        input->close();
        write(withExtension(path, ".bbd"), [&](ReplacementFile& file) {
            writeBbdBody(file, header, body->body);
            writeBbdComment(file, comment);
        });
    }

    void toSramFile(const std::string& path) {
        const auto input = InputFile::open(context_.fs, path);
        const BbdInput bbd = readBbdInput(*input, BbdPart::HeaderAndBody);
        std::size_t size = 0;
        try {
            size = sizeToGiveBack(dialogs_, compareCopies(bbd.body));
        } catch (const Cancelled&) {
            throw NotConverted{"stopped, as you asked"};
        }
        input->close();
        const std::vector<std::uint8_t> save = saveFromBody(bbd.body, size);
        write(withExtension(path, ".srm"),
              [&](ReplacementFile& file) { writeSramSave(file, save); });
    }

    // The new file in the chosen folder. One that exists is replaced only if the user says so;
    // one made by another program meanwhile is not replaced at all.
    template <typename Write>
    void write(const std::string& source, Write fill) {
        const std::string name = fileName(source);
        const std::string target = (std::filesystem::path(folder_) / name).string();
        ReplaceOptions options;
        options.existing = ReplaceOptions::Existing::Refuse;
        FileStatus info{};
        if (context_.fs.lstatat(kWorkingFolder, target, info) == 0) {
            if (!dialogs_.ConfirmWarning(name + " already exists.\n\nClick OK to replace it, or "
                                                "Cancel to keep it.",
                                         std::string(kAppTitle))) {
                throw NotConverted{"kept the existing " + name};
            }
            options.existing = ReplaceOptions::Existing::Replace;
        }
        try {
            const auto file = ReplacementFile::open(context_.fs, target, options);
            fill(*file);
            file->commit();
        } catch (const FileError& error) {
            if (error.step() == FileStep::Exists) {
                throw NotConverted{name + " was made meanwhile, and is kept"};
            }
            throw;
        }
    }

    CommandContext& context_;
    Dialogs& dialogs_;
    std::string folder_;
    int converted_ = 0;
    std::string notConverted_;
};

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
        const BbdInput bbd = readBbdInput(*channels.input, BbdPart::HeaderOnly);
        refuseSaves(dialogs, bbd, kRawSaveCommentText, kCompressedCommentText);
        if (!hasCommentField(bbd.file.copier)) {
            refuse(dialogs, bbd.file.copier == CopierFormat::ProFighter ? kProFighterCommentText
                                                                        : kSuperUfoCommentText);
        }
        std::string comment = commentOfHeader(bbd.header);

        // A text box ends its text at a zero byte, which would lose the rest of the comment;
        // a space keeps the other 76 characters where they were.
        std::replace(comment.begin(), comment.end(), '\0', ' ');
        context.comment.setCommentText(comment);
    });
}

Outcome ConvertGivenFile(CommandContext& context, const std::string& path) {
    bool copierFile = false;
    try {
        copierFile = isCopierFile(context.fs, path);
    } catch (const FileError& error) {
        return Outcome{Outcome::Kind::Failed, error};
    }
    return copierFile ? bbdToSram(context, path) : sramToBbd(context, path);
}

Outcome ConvertGivenFiles(CommandContext& context, const std::vector<std::string>& paths) {
    if (paths.size() == 1) {
        return ConvertGivenFile(context, paths.front());
    }
    auto& channels = context.channels;
    auto& dialogs = context.dialogs;
    return guarded(channels, [&] {
        channels.closeAll();

        // What each file holds decides its way; one that cannot even be read is named at the end.
        struct Given {
            std::string path;
            bool toBbd = false;
            std::optional<std::string> unreadable;
        };
        std::vector<Given> given;
        for (const std::string& path : paths) {
            try {
                given.push_back({path, !isCopierFile(context.fs, path), std::nullopt});
            } catch (const FileError& error) {
                given.push_back({path, false, std::strerror(error.errorNumber())});
            }
        }

        dialogs.SetFileName(paths.front());
        GivenFiles files(context,
                         chosen(dialogs.PromptFolder("Choose a Folder for the New Files")));
        std::string comment;
        HeaderTemplate header{};
        if (std::any_of(given.begin(), given.end(),
                        [](const Given& file) { return file.toBbd && !file.unreadable; })) {
            const auto headerTemplate = InputFile::open(context.fs, context.templatePath);
            header = readHeaderTemplate(*headerTemplate);
            headerTemplate->close();
            comment = dialogs.PromptText("Please enter a Comment", "Enter Comment",
                                         context.comment.commentText());
        }
        for (const Given& file : given) {
            if (file.unreadable) {
                files.notConverted(file.path, *file.unreadable);
            } else {
                files.convert(file.path, file.toBbd, header, comment);
            }
        }
        files.tell();
    });
}

}  // namespace plimbrook
