#include "core/files/file_io.h"
#include "core/files/new_contents.h"
#include "core/files/temporary_names.h"

namespace plimbrook {

using file_io::fail;
using file_io::joined;
using file_io::retried;
using file_io::split;

namespace {

// The most links followed from the output's name, as the kernel allows.
constexpr int kMostHops = 40;

void vet(const ReplaceOptions& options, const Target& target, const FileStatus* entry) {
    if (!options.vetTarget) {
        return;
    }
    std::optional<FileId> existing;
    if (entry && S_ISREG(entry->st_mode)) {
        existing = idOf(*entry);
    }
    options.vetTarget({{target.folder->id(), foldedForCase(target.name)}, target.shown, existing});
}

// Without leave to replace, anything at the name is kept; the reason given is the real one
// wherever replacing would fail too.
[[noreturn]] void refuseTaken(const Target& target, const FileStatus& entry) {
    if (S_ISDIR(entry.st_mode)) {
        fail(FileStep::NotRegular, target.shown, EISDIR);
    }
    if (!S_ISREG(entry.st_mode) && !isSymbolicLink(entry)) {
        fail(FileStep::NotRegular, target.shown, EINVAL);
    }
    fail(FileStep::Exists, target.shown, EEXIST);
}

// One step along a chain of links: the folder and name that the link at target.name points to.
void followLink(FileSystem& fs, Target& target, const FileStatus& link) {
    // In a sticky folder that anyone may write, such as /tmp, a link is followed only if we
    // or the folder's owner made it: another user could aim it at any file of ours.
    FileStatus folderInfo{};
    if (fs.fstat(target.dir(), folderInfo) != 0) {
        fail(FileStep::Resolve, target.shown);
    }
    if (isStrangersLink(folderInfo, link)) {
        fail(FileStep::UnsafeLink, target.shown, EACCES);
    }
    std::string to;
    if (fs.readlinkat(target.dir(), target.name, to) < 0) {
        fail(FileStep::Resolve, target.shown);
    }
    const bool absolute = to.starts_with('/');
    const std::string shown = absolute ? to : joined(target.folderPath, to);
    auto [linkFolder, linkName] = split(to);
    if (linkName.empty() || linkName == "." || linkName == "..") {
        fail(FileStep::NotRegular, shown, EISDIR);
    }
    target.folder = OpenFolder::open(fs, absolute ? kWorkingFolder : target.dir(), linkFolder);
    target.folderPath = absolute ? linkFolder : joined(target.folderPath, linkFolder);
    target.name = linkName;
    target.shown = shown;
}

std::shared_ptr<OpenFolder> openFolderOf(FileSystem& fs, const std::string& path,
                                         const std::string& folder, FolderCache* folders) {
    try {
        return folders ? folders->open(fs, folder) : OpenFolder::open(fs, kWorkingFolder, folder);
    } catch (const FileError& error) {
        throw FileError(error.step(), path, error.errorNumber());
    }
}

}  // namespace

Target resolveTarget(FileSystem& fs, const std::string& path, const ReplaceOptions& options) {
    auto [folder, name] = split(path);
    if (name.empty() || name == "." || name == "..") {
        // A name that can only be a folder: say whether there is one.
        FileStatus info{};
        if (fs.stat(path, info) != 0) {
            fail(FileStep::Open, path);
        }
        fail(FileStep::NotRegular, path, EISDIR);
    }
    Target target;
    target.folder = openFolderOf(fs, path, folder, options.folders);
    target.folderPath = folder;
    target.name = name;
    target.shown = path;
    target.replace = options.existing == ReplaceOptions::Existing::Replace;

    for (int hops = 0;; ++hops) {
        FileStatus entry{};
        if (fs.lstatat(target.dir(), target.name, entry) != 0) {
            if (errno != ENOENT) {
                fail(FileStep::Open, target.shown);
            }
            vet(options, target, nullptr);  // a new file; through a dangling link, at its target
            break;
        }
        vet(options, target, &entry);
        if (hops == 0 && !target.replace) {
            refuseTaken(target, entry);
        }
        if (S_ISREG(entry.st_mode)) {
            target.old = entry;
            break;
        }
        if (!isSymbolicLink(entry)) {
            fail(FileStep::NotRegular, target.shown, S_ISDIR(entry.st_mode) ? EISDIR : EINVAL);
        }
        if (hops == kMostHops) {
            fail(FileStep::Resolve, path, ELOOP);
        }
        followLink(fs, target, entry);
    }
    // Where the new contents go, a killed run's temporaries are cleared away first.
    if (!options.folders || options.folders->firstVisit(target.folder->id())) {
        removeDeadRunsTemporaries(fs, target.dir());
    }
    return target;
}

}  // namespace plimbrook
