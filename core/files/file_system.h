#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace plimbrook {

// The seam speaks POSIX on every system. Windows lacks some of its names and has others too
// small for it (a 32-bit off_t; a stat with a 16-bit inode number cannot tell files apart), so
// there these stand in for them, in this namespace only.
#ifdef _WIN32
using off_t = std::int64_t;
using uid_t = unsigned;
using gid_t = unsigned;

struct FileStatus {
    std::uint64_t st_dev = 0;  // the volume's serial number
    std::uint64_t st_ino = 0;  // the file's index on the volume
    unsigned st_mode = 0;      // S_IFREG, S_IFDIR, S_IFCHR or S_IFIFO
    uid_t st_uid = 0;
    gid_t st_gid = 0;
    off_t st_size = 0;
};

// Windows has no descriptor flags for these, or needs none: handles are not inherited unless
// asked for, opening a file never blocks, and the file system reports no links.
inline constexpr int O_CLOEXEC = O_NOINHERIT;
inline constexpr int O_NOCTTY = 0;
inline constexpr int O_NONBLOCK = 0;
inline constexpr int O_NOFOLLOW = 0;
inline constexpr int EDQUOT = ENOSPC;

inline bool isSymbolicLink(const FileStatus&) {
    return false;
}
inline bool isSharedStickyFolder(const FileStatus&) {
    return false;
}
inline uid_t effectiveUser() {
    return 0;
}
inline gid_t effectiveGroup() {
    return 0;
}
#else
using FileStatus = struct ::stat;

inline bool isSymbolicLink(const FileStatus& info) {
    return S_ISLNK(info.st_mode);
}
// A sticky folder that anyone may write, such as /tmp.
inline bool isSharedStickyFolder(const FileStatus& info) {
    return (info.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
}
uid_t effectiveUser();
gid_t effectiveGroup();
#endif

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
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileId&) const = default;
};

FileId idOf(const FileStatus& info);

// A name as one run may reach it twice: the folder it is in, and the name folded for case. Names
// that differ only in case are one file on FAT, where copier cards live, and on Windows; they
// are taken as one everywhere, since a FUSE driver may give each spelling a number of its own.
struct NameKey {
    FileId folder;
    std::string name;
    auto operator<=>(const NameKey&) const = default;
};

// ASCII letters in lower case; everything else as it is.
std::string foldedForCase(std::string_view name);

// The one seam through which the program touches files: -1 and errno on failure, as POSIX calls
// do. Where a call is named after a POSIX call, it behaves like it; the others are named by what
// the file layer needs of them. The calls that take a folder take an open folder, or
// kWorkingFolder, so that a name is looked up once in a folder that cannot be swapped meanwhile;
// their names are single entries of that folder. A call may fail with EINTR; the file layer
// tries it again. Tests put a failing or a racing file system in its place.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // A file to read, by path, links followed; `flags` as for open().
    virtual int open(const std::string& path, int flags, mode_t mode) = 0;
    // The entry `name` of a folder, opened with `flags` (O_RDONLY or O_RDWR) without following a
    // link there, blocking on nothing.
    virtual int openEntry(int dir, const std::string& name, int flags) = 0;
    // A new file at `name`, for reading and writing; EEXIST if the name is taken, by anything,
    // a dangling link included.
    virtual int createNew(int dir, const std::string& name, mode_t mode) = 0;
    // A folder to look names up in, create files in and sync; it may not be readable. A link at
    // `path` is followed only if `followLink`: without, ELOOP or ENOTDIR.
    virtual int openFolder(int dir, const std::string& path, bool followLink) = 0;
    // A new file in the folder that has no name until nameUnnamed() gives it one, so that nothing
    // is left behind if the program dies. EOPNOTSUPP where the file system cannot.
    virtual int createUnnamed(int dir, mode_t mode) = 0;
    // Names a file made by createUnnamed(); EEXIST if the name is taken.
    virtual int nameUnnamed(int fd, int dir, const std::string& name) = 0;
    virtual int close(int fd) = 0;
    // The names in a folder, "." and ".." left out.
    virtual int listFolder(int dir, std::vector<std::string>& names) = 0;

    virtual int stat(const std::string& path, FileStatus& info) = 0;
    virtual int fstat(int fd, FileStatus& info) = 0;
    // The entry itself; a symbolic link is not followed.
    virtual int lstatat(int dir, const std::string& name, FileStatus& info) = 0;
    // The link's target into `target`; the target's length, or -1.
    virtual ssize_t readlinkat(int dir, const std::string& name, std::string& target) = 0;

    virtual ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) = 0;
    virtual ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) = 0;
    // Cuts the file to `length` bytes, or fills it with zeros up to there.
    virtual int setSize(int fd, off_t length) = 0;
    // Sets aside room on the device for the file's first `length` bytes without changing its
    // size, so that a full disk shows before anything is written; EOPNOTSUPP where the file
    // system cannot.
    virtual int reserve(int fd, off_t length) = 0;
    // The largest file this process may write (ulimit -f); -1 if there is no limit.
    virtual off_t largestFile() = 0;
    virtual int fsync(int fd) = 0;
    // Writes out everything the file system of `fd` holds unwritten, as syncfs() does; ENOSYS
    // where the system cannot.
    virtual int syncFileSystem(int fd) = 0;

    virtual int fchmod(int fd, mode_t mode) = 0;
    virtual int fchown(int fd, uid_t owner, gid_t group) = 0;
    // Extended attributes, ACLs among them; the number of names, or -1.
    virtual ssize_t flistxattr(int fd, std::vector<std::string>& names) = 0;
    virtual ssize_t fgetxattr(int fd, const std::string& name, std::string& value) = 0;
    virtual int fsetxattr(int fd, const std::string& name, const std::string& value) = 0;

    // Renames within one folder. Without `replace`, EEXIST if `to` is taken; EINVAL where the
    // file system cannot promise that. Never follows a link at `to`.
    virtual int rename(int dir, const std::string& from, const std::string& to, bool replace) = 0;
    // A second name in the same folder; EEXIST if `to` is taken, EPERM or EOPNOTSUPP where the
    // file system has no links.
    virtual int link(int dir, const std::string& from, const std::string& to) = 0;
    virtual int remove(int dir, const std::string& name) = 0;
};

// The working folder, for the `...at` calls.
inline constexpr int kWorkingFolder = -100;

FileSystem& realFileSystem();

}  // namespace plimbrook
