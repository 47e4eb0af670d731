#include "core/files/open_folder.h"

#include <string_view>
#include <vector>

#include "core/files/file_io.h"

namespace plimbrook {

using file_io::Descriptor;
using file_io::fail;
using file_io::retried;

namespace {

// The most links followed on the way to one folder, as the kernel allows.
constexpr int kMostLinks = 40;

#ifndef _WIN32
std::vector<std::string> componentsOf(std::string_view path) {
    std::vector<std::string> parts;
    while (!path.empty()) {
        const auto slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    return parts;
}

// The folder that `path` names from `at`; -1 with errno set where there is none. Each link on
// the way is checked before it is followed, and followed by opening its target the same way.
int walk(FileSystem& fs, int at, const std::string& path, const std::string& shown, int& links) {
    Descriptor current{fs};
    int base = at;
    if (path.starts_with('/')) {
        current.fd = retried([&] { return fs.openFolder(kWorkingFolder, "/", false); });
        base = current.fd;
    }
    if (base < 0 && base != kWorkingFolder) {
        return -1;
    }
    const auto parts = componentsOf(path);
    if (parts.empty()) {
        return current.fd >= 0 ? current.release()
                               : retried([&] { return fs.openFolder(base, ".", false); });
    }
    for (const std::string& part : parts) {
        int next = retried([&] { return fs.openFolder(base, part, false); });
        FileStatus entry{};
        if (next < 0 && (errno == ELOOP || errno == ENOTDIR) &&
            fs.lstatat(base, part, entry) == 0 && isSymbolicLink(entry)) {
            FileStatus folder{};
            if ((base == kWorkingFolder ? fs.stat(".", folder) : fs.fstat(base, folder)) != 0) {
                return -1;
            }
            if (isStrangersLink(folder, entry)) {
                fail(FileStep::UnsafeLink, shown, EACCES);
            }
            std::string target;
            if (++links > kMostLinks) {
                errno = ELOOP;
                return -1;
            }
            if (fs.readlinkat(base, part, target) < 0) {
                return -1;
            }
            next = walk(fs, target.starts_with('/') ? kWorkingFolder : base, target, shown, links);
        } else if (next < 0 && (errno == ELOOP || errno == ENOTDIR)) {
            errno = ENOTDIR;  // a file, or a link swapped for one meanwhile
        }
        if (next < 0) {
            return -1;
        }
        // A folder passed through is closed as any file is: a failure there fails the walk.
        if (current.fd >= 0 && fs.close(current.release()) != 0) {
            fs.close(next);
            return -1;
        }
        current.fd = next;
        base = next;
    }
    return current.release();
}
#endif

}  // namespace

bool isStrangersLink(const FileStatus& folder, const FileStatus& link) {
    return isSharedStickyFolder(folder) && link.st_uid != folder.st_uid &&
           link.st_uid != effectiveUser();
}

std::shared_ptr<OpenFolder> OpenFolder::open(FileSystem& fs, int at, const std::string& path) {
#ifdef _WIN32
    // Windows has no shared sticky folders: the system follows the path at once.
    const int fd = retried([&] { return fs.openFolder(at, path, true); });
#else
    int links = 0;
    const int fd = walk(fs, at, path, path, links);
#endif
    if (fd < 0) {
        fail(FileStep::Open, path);
    }
    FileStatus info{};
    if (fs.fstat(fd, info) != 0) {
        const int error = errno;
        fs.close(fd);
        fail(FileStep::Open, path, error);
    }
    return std::shared_ptr<OpenFolder>(new OpenFolder(fs, fd, info));
}

OpenFolder::OpenFolder(FileSystem& fs, int fd, const FileStatus& info)
    : fs_(fs), fd_(fd), id_(idOf(info)), newFileUser_(effectiveUser()) {
#ifdef _WIN32
    newFileGroup_ = effectiveGroup();
#else
    newFileGroup_ = (info.st_mode & S_ISGID) != 0 ? info.st_gid : effectiveGroup();
#endif
}

OpenFolder::~OpenFolder() {
    fs_.close(fd_);
}

std::shared_ptr<OpenFolder> FolderCache::open(FileSystem& fs, const std::string& path) {
    if (auto folder = folders_[path].lock()) {
        return folder;
    }
    auto folder = OpenFolder::open(fs, kWorkingFolder, path);
    folders_[path] = folder;
    return folder;
}

}  // namespace plimbrook
