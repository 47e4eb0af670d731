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

namespace windows {

std::optional<std::wstring> wide(std::string_view text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) {
        return std::nullopt;
    }
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                          out.data(), size);
    return out;
}

std::string utf8(std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

int errnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:  // a wildcard or a colon in the name: no file is called that
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_NETWORK_ACCESS_DENIED:
            return EACCES;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_INVALID_PARAMETER:
        case ERROR_NEGATIVE_SEEK:
            return EINVAL;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION:
            return ENOTSUP;
        default:
            return EIO;
    }
}

SRWLOCK& creationLock() {
    static SRWLOCK lock = SRWLOCK_INIT;
    return lock;
}

}  // namespace windows

namespace {

using windows::errnoOf;

int failed(int error) {
    errno = error;
    return -1;
}

int failedWith(DWORD error) {
    return failed(errnoOf(error));
}

bool isSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

bool isAbsolute(const std::wstring& path) {
    return (!path.empty() && isSeparator(path[0])) || (path.size() >= 2 && path[1] == L':');
}

std::wstring fullPathOf(const std::wstring& path) {
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(length < size ? length : 0);
    return full.empty() ? path : full;
}

int fill(HANDLE handle, FileStatus& info) {
    info = {};
    // A console, such as CON, may be of no known type at all: a device as much as NUL is.
    switch (::GetFileType(handle)) {
        case FILE_TYPE_DISK:
            break;
        case FILE_TYPE_PIPE:
            info.st_mode = S_IFIFO;
            return 0;
        default:
            info.st_mode = S_IFCHR;
            return 0;
    }
    BY_HANDLE_FILE_INFORMATION file{};
    if (!::GetFileInformationByHandle(handle, &file)) {
        return failedWith(::GetLastError());
    }
    const bool folder = (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool readOnly = (file.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info.st_mode = (folder ? S_IFDIR : S_IFREG) | S_IREAD | (readOnly ? 0 : S_IWRITE);
    info.st_dev = file.dwVolumeSerialNumber;
    info.st_ino = (std::uint64_t{file.nFileIndexHigh} << 32) | file.nFileIndexLow;
    info.st_size =
        static_cast<off_t>((std::uint64_t{file.nFileSizeHigh} << 32) | file.nFileSizeLow);
    return 0;
}

// Names that Windows keeps for devices in every folder, whatever follows a dot: "NUL",
// "con.srm", "COM1 ". Such a name is never opened to be looked at, as a console or a serial
// port may not even open without waiting or failing.
bool isDeviceName(std::wstring_view path) {
    const auto slash = path.find_last_of(L"/\\:");
    std::wstring_view name = path.substr(slash == std::wstring_view::npos ? 0 : slash + 1);
    name = name.substr(0, name.find(L'.'));
    while (!name.empty() && name.back() == L' ') {
        name.remove_suffix(1);
    }
    const auto is = [&](std::wstring_view device, std::size_t length) {
        return name.size() >= length &&
               ::CompareStringOrdinal(name.data(), static_cast<int>(length), device.data(),
                                      static_cast<int>(device.size()), TRUE) == CSTR_EQUAL;
    };
    for (const std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (is(device, name.size())) {
            return true;
        }
    }
    const bool numbered = name.size() == 4 && name[3] >= L'1' && name[3] <= L'9';
    return numbered && (is(L"COM", 3) || is(L"LPT", 3));
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

    int open(const std::string& path, int flags, mode_t mode) override {
        return openat(kWorkingFolder, path, flags, mode);
    }

    int openat(int dir, const std::string& path, int flags, mode_t mode) override {
        std::wstring name;
        if (!at(dir, path, name)) {
            return -1;
        }
        const int access = flags & O_ACCMODE;
        const DWORD rights = access == O_RDONLY   ? GENERIC_READ
                             : access == O_WRONLY ? GENERIC_WRITE
                                                  : GENERIC_READ | GENERIC_WRITE;
        DWORD disposition = OPEN_EXISTING;
        if (flags & O_CREAT) {
            disposition = (flags & O_EXCL) ? CREATE_NEW : OPEN_ALWAYS;
        }
        const DWORD attributes = (flags & O_CREAT) && !(mode & S_IWRITE) ? FILE_ATTRIBUTE_READONLY
                                                                         : FILE_ATTRIBUTE_NORMAL;
        // A file made while a console event removes the temporaries would be missed; the
        // handler holds this lock to the end.
        const bool creating = (flags & O_CREAT) != 0;
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

    int openDirectory(int dir, const std::string& path) override {
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
    int openUnnamed(int, mode_t) override { return failed(EOPNOTSUPP); }
    int linkUnnamed(int, int, const std::string&) override { return failed(EOPNOTSUPP); }

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
    // No SEEK_DATA or SEEK_HOLE: a sparse file is copied whole.
    off_t lseek(int fd, off_t offset, int whence) override {
        const Entry* entry = find(fd);
        if (!entry) {
            return failed(EBADF);
        }
        const DWORD method = whence == SEEK_SET   ? FILE_BEGIN
                             : whence == SEEK_CUR ? FILE_CURRENT
                             : whence == SEEK_END ? FILE_END
                                                  : MAXDWORD;
        if (method == MAXDWORD) {
            return failed(EINVAL);
        }
        LARGE_INTEGER distance{};
        distance.QuadPart = offset;
        LARGE_INTEGER position{};
        if (!::SetFilePointerEx(entry->handle, distance, &position, method)) {
            return failedWith(::GetLastError());
        }
        return position.QuadPart;
    }
    int ftruncate(int fd, off_t length) override {
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

    int renameat(int fromDir, const std::string& from, int toDir, const std::string& to,
                 bool replace) override {
        std::wstring source;
        std::wstring target;
        if (!at(fromDir, from, source) || !at(toDir, to, target)) {
            return -1;
        }
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        return ::MoveFileExW(source.c_str(), target.c_str(), flags) ? 0
                                                                    : failedWith(::GetLastError());
    }
    int linkat(int fromDir, const std::string& from, int toDir, const std::string& to) override {
        std::wstring source;
        std::wstring target;
        if (!at(fromDir, from, source) || !at(toDir, to, target)) {
            return -1;
        }
        return ::CreateHardLinkW(target.c_str(), source.c_str(), nullptr)
                   ? 0
                   : failedWith(::GetLastError());
    }
    int unlinkat(int dir, const std::string& name) override {
        std::wstring path;
        if (!at(dir, name, path)) {
            return -1;
        }
        return ::DeleteFileW(path.c_str()) ? 0 : failedWith(::GetLastError());
    }

private:
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
        // "x\" is refused by Windows, but names the folder x, and nothing if x is a file.
        bool mustBeFolder = false;
        while (path.size() > 1 && isSeparator(path.back()) && path[path.size() - 2] != L':') {
            path.pop_back();
            mustBeFolder = true;
        }
        if (isDeviceName(path)) {
            info = {};
            info.st_mode = S_IFCHR;
            return 0;
        }
        const HANDLE handle =
            ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return failedWith(::GetLastError());
        }
        const int result = fill(handle, info);
        const int error = errno;
        ::CloseHandle(handle);
        if (result != 0) {
            return failed(error);
        }
        return mustBeFolder && !S_ISDIR(info.st_mode) ? failed(ENOTDIR) : 0;
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
