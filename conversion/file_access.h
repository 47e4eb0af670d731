#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace plimbrook {

// Which step of touching a file went wrong; the window tells the user nothing, the command line
// turns it into a reason, and tests check it.
enum class FileStep {
    Open,        // opening a file or the folder it is in
    NotRegular,  // the path names a directory, FIFO, device or socket
    Resolve,     // following a symbolic link
    UnsafeLink,  // a link in a shared sticky folder that neither we nor the folder's owner made
    Exists,      // the name is taken and replacing was not asked for
    Create,      // creating the new contents in the folder; the path is the folder's
    Read,
    Write,
    Sync,
    Link,    // giving the new contents a name beside the target
    Rename,  // putting them in place
    Close,
};

const char* toString(FileStep step);

class FileError : public std::runtime_error {
public:
    FileError(FileStep step, std::string path, int errorNumber);

    FileStep step() const { return step_; }
    const std::string& path() const { return path_; }
    int errorNumber() const { return errorNumber_; }

private:
    FileStep step_;
    std::string path_;
    int errorNumber_;
};

// A file as the system knows it, whatever name it is reached by.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    auto operator<=>(const FileId&) const = default;
};

FileId idOf(const struct stat& info);

// The one seam through which the program touches files. Each call behaves like the POSIX call of
// the same name: -1 and errno on failure. The `...at` calls take an open folder, or
// kWorkingFolder, so that a name is looked up once in a folder that cannot be swapped meanwhile.
// Tests put a failing or a racing file system in its place.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual int open(const std::string& path, int flags, mode_t mode) = 0;
    virtual int openat(int dir, const std::string& path, int flags, mode_t mode) = 0;
    // A folder to look names up in, create files in and sync; it may not be readable.
    virtual int openDirectory(int dir, const std::string& path) = 0;
    // A new file in the folder that has no name until linkUnnamed() gives it one, so that nothing
    // is left behind if the program dies. EOPNOTSUPP where the file system cannot.
    virtual int openUnnamed(int dir, mode_t mode) = 0;
    // Names a file made by openUnnamed(); EEXIST if the name is taken.
    virtual int linkUnnamed(int fd, int dir, const std::string& name) = 0;
    virtual int close(int fd) = 0;

    virtual int stat(const std::string& path, struct stat& info) = 0;
    virtual int fstat(int fd, struct stat& info) = 0;
    // The entry itself; a symbolic link is not followed.
    virtual int lstatat(int dir, const std::string& name, struct stat& info) = 0;
    // The link's target into `target`; the target's length, or -1.
    virtual ssize_t readlinkat(int dir, const std::string& name, std::string& target) = 0;

    virtual ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) = 0;
    virtual ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) = 0;
    // SEEK_DATA and SEEK_HOLE, to copy a sparse file without filling its holes.
    virtual off_t lseek(int fd, off_t offset, int whence) = 0;
    virtual int ftruncate(int fd, off_t length) = 0;
    virtual int fsync(int fd) = 0;

    virtual int fchmod(int fd, mode_t mode) = 0;
    virtual int fchown(int fd, uid_t owner, gid_t group) = 0;
    // Extended attributes, ACLs among them; the number of names, or -1.
    virtual ssize_t flistxattr(int fd, std::vector<std::string>& names) = 0;
    virtual ssize_t fgetxattr(int fd, const std::string& name, std::string& value) = 0;
    virtual int fsetxattr(int fd, const std::string& name, const std::string& value) = 0;

    // Without `replace`, EEXIST if `to` is taken; EINVAL where the file system cannot promise
    // that. Never follows a link at `to`.
    virtual int renameat(int fromDir, const std::string& from, int toDir, const std::string& to,
                         bool replace) = 0;
    virtual int linkat(int fromDir, const std::string& from, int toDir, const std::string& to) = 0;
    virtual int unlinkat(int dir, const std::string& name) = 0;
};

// The working folder, for the `...at` calls.
inline constexpr int kWorkingFolder = -100;

FileSystem& realFileSystem();

// A save or template opened for reading only. A path that names no file, or anything but a
// regular file (after following links), is refused before it is opened, so a FIFO cannot hang
// us and nothing is ever created.
class InputFile {
public:
    static std::unique_ptr<InputFile> open(FileSystem& fs, const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Up to `size` bytes from `offset`; fewer only where the file ends.
    std::vector<std::uint8_t> read(std::uint64_t offset, std::size_t size);

    // Closes the file, reporting a failure; the destructor closes quietly.
    void close();

    const std::string& path() const { return path_; }
    FileId id() const { return id_; }

private:
    InputFile(FileSystem& fs, std::string path, int fd, FileId id);

    FileSystem& fs_;
    std::string path_;
    int fd_;
    FileId id_;
};

struct ReplaceOptions {
    // The window's save dialog has asked before replacing; the command line refuses unless told.
    enum class Existing { Replace, Refuse };
    Existing existing = Existing::Replace;
    // Sees the file about to be replaced before anything is taken from it, and may throw to
    // keep it.
    std::function<void(FileId)> vetTarget;
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
    void discard() noexcept;

    // The file that will be replaced: the path chosen, with links followed.
    const std::string& targetPath() const { return target_; }
    // The hidden temporary holding the new contents; empty while they have no name.
    std::string temporaryPath() const;
    // The file the new contents are in, and stay in after commit().
    FileId id() const { return id_; }
    bool writesInPlace() const { return kind_ == Kind::InPlace; }

private:
    enum class Kind { Unnamed, Named, InPlace };

    ReplacementFile(FileSystem& fs, ReplaceOptions::Existing existing);
    void resolve(const std::string& path);
    void create(int old, const struct stat& oldInfo);
    void takeOver(int old, const struct stat& oldInfo);
    void nameTemporary();
    void putInPlace();
    void forgetTemporary();

    FileSystem& fs_;
    ReplaceOptions::Existing existing_;
    int dir_ = -1;
    std::string folder_;  // dir_ as the user would name it
    std::string name_;    // the target's entry in dir_
    std::string target_;
    bool exists_ = false;
    Kind kind_ = Kind::Unnamed;
    int fd_ = -1;
    FileId id_;
    std::string temporary_;  // a named temporary's entry in dir_
    int pendingSlot_ = -1;
    bool committed_ = false;
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> heldBack_;
};

// Makes a program ended by SIGTERM, SIGHUP, SIGINT, SIGQUIT or exit() first remove the named
// temporaries of replacements not yet committed; the target files are untouched either way.
// Also makes a file-size limit an ordinary write failure instead of a silent death by SIGXFSZ.
// Call once at start.
void removeTemporariesOnTermination();

// Prefix of the temporary files, so a test or a user can recognise strays.
inline constexpr const char* kTemporaryMarker = ".plimbrook-";

}  // namespace plimbrook
