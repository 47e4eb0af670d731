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
constexpr const char* kWrittenAlready = "also the output of an earlier file of this batch, ";

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

// 64-bit digests of names and files (FNV-1a), for the batch's record of what it touched.
std::uint64_t digestOf(std::string_view text, std::uint64_t hash = 14695981039346656037ull) {
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return hash;
}
std::uint64_t digestOf(FileId id) {
    const std::uint64_t parts[] = {id.device, id.inode};
    return digestOf(std::string_view(reinterpret_cast<const char*>(parts), sizeof parts));
}
std::uint64_t digestOf(const NameKey& key) {
    return digestOf(key.name, digestOf(key.folder));
}

// `path` from `folder`, whole and without "." and "..", as lexically_normal() gives it; on POSIX
// by hand, as a batch asks for each of its names.
std::string normalPath(const std::string& folder, const std::string& path) {
#ifdef _WIN32
    return nameOf((pathOf(folder) / pathOf(path)).lexically_normal());
#else
    const std::string whole = path.starts_with('/') ? path : folder + '/' + path;
    std::string normal;
    for (std::size_t at = 0; at < whole.size();) {
        const std::size_t end = std::min(whole.find('/', at), whole.size());
        const std::string_view part(whole.data() + at, end - at);
        if (part == "..") {
            normal.resize(normal.empty() ? 0 : normal.rfind('/'));
        } else if (!part.empty() && part != ".") {
            normal += '/';
            normal += part;
        }
        at = end + 1;
    }
    return normal.empty() ? "/" : normal;
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
    const std::string output = outputPathFor(options_, input, extension);
    report_.pending(input, output);
    // A group that fills up is put in place within write(), this output with it.
    committing_ = true;
    try {
        write(input, output, bytes);
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
    // Sized once for the whole batch: growing them as they fill rehashes every name again.
    const std::size_t count = options_.inputs.size();
    for (auto* names : {&readKeys_, &readPaths_, &read_}) {
        names->reserve(count);
    }
    written_.reserve(count);
    writtenPaths_.reserve(count);
    for (const std::string& input : options_.inputs) {
        FileStatus info{};
        if (fs_.stat(input, info) != 0) {
            unreadable_.emplace(input, errno);
            continue;
        }
        read_.insert(digestOf(idOf(info)));
        try {
            noteRead(input);
        } catch (const FileError& error) {
            unreadable_.emplace(input, error.errorNumber());
        }
    }
}

// Remembers the name `path` as one this batch reads; throws if its folder cannot be looked at.
void Batch::noteRead(const std::string& path) {
    const std::uint64_t key = keyOf(path);
    if (readPaths_.count(key) == 0) {
        readKeys_.insert(digestOf(nameKeyOf(fs_, path, &folderIds_)));
        readPaths_.insert(key);
    }
}

std::unique_ptr<InputFile> Batch::openInput(const std::string& path) {
    if (const auto it = unreadable_.find(path); it != unreadable_.end()) {
        throw FileError(FileStep::Open, path, it->second);
    }
    auto file = InputFile::open(fs_, path);
    read_.insert(digestOf(file->id()));
    noteRead(path);
    return file;
}

FileReading Batch::read(const std::string& path, const ReadOptions& how) {
    return withInput(path, [&](InputFile& file) {
        lastRead_ = file.id();
        return readFile(file, how);
    });
}

void Batch::write(const std::string& input, const std::string& output,
                  const std::vector<std::uint8_t>& bytes) {
    const OutputNames names{input, output, keyOf(input), keyOf(output)};
    refuseWrittenAlready(names);
    blame(output, [&] {
        ReplaceOptions replace;
        replace.existing =
            options_.force ? ReplaceOptions::Existing::Replace : ReplaceOptions::Existing::Refuse;
        replace.folders = &folders_;
        OutputTarget written;
        replace.vetTarget = [&](const OutputTarget& target) {
            refuseTaken(names, target);
            written = target;
        };
        auto file = ReplacementFile::open(fs_, output, replace);
        // The output's names are taken now, before it is written: no later file of the batch
        // may write there, whether this one succeeds or not.
        written_.emplace(digestOf(written.key), &input);
        writtenPaths_.emplace(names.outputKey, &input);
        if (written.path != output) {
            writtenPaths_.emplace(keyOf(written.path), &input);
        }
        file->write(0, bytes);
        pending_.add(std::move(file), output);
    });
    if (pending_.full()) {
        commitPending();
    }
}

// Where the output's name was made from the input's, the user can name another.
std::string Batch::outputIsInput() const {
    return options_.output ? kOutputIsInput
                           : std::string(kOutputIsInput) + " (use --output or --output-dir)";
}

// The path as this batch compares names: whole, without "." and "..", and folded for case.
std::uint64_t Batch::keyOf(const std::string& path) const {
    return digestOf(foldedForCase(normalPath(workingFolder_, path)));
}

// Two inputs of one batch may name the same output ("a.srm" and "a.sav"); even with --force,
// the second must not silently replace what the first just wrote. Nor may an output be its own
// input, as a Pro Fighter save given to to-bbd --format fig would be. Told from the names alone
// first, before the file system is asked.
void Batch::refuseWrittenAlready(const OutputNames& names) const {
    if (names.outputKey == names.inputKey) {
        throw FileFailure{names.output, outputIsInput()};
    }
    if (const auto earlier = writtenPaths_.find(names.outputKey); earlier != writtenPaths_.end()) {
        throw FileFailure{names.output, std::string(kWrittenAlready) + *earlier->second};
    }
}

// The same, for each name the output is reached by: by its folder's identity (a linked folder,
// ".." in the path) and by the file there now (a hard link; a name in another case on FAT).
void Batch::refuseTaken(const OutputNames& names, const OutputTarget& target) const {
    const std::string& output = names.output;
    const std::uint64_t key = digestOf(target.key);
    const std::uint64_t path = target.path == output ? names.outputKey : keyOf(target.path);
    if (key == digestOf(nameKeyOf(fs_, names.input, &folderIds_)) || target.existing == lastRead_ ||
        path == names.inputKey) {
        throw FileFailure{output, outputIsInput()};
    }
    const std::string* earlier = nullptr;
    if (const auto byFolder = written_.find(key); byFolder != written_.end()) {
        earlier = byFolder->second;
    } else if (const auto byPath = writtenPaths_.find(path); byPath != writtenPaths_.end()) {
        earlier = byPath->second;
    }
    if (earlier) {
        throw FileFailure{output, kWrittenAlready + *earlier};
    }
    if (readKeys_.count(key) != 0 || readPaths_.count(path) != 0 ||
        (target.existing && read_.count(digestOf(*target.existing)) != 0)) {
        throw FileFailure{output, "also read by this batch"};
    }
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
