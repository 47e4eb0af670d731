#include "window_commands/given_files.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/conversion.h"
#include "window_commands/command_guard.h"
#include "window_commands/command_steps.h"
#include "window_commands/window_words.h"

namespace plimbrook {

namespace {

using namespace command_guard;
using namespace command_steps;
using namespace window_words;

// One of several given files that was not converted, and why, for the closing message.
struct NotConverted {
    std::string why;
};

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// What each given file holds decides its way; one that cannot even be read is named at the end.
struct Given {
    std::string path;
    Direction direction = Direction::ToCopierFile;
    std::optional<std::string> unreadable;
};

// Several given files into one folder. Each is converted on its own: whatever stops one is
// noted and the next goes on.
class GivenFiles {
public:
    GivenFiles(CommandContext& context, std::string folder)
        : context_(context), dialogs_(context.dialogs), folder_(std::move(folder)) {}

    void convert(const Given& given, const ConvertRequest& toBbd) {
        try {
            if (given.unreadable) {
                throw NotConverted{*given.unreadable};
            }
            convertOne(given, toBbd);
            ++converted_;
        } catch (const NotConverted& failure) {
            notConverted(given.path, failure.why);
        } catch (const FileError& error) {
            notConverted(given.path, std::strerror(error.errorNumber()));
        }
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
    void notConverted(const std::string& path, const std::string& why) {
        // Appended piece by piece: GCC 12 warns wrongly about `"\n" + std::string`.
        notConverted_ += '\n';
        notConverted_ += fileName(path);
        notConverted_ += ": ";
        notConverted_ += why;
    }

    void convertOne(const Given& given, ConvertRequest request) {
        const auto input = InputFile::open(context_.fs, given.path);
        const FileReading reading = readFile(*input);
        request.direction = given.direction;
        if (given.direction == Direction::ToSave) {
            try {
                request.whenCopiesDiffer = askSizeWhenCopiesDiffer(dialogs_, reading);
            } catch (const Cancelled&) {
                throw NotConverted{"stopped, as you asked"};
            }
        }
        const Converted converted = plimbrook::convert(reading, request);
        if (!converted.ok()) {
            throw NotConverted{listedRefusal(converted)};
        }
        if (converted.droppedBytes > 0 &&
            !dialogs_.ConfirmWarning(
                fileName(given.path) + ":\n\n" + droppedQuestion(reading.save.size(), converted),
                std::string(kAppTitle))) {
            throw NotConverted{"stopped, as you asked"};
        }
        ReplaceOptions options = keepingInput(
            context_.fs, *input, [] { throw NotConverted{"it would replace the file itself"}; });
        input->close();
        write(withExtension(given.path, extensionOf(request)), options, converted.bytes);
    }

    // The new file in the chosen folder. One that exists is replaced only if the user says so;
    // one made by another program meanwhile is not replaced at all, nor the file it is made from.
    void write(const std::string& source, ReplaceOptions options,
               const std::vector<std::uint8_t>& bytes) {
        const std::string name = fileName(source);
        const std::string target = (std::filesystem::path(folder_) / name).string();
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
            file->write(0, bytes);
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

std::vector<Given> lookAtEach(FileSystem& fs, const std::vector<std::string>& paths) {
    std::vector<Given> given;
    for (const std::string& path : paths) {
        try {
            given.push_back({path, directionOf(readGiven(fs, path)), std::nullopt});
        } catch (const FileError& error) {
            given.push_back({path, Direction::ToCopierFile, std::strerror(error.errorNumber())});
        }
    }
    return given;
}

}  // namespace

Outcome convertSeveral(CommandContext& context, const std::vector<std::string>& paths) {
    auto& channels = context.channels;
    auto& dialogs = context.dialogs;
    return guarded(channels, [&] {
        channels.closeAll();
        const std::vector<Given> given = lookAtEach(context.fs, paths);

        dialogs.SetFileName(paths.front());
        GivenFiles files(context,
                         chosen(dialogs.PromptFolder("Choose a Folder for the New Files")));
        ConvertRequest toBbd;
        if (std::any_of(given.begin(), given.end(), [](const Given& file) {
                return file.direction == Direction::ToCopierFile && !file.unreadable;
            })) {
            toBbd.header = readTemplate(context, channels);
            channels.closeTemplate();
            toBbd.comment = dialogs.PromptText("Please enter a Comment", "Enter Comment",
                                               context.comment.commentText());
        }
        for (const Given& file : given) {
            files.convert(file, toBbd);
        }
        files.tell();
    });
}

}  // namespace plimbrook
