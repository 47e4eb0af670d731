#include "cli/commands.h"
#include "cli/terminal_text.h"
#include "core/info_words.h"

namespace plimbrook::cli {

// A file is looked at as the conversion that takes it would: a copier file as to-srm does,
// anything else as to-bbd does; one that --format gd3 does not fit says why.
void printInfo(Batch& batch) {
    ReadOptions how;
    how.asGameDoctor = batch.options().format == CopierFormat::GameDoctor;
    batch.each([&](const std::string& input) {
        const auto lines = batch.withInput(input, [&](InputFile& file) {
            const FileReading reading = readFile(file, how);
            return infoLines(reading, fileCrcOf(file));
        });
        batch.out() << terminalSafe(input) << '\n';
        for (const InfoLine& line : lines) {
            batch.out() << "  " << line.key << ": " << terminalSafe(line.value) << '\n';
        }
    });
}

}  // namespace plimbrook::cli
