#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace plimbrook::cli {

using Clock = std::function<std::chrono::steady_clock::time_point()>;

struct ReportSettings {
    bool quiet = false;    // errors only
    bool verbose = false;  // a line on standard output for each file written
    // Progress and the summary: standard error is a terminal, or --progress.
    bool shown = false;
    Clock now = {};  // none: the steady clock
};

// What a batch tells as it goes: its errors and notes on standard error, a line for each file
// written with -v, a progress line redrawn in place once a batch takes longer than a second, and
// one summary line at the end. Files are counted as converted only once they are in place.
class BatchReport {
public:
    BatchReport(std::ostream& out, std::ostream& err, ReportSettings settings);

    void start(std::size_t total);
    // One input is done with, whatever became of it.
    void fileDone();
    // A failure: the line, and one more failed.
    void error(std::string_view line);
    // A line that is no error (a warning or a note); none with -q.
    void note(std::string_view line);
    void skipped() { ++skipped_; }

    // An output is written and waits to be put in place with the rest of its group.
    void pending(const std::string& input, const std::string& output);
    void dropLastPending();
    // The output `output` of the group will not be in place.
    void pendingFailed(const std::string& output);
    // The group is in place: the rest of its outputs are converted.
    void settle();

    // Takes the progress line away, and gives the summary where it is shown.
    void finish();

    std::size_t converted() const { return converted_; }
    std::size_t skippedCount() const { return skipped_; }
    std::size_t failed() const { return failed_; }

private:
    struct Pending {
        std::string input;
        std::string output;
        bool failed = false;
    };
    std::chrono::steady_clock::time_point now() const;
    void draw();
    void clearLine();
    void line(std::ostream& stream, std::string_view text);

    std::ostream& out_;
    std::ostream& err_;
    ReportSettings settings_;
    std::size_t total_ = 0;
    std::size_t done_ = 0;
    std::size_t converted_ = 0;
    std::size_t skipped_ = 0;
    std::size_t failed_ = 0;
    std::vector<Pending> pending_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    std::size_t drawn_ = 0;  // the width of the progress line on the terminal; 0: none there
};

// "12 of 300 files, 41 files/s, 7 s left": the progress line's text.
std::string progressText(std::size_t done, std::size_t total,
                         std::chrono::duration<double> elapsed);

}  // namespace plimbrook::cli
