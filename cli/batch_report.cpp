#include "cli/batch_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "cli/program.h"
#include "cli/terminal_text.h"

namespace plimbrook::cli {

namespace {

using namespace std::chrono_literals;

// A batch shorter than this shows no progress; once shown, it is redrawn at most this often.
constexpr auto kQuietStart = 1s;
constexpr auto kRedraw = 200ms;

std::string durationText(double seconds) {
    const auto whole = static_cast<long long>(std::ceil(seconds));
    if (whole < 60) {
        return std::to_string(whole) + " s";
    }
    char text[32];
    if (whole < 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    }
    return text;
}

}  // namespace

std::string progressText(std::size_t done, std::size_t total,
                         std::chrono::duration<double> elapsed) {
    const double seconds = elapsed.count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    std::string text = std::to_string(done) + " of " + std::to_string(total) + " files, " +
                       std::to_string(static_cast<long long>(std::llround(rate))) + " files/s";
    if (rate > 0 && done < total) {
        text += ", " + durationText(static_cast<double>(total - done) / rate) + " left";
    }
    return text;
}

BatchReport::BatchReport(std::ostream& out, std::ostream& err, ReportSettings settings)
    : out_(out), err_(err), settings_(std::move(settings)) {
    if (settings_.quiet) {
        settings_.shown = false;
    }
}

std::chrono::steady_clock::time_point BatchReport::now() const {
    return settings_.now ? settings_.now() : std::chrono::steady_clock::now();
}

void BatchReport::start(std::size_t total) {
    total_ = total;
    if (settings_.shown) {
        start_ = now();
    }
}

void BatchReport::fileDone() {
    ++done_;
    if (!settings_.shown) {
        return;
    }
    const auto at = now();
    if (at - start_ >= kQuietStart && (drawn_ == 0 || at - lastDraw_ >= kRedraw)) {
        lastDraw_ = at;
        draw();
    }
}

// Redrawn over itself: a carriage return, and spaces over what a longer line left.
void BatchReport::draw() {
    const std::string text =
        std::string(kProgramName) + ": " + progressText(done_, total_, lastDraw_ - start_);
    err_ << '\r' << text;
    if (text.size() < drawn_) {
        err_ << std::string(drawn_ - text.size(), ' ');
    }
    err_.flush();
    drawn_ = std::max(drawn_, text.size());
}

void BatchReport::clearLine() {
    if (drawn_ > 0) {
        err_ << '\r' << std::string(drawn_, ' ') << '\r';
        drawn_ = 0;
    }
}

// A whole line, with the progress line out of its way and back after it.
void BatchReport::line(std::ostream& stream, std::string_view text) {
    const bool redraw = drawn_ > 0;
    clearLine();
    stream << text << '\n';
    if (redraw) {
        stream.flush();
        draw();
    }
}

void BatchReport::error(std::string_view text) {
    ++failed_;
    line(err_, text);
}

void BatchReport::note(std::string_view text) {
    if (!settings_.quiet) {
        line(err_, text);
    }
}

void BatchReport::pending(const std::string& input, const std::string& output) {
    pending_.push_back({input, output});
}

void BatchReport::dropLastPending() {
    pending_.pop_back();
}

void BatchReport::pendingFailed(const std::string& output) {
    for (Pending& file : pending_) {
        if (file.output == output) {
            file.failed = true;
        }
    }
}

void BatchReport::settle() {
    for (const Pending& file : pending_) {
        if (file.failed) {
            continue;
        }
        ++converted_;
        if (settings_.verbose) {
            line(out_, terminalSafe(file.input) + " -> " + terminalSafe(file.output));
        }
    }
    pending_.clear();
}

void BatchReport::finish() {
    clearLine();
    if (settings_.shown) {
        err_ << kProgramName << ": " << converted_ << " converted, " << skipped_ << " skipped, "
             << failed_ << " failed\n";
    }
}

}  // namespace plimbrook::cli
