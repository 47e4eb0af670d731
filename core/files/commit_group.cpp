#include "core/files/commit_group.h"

#include <map>
#include <set>

namespace plimbrook {

namespace {

// Below this many files, syncing each costs less than syncing a whole file system, which also
// writes out whatever other programs have left unwritten there.
constexpr std::size_t kSyncWholeFileSystemFrom = 8;

}  // namespace

void CommitGroup::add(std::unique_ptr<ReplacementFile> file, std::string label) {
    named_ += file->named() ? 1 : 0;
    const FileId folder = file->folderId();
    files_.push_back({std::move(file), std::move(label), nullptr, folder});
}

std::vector<std::pair<std::string, std::exception_ptr>> CommitGroup::commit() {
    // Each step runs over every file before the next step starts, and a file that fails a step
    // is left out of the later ones; the replacement it leaves uncommitted is thrown away.
    const auto step = [&](auto action) {
        for (Entry& entry : files_) {
            if (entry.failure) {
                continue;
            }
            try {
                action(entry);
            } catch (...) {
                entry.failure = std::current_exception();
                entry.file->discard();
            }
        }
    };
    step([](Entry& entry) { entry.file->finishWrites(); });

    // One sync of each file system puts every new file of it on the disk at once. The folder it
    // is asked through was opened before any of the group's files was written, so the answer
    // covers them all; where it fails, each file is synced on its own, to tell which are safe.
    std::map<decltype(FileId::device), bool> fileSystemSynced;
    if (files_.size() >= kSyncWholeFileSystemFrom) {
        for (Entry& entry : files_) {
            if (!entry.failure && fileSystemSynced.count(entry.folder.device) == 0) {
                fileSystemSynced[entry.folder.device] = entry.file->syncFileSystem();
            }
        }
    }
    step([&](Entry& entry) {
        if (!fileSystemSynced[entry.folder.device]) {
            entry.file->sync();
        }
    });
    step([](Entry& entry) { entry.file->install(); });

    std::set<FileId> synced;
    std::vector<std::pair<std::string, std::exception_ptr>> failures;
    for (Entry& entry : files_) {
        if (entry.failure) {
            failures.emplace_back(std::move(entry.label), entry.failure);
            continue;
        }
        entry.file->closeFolder(synced.insert(entry.folder).second);
    }
    files_.clear();
    named_ = 0;
    return failures;
}

}  // namespace plimbrook
