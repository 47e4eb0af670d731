#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "cli/batch_report.h"
#include "cli/convert_options.h"
#include "cli/program.h"
#include "core/file_reading.h"
#include "core/files/file_access.h"
#include "core/files/open_folder.h"

namespace plimbrook::cli {

// One file that could not be done, and why; the batch goes on without it.
struct FileFailure {
    FileFailure(std::string path, std::string reason, std::optional<FileStep> step = {})
        : path(std::move(path)), reason(std::move(reason)), step(step) {}
    std::string path;
    std::string reason;
    std::optional<FileStep> step;  // where a file step failed
};

// What every command of one invocation shares: its options, the two streams, the inputs it reads
// and the outputs it writes. Each input is done on its own: a failure is named on standard error
// and the next one goes on. Outputs are committed in groups (see CommitGroup).
class Batch {
public:
    Batch(const ConvertOptions& options, std::ostream& out, std::ostream& err, FileSystem& fs,
          ReportSettings report = {});

    const ConvertOptions& options() const { return options_; }
    std::ostream& out() { return out_; }

    // Runs `step` for each input; whatever it throws as a FileFailure is reported.
    template <typename Step>
    void each(Step step) {
        report_.start(options_.inputs.size());
        for (const std::string& input : options_.inputs) {
            try {
                step(input);
            } catch (const FileFailure& failure) {
                report(failure);
            }
            report_.fileDone();
        }
    }
    // Runs `step` once; a failure in it is reported.
    template <typename Step>
    void once(Step step) {
        try {
            step();
        } catch (const FileFailure& failure) {
            report(failure);
        }
    }

    // Opens `path` for reading and hands the file to `read`; any failure is blamed on `path`.
    template <typename Read>
    auto withInput(const std::string& path, Read read) {
        return blame(path, [&] {
            const auto file = openInput(path);
            auto result = read(*file);
            file->close();
            return result;
        });
    }
    FileReading read(const std::string& path, const ReadOptions& how = {});

    // Writes `bytes` as the output of `input`, with `extension` in place of its own unless the
    // options name the output; put in place with the rest of its commit group, counted for the
    // summary and told with -v once it is. The input must be the one read last.
    void put(const std::string& input, std::string_view extension,
             const std::vector<std::uint8_t>& bytes);

    // A line about a file that was still done: "NAME: KIND: TEXT".
    void tell(const std::string& path, std::string_view kind, const std::string& text);

    // Commits what is left and gives the summary; the exit status.
    int finish();

    // Every file the batch reads is noted before anything is written, so that no output
    // replaces one of them, whatever name it goes by.
    void noteInputs();

private:
    void report(const FileFailure& failure);
    // put()'s writing, to the output path it has worked out.
    void write(const std::string& input, const std::string& output,
               const std::vector<std::uint8_t>& bytes);
    std::unique_ptr<InputFile> openInput(const std::string& path);
    void noteRead(const std::string& path);
    std::uint64_t keyOf(const std::string& path) const;
    std::string outputIsInput() const;
    // The names of one output as this batch compares them (see keyOf).
    struct OutputNames {
        const std::string& input;
        const std::string& output;
        std::uint64_t inputKey;
        std::uint64_t outputKey;
    };
    void refuseWrittenAlready(const OutputNames& names) const;
    void refuseTaken(const OutputNames& names, const OutputTarget& target) const;
    void commitPending();

    template <typename Step>
    auto blame(const std::string& path, Step step) -> decltype(step());

    const ConvertOptions& options_;
    std::ostream& out_;
    FileSystem& fs_;
    bool failed_ = false;
    // Every name the batch writes or reads, each by its folder's identity and by its path, both
    // folded for case; for an output, the input it was made from. Kept as 64-bit digests, so that
    // a batch of 100,000 files stays small: two names that share one are taken as one, which
    // can refuse an output but never lose one.
    std::unordered_map<std::uint64_t, const std::string*> written_;
    std::unordered_map<std::uint64_t, const std::string*> writtenPaths_;
    std::unordered_set<std::uint64_t> readKeys_;
    std::unordered_set<std::uint64_t> readPaths_;
    std::unordered_set<std::uint64_t> read_;           // by device and inode
    mutable std::map<std::string, FileId> folderIds_;  // a cache of the folders looked at
    FileId lastRead_;
    std::map<std::string, int> unreadable_;  // inputs that could not even be looked at
    std::string workingFolder_;
    FolderCache folders_;
    CommitGroup pending_;  // outputs written and not yet in place
    BatchReport report_;
    // While a group is put in place: a failure reported then is of an output already written.
    bool committing_ = false;
};

// The reason the command line gives for a failed file step.
std::string reasonOf(const FileError& error);

template <typename Step>
auto Batch::blame(const std::string& path, Step step) -> decltype(step()) {
    // Whatever goes wrong is blamed on `path`, the name the user gave, not on a temporary file
    // or a link target they never saw.
    try {
        return step();
    } catch (const FileError& error) {
        throw FileFailure{path, reasonOf(error), error.step()};
    } catch (const std::exception& error) {
        throw FileFailure{path, error.what()};
    }
}

}  // namespace plimbrook::cli
