#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace plimbrook {

// Which step of touching a file went wrong; the user is told nothing, but tests are.
enum class FileStep {
    Open,        // opening or creating a file
    NotRegular,  // the path names a directory, FIFO, device or socket
    Resolve,     // following a symbolic link
    Read,
    Write,
    Sync,
    Rename,
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

// The one seam through which the program touches files. Each call behaves like the POSIX
// call of the same name: -1 and errno on failure. Tests put a failing one in its place.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual int open(const std::string& path, int flags, mode_t mode) = 0;
    virtual int close(int fd) = 0;
    virtual int stat(const std::string& path, struct stat& info) = 0;
    virtual int lstat(const std::string& path, struct stat& info) = 0;
    virtual int fstat(int fd, struct stat& info) = 0;
    // The link's target into `target`; the target's length, or -1.
    virtual ssize_t readlink(const std::string& path, std::string& target) = 0;
    virtual ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) = 0;
    virtual ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) = 0;
    virtual int fsync(int fd) = 0;
    virtual int fchmod(int fd, mode_t mode) = 0;
    virtual int fchown(int fd, uid_t owner, gid_t group) = 0;
    virtual int rename(const std::string& from, const std::string& to) = 0;
    virtual int unlink(const std::string& path) = 0;
};

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

    // The file's length now; a read may still find it shorter if it is cut meanwhile.
    std::uint64_t size();

    // Closes the file, reporting a failure; the destructor closes quietly.
    void close();

    const std::string& path() const { return path_; }

private:
    InputFile(FileSystem& fs, std::string path, int fd);

    FileSystem& fs_;
    std::string path_;
    int fd_;
};

// An output written beside its target and put in place only when complete. Until commit(), the
// target is untouched; a replacement that is destroyed uncommitted removes its temporary file.
// The new file starts as a copy of the old one, so bytes beyond the written range are kept, and
// it takes over the old file's permissions. A symbolic link is written through.
class ReplacementFile {
public:
    static std::unique_ptr<ReplacementFile> open(FileSystem& fs, const std::string& path);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    void write(std::uint64_t offset, std::span<const std::uint8_t> bytes);

    // Flushes the new contents to disk and renames them over the target.
    void commit();
    void discard() noexcept;

    // The file that will be replaced: the path chosen, with links followed.
    const std::string& targetPath() const { return target_; }
    const std::string& temporaryPath() const { return temporary_; }

private:
    ReplacementFile(FileSystem& fs, std::string target, std::string temporary, int fd);

    FileSystem& fs_;
    std::string target_;
    std::string temporary_;
    int fd_;
    bool committed_ = false;
    int pendingSlot_ = -1;
};

// Makes a program ended by SIGTERM, SIGHUP, SIGINT, SIGQUIT or exit() first remove the temporary
// files of replacements not yet committed; the target files are untouched either way. Call once
// at start. SIGKILL cannot be caught: after it, a hidden temporary stays beside the target.
void removeTemporariesOnTermination();

// Prefix of the temporary files, so a test or a user can recognise strays.
inline constexpr const char* kTemporaryMarker = ".plimbrook-";

}  // namespace plimbrook
