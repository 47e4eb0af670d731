#include "cli/commands.h"
#include "cli/info_json.h"
#include "cli/terminal_text.h"
#include "core/info_words.h"

namespace plimbrook::cli {

namespace {

void printLines(Batch& batch, const ReadOptions& how) {
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

// A file that cannot be read is in the document too, and named on standard error as always.
void printDocument(Batch& batch, const ReadOptions& how) {
    InfoDocument document;
    batch.each([&](const std::string& input) {
        try {
            batch.withInput(input, [&](InputFile& file) {
                document.add(input, readFile(file, how), fileCrcOf(file));
                return 0;
            });
        } catch (const FileFailure& failure) {
            document.addFailure(input, failure.reason);
            throw;
        }
    });
    document.print(batch.out());
}

}  // namespace

// A file is looked at as the conversion that takes it would: a copier file as to-srm does,
// anything else as to-bbd does; one that --format gd3 does not fit says why.
void printInfo(Batch& batch) {
    ReadOptions how;
    how.asGameDoctor = batch.options().format == CopierFormat::GameDoctor;
    if (batch.options().json) {
        printDocument(batch, how);
    } else {
        printLines(batch, how);
    }
}

}  // namespace plimbrook::cli
