#include "window_commands/command_steps.h"

#include <cerrno>
#include <filesystem>

#include "core/default_template.h"
#include "window_commands/command_guard.h"
#include "window_commands/window_words.h"

namespace plimbrook::command_steps {

HeaderTemplate readTemplate(CommandContext& context, FileChannels& channels) {
    std::vector<std::uint8_t> bytes;
    try {
        channels.headerTemplate = InputFile::open(context.fs, context.templatePath);
        bytes = channels.headerTemplate->read(0, layout::kHeaderSize);
    } catch (const FileError& error) {
        // Gone, or a folder in its place, it is missing; any other failure ends the command
        // silently, as failures do.
        const int why = error.errorNumber();
        const bool notAFile =
            error.step() == FileStep::NotRegular && (why == EISDIR || why == EINVAL);
        if (why != ENOENT && !notAFile) {
            throw;
        }
        bytes.clear();
    }
    if (checkTemplate(bytes) == TemplateFault::TooShort) {
        context.dialogs.ShowMessage(std::string(kMissingTemplateText), MessageIcon::Critical,
                                    std::string(kAppTitle));
        throw command_guard::Refused{};
    }
    return headerOf(bytes);
}

FileReading readGiven(FileSystem& fs, const std::string& path) {
    const auto file = InputFile::open(fs, path);
    return readFile(*file);
}

std::size_t askSizeWhenCopiesDiffer(Dialogs& dialogs, const FileReading& reading) {
    using window_words::kSizeChoices;
    if (!copiesDiffer(reading)) {
        return kSizeChoices[0].size;
    }
    std::vector<std::string> captions;
    for (const auto& choice : kSizeChoices) {
        captions.emplace_back(choice.caption);
    }
    const auto picked =
        dialogs.PromptChoice(window_words::kCopiesDifferText, std::string(kAppTitle), captions, 0);
    if (!picked) {
        throw command_guard::Cancelled{};
    }
    return kSizeChoices.at(static_cast<std::size_t>(*picked)).size;
}

ReplaceOptions keepingInput(FileSystem& fs, const InputFile& input, std::function<void()> refuse) {
    ReplaceOptions options;
    options.vetTarget = [id = input.id(), key = nameKeyOf(fs, input.path()),
                         refuse = std::move(refuse)](const OutputTarget& target) {
        if (target.existing == id || target.key == key) {
            refuse();
        }
    };
    return options;
}

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

std::string withExtension(const std::string& path, std::string_view extension) {
    return std::filesystem::path(path).replace_extension(extension).string();
}

}  // namespace plimbrook::command_steps
