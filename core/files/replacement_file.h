#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/files/file_system.h"
#include "core/files/open_folder.h"

namespace plimbrook {

struct ReplaceOptions {
    // The window's save dialog has asked before replacing; the command line refuses unless told.
    enum class Existing { Replace, Refuse };
    Existing existing = Existing::Replace;
    // Sees the file about to be replaced before anything is taken from it, and may throw to
    // keep it.
    std::function<void(FileId)> vetTarget;
    // Where a batch keeps its output folders open; without it, each file opens its own.
    FolderCache* folders = nullptr;
};

// An output that is put in place only when complete. Until commit(), the target is untouched.
// The new contents are written to a file with no name in the target's folder and named only at
// commit, so even a killed program leaves nothing behind; where the file system cannot do that,
// to a hidden temporary beside the target, removed when the replacement is discarded.
// A replacement starts as a copy of the old file, holes included, so bytes beyond the written
// range are kept, and takes over its mode, owner (where allowed) and extended attributes; a
// symbolic link is written through, except one that another user planted in a shared folder.
// Where the folder may not be written but the file may, the writes are kept back until commit()
// and then made in place: the file keeps all it had, but a crash during commit() can leave it
// part-written.
class ReplacementFile {
public:
    static std::unique_ptr<ReplacementFile> open(FileSystem& fs, const std::string& path,
                                                 const ReplaceOptions& options = {});
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    void write(std::uint64_t offset, std::span<const std::uint8_t> bytes);

    // Flushes the new contents to disk, puts them in place and makes that durable.
    void commit();

    // The steps of commit(), for a batch that makes many files durable together (see
    // CommitGroup): the last writes; the new contents on disk, by syncing either the file or
    // its whole file system; then in place; then the folder's record of it on disk, where
    // `sync` is false for all but one file of each folder.
    void finishWrites();
    void sync();
    bool syncFileSystem() noexcept;
    void install();
    void closeFolder(bool sync) noexcept;
    // The folder the target is in; nothing if the system will not say.
    std::optional<FileId> folderId() const;
    void discard() noexcept;

    // The hidden temporary holding the new contents; empty while they have no name.
    std::string temporaryPath() const;
    // The file the new contents are in, and stay in after commit().
    FileId id() const { return id_; }
    bool writesInPlace() const { return kind_ == Kind::InPlace; }

private:
    enum class Kind { Unnamed, Named, InPlace };

    ReplacementFile(FileSystem& fs, ReplaceOptions::Existing existing);
    void resolve(const std::string& path, FolderCache* folders);
    void followLink(const FileStatus& info);
    // The folder held open; -1 once it is let go.
    int dir() const { return folderHandle_ ? folderHandle_->fd() : -1; }
    void create(int old, const FileStatus& oldInfo);
    void createNamedTemporary(mode_t mode);
    void takeOver(int old, const FileStatus& oldInfo);
    void nameTemporary();
    void putInPlace();
    void forgetTemporary();

    FileSystem& fs_;
    ReplaceOptions::Existing existing_;
    std::shared_ptr<OpenFolder> folderHandle_;
    std::string folder_;  // dir() as the user would name it
    std::string name_;    // the target's entry in dir()
    std::string target_;
    bool exists_ = false;
    Kind kind_ = Kind::Unnamed;
    int fd_ = -1;
    FileId id_;
    std::string temporary_;  // a named temporary's entry in dir()
    int pendingSlot_ = -1;
    bool committed_ = false;
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> heldBack_;
};

}  // namespace plimbrook
