// What the Windows file system and the clean-up of its temporaries share: names in UTF-16, the
// errno a Windows error stands for, and what a handle says of its file.
#include <windows.h>

#include <cerrno>
#include <optional>
#include <string>

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
        errno = errnoOf(::GetLastError());
        return -1;
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

int statPath(std::wstring path, FileStatus& info) {
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
    const HANDLE handle = ::CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = errnoOf(::GetLastError());
        return -1;
    }
    const int result = fill(handle, info);
    const int error = errno;
    ::CloseHandle(handle);
    if (result != 0) {
        errno = error;
        return -1;
    }
    if (mustBeFolder && !S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return -1;
    }
    return 0;
}

}  // namespace windows

}  // namespace plimbrook
