#pragma once

#include <cstddef>
#include <exception>
#include <memory>
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
// Where the file system cannot make files without a name, each waits under a named temporary,
// which a SIGKILL would leave behind: a group then holds only a few of them at once.
// The group reaches the files' commit steps as ReplacementFile's friend.
class CommitGroup {
public:
    // How many named temporaries a group holds at most.
    static constexpr std::size_t kNamedAtOnce = 16;

    explicit CommitGroup(std::size_t capacity) : capacity_(capacity) {}

    // `label` names the file to whoever reads the failures.
    void add(std::unique_ptr<ReplacementFile> file, std::string label);
    bool full() const { return files_.size() >= capacity_ || named_ >= kNamedAtOnce; }
    bool empty() const { return files_.empty(); }

    // Commits every file added since the last commit; the ones that failed, with why.
    std::vector<std::pair<std::string, std::exception_ptr>> commit();

private:
    struct Entry {
        std::unique_ptr<ReplacementFile> file;
        std::string label;
        std::exception_ptr failure;
        FileId folder;
    };

    std::size_t capacity_;
    std::size_t named_ = 0;
    std::vector<Entry> files_;
};

}  // namespace plimbrook
