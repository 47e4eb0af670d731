// The file-system seam on Windows. Descriptors are small numbers that index a table of handles;
// a folder's entry also keeps the folder's full path, since the `...at` calls name files in it.
// A folder is held open without FILE_SHARE_DELETE, so it cannot be renamed or removed while
// the program looks names up in it. Files are opened sharing deletion, as POSIX files are, so
// that a temporary can be removed even while it is still open.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/files/file_system.h"
#include "core/files/windows_support.h"

namespace plimbrook {

namespace {

using windows::errnoOf;
using windows::fill;
using windows::fullPathOf;
using windows::isAbsolute;
using windows::isDeviceName;
using windows::isSeparator;

int failed(int error) {
    errno = error;
    return -1;
}

int failedWith(DWORD error) {
    return failed(errnoOf(error));
}

class WindowsFileSystem final : public FileSystem {
public:
    // The full path of an open folder, or the working folder's.
    std::wstring folderOf(int dir) const {
        if (dir == kWorkingFolder) {
            return fullPathOf(L".");
        }
        const Entry* entry = find(dir);
        return entry && entry->folder ? entry->path : std::wstring();
    }

    int open(const std::string& path, int flags, mode_t) override {
        return openIn(kWorkingFolder, path, flags, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    }
    int openEntry(int dir, const std::string& name, int flags) override {
        return openIn(dir, name, flags, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    }
    int createNew(int dir, const std::string& name, mode_t mode) override {
        const DWORD attributes =
            (mode & S_IWRITE) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
        return openIn(dir, name, O_RDWR, CREATE_NEW, attributes);
    }

    // Windows has no shared sticky folders, so there is no link to refuse on the way.
    int openFolder(int dir, const std::string& path, bool) override {
        std::wstring name;
        if (!at(dir, path, name)) {
            return -1;
        }
        const HANDLE handle =
            ::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return failedWith(::GetLastError());
        }
        FileStatus info{};
        const int result = fill(handle, info);
        if (result != 0 || !S_ISDIR(info.st_mode)) {
            const int error = result != 0 ? errno : ENOTDIR;
            ::CloseHandle(handle);
            return failed(error);
        }
        return add({handle, true, fullPathOf(name)});
    }

    // Windows cannot name a file after the fact; the named temporary serves instead.
    int createUnnamed(int, mode_t) override { return failed(EOPNOTSUPP); }
    int nameUnnamed(int, int, const std::string&) override { return failed(EOPNOTSUPP); }

    int listFolder(int dir, std::vector<std::string>& names) override {
        std::wstring pattern;
        if (!at(dir, "*", pattern)) {
            return -1;
        }
        WIN32_FIND_DATAW found{};
        const HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                                 FindExSearchNameMatch, nullptr, 0);
        if (search == INVALID_HANDLE_VALUE) {
            return failedWith(::GetLastError());
        }
        names.clear();
        do {
            const std::wstring_view name = found.cFileName;
            if (name != L"." && name != L"..") {
                names.push_back(windows::utf8(name));
            }
        } while (::FindNextFileW(search, &found));
        const DWORD error = ::GetLastError();
        ::FindClose(search);
        return error == ERROR_NO_MORE_FILES ? 0 : failedWith(error);
    }

    int close(int fd) override {
        Entry* entry = find(fd);
        if (!entry) {
            return failed(EBADF);
        }
        const HANDLE handle = entry->handle;
        *entry = {};
        if (!::CloseHandle(handle)) {
            return failedWith(::GetLastError());
        }
        return 0;
    }

    // Windows has no stat by name: the file is opened for its attributes alone, which reads
    // nothing from it and blocks on nothing, a device or a pipe included.
    int stat(const std::string& path, FileStatus& info) override {
        return statAt(kWorkingFolder, path, info);
    }
    int fstat(int fd, FileStatus& info) override {
        const Entry* entry = find(fd);
        return entry ? fill(entry->handle, info) : failed(EBADF);
    }
    int lstatat(int dir, const std::string& name, FileStatus& info) override {
        return statAt(dir, name, info);
    }
    ssize_t readlinkat(int, const std::string&, std::string&) override { return failed(EINVAL); }

    ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) override {
        const Entry* entry = find(fd);
        if (!entry) {
            return failed(EBADF);
        }
        OVERLAPPED at = atOffset(offset);
        DWORD done = 0;
        if (!::ReadFile(entry->handle, buffer, chunk(count), &done, &at)) {
            const DWORD error = ::GetLastError();
            return error == ERROR_HANDLE_EOF ? 0 : failedWith(error);
        }
        return static_cast<ssize_t>(done);
    }
    ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override {
        const Entry* entry = find(fd);
        if (!entry) {
            return failed(EBADF);
        }
        OVERLAPPED at = atOffset(offset);
        DWORD done = 0;
        if (!::WriteFile(entry->handle, buffer, chunk(count), &done, &at)) {
            return failedWith(::GetLastError());
        }
        return static_cast<ssize_t>(done);
    }
    int setSize(int fd, off_t length) override {
        const Entry* entry = find(fd);
        if (!entry) {
            return failed(EBADF);
        }
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = length;
        if (!::SetFileInformationByHandle(entry->handle, FileEndOfFileInfo, &end, sizeof end)) {
            return failedWith(::GetLastError());
        }
        return 0;
    }
    // Room is set aside by writing; Windows has no limit on a file's size short of the volume's.
    int reserve(int, off_t) override { return failed(EOPNOTSUPP); }
    off_t largestFile() override { return -1; }
    // A rename with MOVEFILE_WRITE_THROUGH is durable when it returns; a folder has nothing
    // else to flush.
    int fsync(int fd) override {
        const Entry* entry = find(fd);
        if (!entry) {
            return failed(EBADF);
        }
        if (entry->folder) {
            return 0;
        }
        return ::FlushFileBuffers(entry->handle) ? 0 : failedWith(::GetLastError());
    }
    // Windows flushes a whole volume only for an administrator; each file is flushed instead.
    int syncFileSystem(int) override { return failed(ENOSYS); }

