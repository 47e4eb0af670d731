#include "cli/commands.h"
#include "cli/terminal_text.h"
#include "core/info_words.h"

namespace plimbrook::cli {

// Of several files, each comment follows its file's name, as grep -H does; of one, it stands
// alone, as scripts have always read it.
void printComments(Batch& batch) {
    const bool named = batch.options().inputs.size() > 1;
    batch.each([&](const std::string& input) {
        const FileReading reading = batch.read(input);
        if (reading.refusal) {
            throw FileFailure{input, reasonText(reading, *reading.refusal)};
        }
        if (reading.kind != FileKind::CopierFile) {
            throw FileFailure{input, reasonText(reading, Refusal::SaveAsCopierFile)};
        }
        // An empty line would pass for an empty comment.
        if (!hasCommentField(reading.copier)) {
            throw FileFailure{input,
                              "no comment field in a " + std::string(wordsOf(reading.copier).name)};
        }
        const std::string comment = commentOfHeader(reading.header);
        if (named) {
            batch.out() << terminalSafe(input) << ": ";
        }
        batch.out() << (batch.options().raw ? comment : commentOnOneLine(comment)) << '\n';
    });
}

}  // namespace plimbrook::cli
