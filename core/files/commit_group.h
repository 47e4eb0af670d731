#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/files/replacement_file.h"

namespace plimbrook {

// The new files of a batch, made durable together. The contents are synced only once all of them
// are written, by one sync of each file system, then each file is put in place, then each folder
// is synced once: where a sync waits for the device, as on an SD card, a batch then waits a few
// times instead of twice a file.
// The promise stays a single file's: after a crash at any moment each output is either its old
// file or the whole new one, and a file that fails keeps its old contents without stopping the
// others. Each file in the group holds its descriptor, and one for its folder unless the files
// share one (see FolderCache), until the group is committed.
class CommitGroup {
public:
    explicit CommitGroup(std::size_t capacity) : capacity_(capacity) {}

    // `label` names the file to whoever reads the failures.
    void add(std::unique_ptr<ReplacementFile> file, std::string label);
    bool full() const { return files_.size() >= capacity_; }
    bool empty() const { return files_.empty(); }

    // Commits every file added since the last commit; the ones that failed, with why.
    std::vector<std::pair<std::string, std::exception_ptr>> commit();

private:
    struct Entry {
        std::unique_ptr<ReplacementFile> file;
        std::string label;
        std::exception_ptr failure;
        std::optional<FileId> folder;
    };

    std::size_t capacity_;
    std::vector<Entry> files_;
};

}  // namespace plimbrook
