#include "cli/batch.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/terminal_text.h"

namespace plimbrook::cli {

namespace {

namespace stdfs = std::filesystem;

constexpr const char* kOutputIsInput = "the output would be the input itself";

// Names are UTF-8 in the program, but a path's narrow form on Windows is the ANSI code page.
stdfs::path pathOf(std::string_view name) {
    return stdfs::path(std::u8string(name.begin(), name.end()));
}
std::string nameOf(const stdfs::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

std::string outputPathFor(const ConvertOptions& options, const std::string& input,
                          std::string_view extension) {
    if (options.output) {
        return *options.output;
    }
    const stdfs::path inputPath = pathOf(input);
    const stdfs::path name = stdfs::path(inputPath.filename()).replace_extension(extension);
    const stdfs::path folder =
        options.outputDir ? pathOf(*options.outputDir) : inputPath.parent_path();
    return nameOf(folder / name);
}

// How many new files a batch keeps open before it commits them together: each holds up to two
// descriptors (its own, and its folder's where that is not shared), and some must stay free for
// the inputs and the program itself.
std::size_t commitGroupSize() {
    constexpr auto kMost = std::min<std::size_t>(2048, kPendingSlots);
#ifdef _WIN32
    return kMost;  // no limit on open files short of the memory
#else
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return kMost;
    }
    const auto open = static_cast<std::size_t>(limit.rlim_cur);
    return open <= 64 ? 1 : std::min(kMost, (open - 32) / 2);
#endif
}

std::string currentFolder() {
    std::error_code error;  // a folder removed under us: names stay as given
    return nameOf(stdfs::current_path(error));
}

}  // namespace

std::string reasonOf(const FileError& error) {
    const std::string cause = std::strerror(error.errorNumber());
    switch (error.step()) {
        case FileStep::NotRegular:
            return error.errorNumber() == EISDIR ? cause : "Not a regular file";
        case FileStep::Exists:
            return cause + " (use --force to replace it)";
        case FileStep::UnsafeLink:
            return "not following a link that another user made in a shared folder";
        case FileStep::Create:
            return "cannot create a file in " + error.path() + ": " + cause;
        default:
            return cause;
    }
}

Batch::Batch(const ConvertOptions& options, std::ostream& out, std::ostream& err, FileSystem& fs,
             ReportSettings report)
    : options_(options),
      out_(out),
      fs_(fs),
      workingFolder_(currentFolder()),
      pending_(commitGroupSize()),
      report_(out, err, std::move(report)) {}

void Batch::report(const FileFailure& failure) {
    if (committing_) {
        report_.pendingFailed(failure.path);
    }
    // With -n, an output that exists is left as it is, whenever that is found.
    if (options_.noClobber && failure.step == FileStep::Exists) {
        report_.skipped();
        return;
    }
    failed_ = true;
    report_.error(std::string(kProgramName) + ": " + terminalSafe(failure.path) + ": " +
                  terminalSafe(failure.reason));
}

void Batch::tell(const std::string& path, std::string_view kind, const std::string& text) {
    report_.note(std::string(kProgramName) + ": " + terminalSafe(path) + ": " + std::string(kind) +
                 ": " + terminalSafe(text));
}

void Batch::put(const std::string& input, std::string_view extension,
                const std::vector<std::uint8_t>& bytes) {
    report_.pending(input, outputPathFor(options_, input, extension));
    // A group that fills up is put in place within write(), this output with it.
    committing_ = true;
    try {
        write(input, extension, bytes);
    } catch (...) {
        committing_ = false;
        report_.dropLastPending();
        throw;
    }
    committing_ = false;
    if (pending_.empty()) {
        report_.settle();
    }
}

void Batch::noteInputs() {
    for (const std::string& input : options_.inputs) {
        FileStatus info{};
        if (fs_.stat(input, info) == 0) {
            read_.insert(idOf(info));
        } else {
            unreadable_.emplace(input, errno);
        }
    }
}

std::unique_ptr<InputFile> Batch::openInput(const std::string& path) {
    if (const auto it = unreadable_.find(path); it != unreadable_.end()) {
        throw FileError(FileStep::Open, path, it->second);
    }
    auto file = InputFile::open(fs_, path);
    read_.insert(file->id());
    return file;
}

FileReading Batch::read(const std::string& path, const ReadOptions& how) {
    return withInput(path, [&](InputFile& file) {
        lastRead_ = file.id();
        return readFile(file, how);
    });
}

void Batch::write(const std::string& input, std::string_view extension,
                  const std::vector<std::uint8_t>& bytes) {
    const std::string output = outputPathFor(options_, input, extension);
    std::string key = refuseWrittenAlready(input, output);
    blame(output, [&] {
        ReplaceOptions replace;
        replace.existing =
            options_.force ? ReplaceOptions::Existing::Replace : ReplaceOptions::Existing::Refuse;
        replace.folders = &folders_;
        replace.vetTarget = [&](FileId target) {
            if (target == lastRead_) {
                throw FileFailure{output, outputIsInput()};
            }
            if (writtenIds_.count(target) != 0) {
                throw FileFailure{output, "also the output of an earlier file of this batch"};
            }
            if (read_.count(target) != 0) {
                throw FileFailure{output, "also read by this batch"};
            }
        };
        auto file = ReplacementFile::open(fs_, output, replace);
        file->write(0, bytes);
        writtenIds_.insert(file->id());
        pending_.add(std::move(file), output);
    });
    written_.insert(std::move(key));
    if (pending_.full()) {
        commitPending();
    }
}

// Where the output's name was made from the input's, the user can name another.
std::string Batch::outputIsInput() const {
    return options_.output ? kOutputIsInput
                           : std::string(kOutputIsInput) + " (use --output or --output-dir)";
}

std::string Batch::keyOf(const std::string& path) const {
    return nameOf((pathOf(workingFolder_) / pathOf(path)).lexically_normal());
}

// Two inputs of one batch may name the same output ("a.srm" and "a.sav"); even with --force,
// the second must not silently replace what the first just wrote. Nor may an output be its own
// input, as a Pro Fighter save given to to-bbd --format fig would be.
std::string Batch::refuseWrittenAlready(const std::string& input, const std::string& output) const {
    std::string key = keyOf(output);
    if (key == keyOf(input)) {
        throw FileFailure{output, outputIsInput()};
    }
    if (written_.count(key) != 0) {
        throw FileFailure{output, "also the output of an earlier file of this batch"};
    }
    return key;
}

void Batch::commitPending() {
    for (const auto& failed : pending_.commit()) {
        once([&] { blame(failed.first, [&] { std::rethrow_exception(failed.second); }); });
    }
}

int Batch::finish() {
    committing_ = true;
    commitPending();
    committing_ = false;
    report_.settle();
    report_.finish();
    return failed_ ? kExitSomeFailed : kExitSuccess;
}

}  // namespace plimbrook::cli
