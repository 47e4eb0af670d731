#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/files/file_system.h"
#include "core/files/open_folder.h"

namespace plimbrook {

class NewContents;

// A name that an output is reached by, as the output is opened: where it would be written, and
// what is there now.
struct OutputTarget {
    NameKey key;
    std::string path;                // as the user would name it
    std::optional<FileId> existing;  // the regular file at the name, if any
};

struct ReplaceOptions {
    // The window's save dialog has asked before replacing; the command line refuses unless told.
    enum class Existing { Replace, Refuse };
    Existing existing = Existing::Replace;
    // Sees each name the output is reached by (the one given, then the target of each link
    // followed; the last is where it is written) before anything is made, and may throw to
    // keep it.
    std::function<void(const OutputTarget&)> vetTarget;
    // Where a batch keeps its output folders open; without it, each file opens its own.
    FolderCache* folders = nullptr;
};

// An output that is put in place only when complete, holding exactly what was written: until
// commit(), the target is untouched.
// The new contents are written to a file with no name in the target's folder and named only at
// commit, so even a killed program leaves nothing behind; where the file system cannot do that,
// to a hidden temporary beside the target (see temporaryName). A replacement takes over the old
// file's mode, set-ID and sticky bits included, its owner (where allowed) and its extended
// attributes, ACLs among them; a symbolic link is written through, except one that another user
// planted in a shared folder.
// Where the folder may not be written but the file may, the writes are kept back until commit()
// and then made in place, once the size limit and the room on the device allow all of them:
// a crash during commit() can then leave the file part-written.
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
    // Throws the new contents away; the target stays as it was.
    void discard() noexcept;

private:
    friend class CommitGroup;

    ReplacementFile(std::shared_ptr<OpenFolder> folder, std::unique_ptr<NewContents> contents);

    // The steps of commit(), for a batch that makes many files durable together: the last
    // writes; the new contents on disk, by syncing either the file or its whole file system;
    // then in place; then the folder's record of it on disk, where `sync` is false for all but
    // one file of each folder.
    void finishWrites();
    void sync();
    bool syncFileSystem() noexcept;
    void install();
    void closeFolder(bool sync) noexcept;
    FileId folderId() const { return folderId_; }
    // Whether the new contents wait under a name of their own, which a SIGKILL would leave.
    bool named() const;
    NewContents& contents();

    std::shared_ptr<OpenFolder> folder_;
    FileId folderId_;
    std::unique_ptr<NewContents> contents_;
    bool committed_ = false;
};

}  // namespace plimbrook