    // Modes, owners and extended attributes are not Windows's; its files keep their ACLs by
    // inheriting the folder's.
    int fchmod(int, mode_t) override { return failed(ENOTSUP); }
    int fchown(int, uid_t, gid_t) override { return failed(ENOTSUP); }
    ssize_t flistxattr(int, std::vector<std::string>&) override { return failed(ENOTSUP); }
    ssize_t fgetxattr(int, const std::string&, std::string&) override { return failed(ENOTSUP); }
    int fsetxattr(int, const std::string&, const std::string&) override { return failed(ENOTSUP); }

    int rename(int dir, const std::string& from, const std::string& to, bool replace) override {
        std::wstring source;
        std::wstring target;
        if (!at(dir, from, source) || !at(dir, to, target)) {
            return -1;
        }
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        return ::MoveFileExW(source.c_str(), target.c_str(), flags) ? 0
                                                                    : failedWith(::GetLastError());
    }
    int link(int dir, const std::string& from, const std::string& to) override {
        std::wstring source;
        std::wstring target;
        if (!at(dir, from, source) || !at(dir, to, target)) {
            return -1;
        }
        return ::CreateHardLinkW(target.c_str(), source.c_str(), nullptr)
                   ? 0
                   : failedWith(::GetLastError());
    }
    int remove(int dir, const std::string& name) override {
        std::wstring path;
        if (!at(dir, name, path)) {
            return -1;
        }
        return ::DeleteFileW(path.c_str()) ? 0 : failedWith(::GetLastError());
    }

private:
    // Opens `name` in `dir` as `disposition` says (OPEN_EXISTING or CREATE_NEW).
    int openIn(int dir, const std::string& path, int flags, DWORD disposition, DWORD attributes) {
        std::wstring name;
        if (!at(dir, path, name)) {
            return -1;
        }
        const int access = flags & O_ACCMODE;
        const DWORD rights = access == O_RDONLY   ? GENERIC_READ
                             : access == O_WRONLY ? GENERIC_WRITE
                                                  : GENERIC_READ | GENERIC_WRITE;
        // A file made while a console event removes the temporaries would be missed; the
        // handler holds this lock to the end.
        const bool creating = disposition != OPEN_EXISTING;
        if (creating) {
            ::AcquireSRWLockExclusive(&windows::creationLock());
        }
        const HANDLE handle = ::CreateFileW(name.c_str(), rights,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, disposition, attributes, nullptr);
        const DWORD error = ::GetLastError();
        if (creating) {
            ::ReleaseSRWLockExclusive(&windows::creationLock());
        }
        if (handle == INVALID_HANDLE_VALUE) {
            return failedWith(error);
        }
        return add({handle, false, name});
    }

    struct Entry {
        HANDLE handle = INVALID_HANDLE_VALUE;
        bool folder = false;
        std::wstring path;
    };

    const Entry* find(int fd) const {
        const auto index = static_cast<std::size_t>(fd);
        if (fd < 0 || index >= entries_.size() || entries_[index].handle == INVALID_HANDLE_VALUE) {
            return nullptr;
        }
        return &entries_[index];
    }
    Entry* find(int fd) { return const_cast<Entry*>(std::as_const(*this).find(fd)); }

    int add(Entry entry) {
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].handle == INVALID_HANDLE_VALUE) {
                entries_[i] = std::move(entry);
                return static_cast<int>(i);
            }
        }
        entries_.push_back(std::move(entry));
        return static_cast<int>(entries_.size() - 1);
    }

    // The path of `name` in the folder `dir`, in UTF-16; false with errno set if there is none.
    bool at(int dir, const std::string& name, std::wstring& path) const {
        const auto converted = windows::wide(name);
        if (!converted) {
            errno = ENOENT;
            return false;
        }
        if (dir == kWorkingFolder || isAbsolute(*converted)) {
            path = *converted;
            return true;
        }
        const Entry* entry = find(dir);
        if (!entry || !entry->folder) {
            errno = EBADF;
            return false;
        }
        path = entry->path;
        if (!path.empty() && !isSeparator(path.back())) {
            path += L'\\';
        }
        path += *converted;
        return true;
    }

    int statAt(int dir, const std::string& name, FileStatus& info) {
        std::wstring path;
        if (!at(dir, name, path)) {
            return -1;
        }
        return windows::statPath(std::move(path), info);
    }

    static OVERLAPPED atOffset(off_t offset) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
        return at;
    }
    static DWORD chunk(std::size_t count) {
        return static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    }

    std::vector<Entry> entries_;
};

WindowsFileSystem& windowsFileSystem() {
    static WindowsFileSystem fs;
    return fs;
}

}  // namespace

std::wstring windows::folderPath(int dir) {
    return windowsFileSystem().folderOf(dir);
}

FileSystem& realFileSystem() {
    return windowsFileSystem();
}

}  // namespace plimbrook
