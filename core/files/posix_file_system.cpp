#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "core/files/file_system.h"

namespace plimbrook {

namespace {

int native(int dir) {
    return dir == kWorkingFolder ? AT_FDCWD : dir;
}

// Names a file made with O_TMPFILE. Through /proc it needs no privilege; by the descriptor itself
// (AT_EMPTY_PATH) it is one look-up less, where the kernel allows that.
int linkUnnamed(int fd, int dir, const char* name) {
    static std::atomic<bool> byDescriptor{true};
    if (byDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", native(dir), name, AT_EMPTY_PATH) == 0) {
            return 0;
        }
        if (errno != ENOENT && errno != EPERM) {
            return -1;
        }
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const int result = ::linkat(AT_FDCWD, self.c_str(), native(dir), name, AT_SYMLINK_FOLLOW);
    if (result == 0) {
        byDescriptor.store(false, std::memory_order_relaxed);
    }
    return result;
}

class RealFileSystem final : public FileSystem {
public:
    int open(const std::string& path, int flags, mode_t mode) override {
        return ::open(path.c_str(), flags, mode);
    }
    int openEntry(int dir, const std::string& name, int flags) override {
        return ::openat(native(dir), name.c_str(),
                        flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }
    int createNew(int dir, const std::string& name, mode_t mode) override {
        return ::openat(native(dir), name.c_str(),
                        O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    }
    int openFolder(int dir, const std::string& path, bool followLink) override {
        const int noFollow = followLink ? 0 : O_NOFOLLOW;
        const int fd =
            ::openat(native(dir), path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | noFollow);
        if (fd < 0 && errno == EACCES) {
            // A folder we may write in but not list serves for all but its sync.
            return ::openat(native(dir), path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | noFollow);
        }
        return fd;
    }
    int createUnnamed(int dir, mode_t mode) override {
        // Without /proc, such a file could be named only by a privileged process. /proc does
        // not come or go while the program runs.
        static const bool canName = ::access("/proc/self/fd", X_OK) == 0;
        if (!canName) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return ::openat(native(dir), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    }
    int nameUnnamed(int fd, int dir, const std::string& name) override {
        return linkUnnamed(fd, dir, name.c_str());
    }
    int close(int fd) override { return ::close(fd); }
    int listFolder(int dir, std::vector<std::string>& names) override {
        const int fd = ::openat(native(dir), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* folder = fd < 0 ? nullptr : ::fdopendir(fd);
        if (!folder) {
            if (fd >= 0) {
                ::close(fd);
            }
            return -1;
        }
        names.clear();
        errno = 0;
        while (const dirent* entry = ::readdir(folder)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") {
                names.emplace_back(name);
            }
        }
        const int error = errno;
        ::closedir(folder);
        errno = error;
        return error == 0 ? 0 : -1;
    }

    int stat(const std::string& path, FileStatus& info) override {
        return ::stat(path.c_str(), &info);
    }
    int fstat(int fd, FileStatus& info) override { return ::fstat(fd, &info); }
    int lstatat(int dir, const std::string& name, FileStatus& info) override {
        return ::fstatat(native(dir), name.c_str(), &info, AT_SYMLINK_NOFOLLOW);
    }
    ssize_t readlinkat(int dir, const std::string& name, std::string& target) override {
        std::vector<char> buffer(256);
        for (;;) {
            const ssize_t n = ::readlinkat(native(dir), name.c_str(), buffer.data(), buffer.size());
            if (n < 0) {
                return n;
            }
            if (static_cast<std::size_t>(n) < buffer.size()) {
                target.assign(buffer.data(), static_cast<std::size_t>(n));
                return n;
            }
            buffer.resize(buffer.size() * 2);
        }
    }

    ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) override {
        return ::pread(fd, buffer, count, offset);
    }
    ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override {
        return ::pwrite(fd, buffer, count, offset);
    }
    int setSize(int fd, off_t length) override { return ::ftruncate(fd, length); }
    int reserve(int fd, off_t length) override {
        return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length);
    }
    off_t largestFile() override {
        struct rlimit limit {};
        if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
            return -1;
        }
        return static_cast<off_t>(limit.rlim_cur);
    }
    int fsync(int fd) override { return ::fsync(fd); }
    int syncFileSystem(int fd) override { return ::syncfs(fd); }

    int fchmod(int fd, mode_t mode) override { return ::fchmod(fd, mode); }
    int fchown(int fd, uid_t owner, gid_t group) override { return ::fchown(fd, owner, group); }
    ssize_t flistxattr(int fd, std::vector<std::string>& names) override {
        for (;;) {
            const ssize_t size = ::flistxattr(fd, nullptr, 0);
            if (size <= 0) {
                names.clear();
                return size;
            }
            std::vector<char> buffer(static_cast<std::size_t>(size));
            const ssize_t n = ::flistxattr(fd, buffer.data(), buffer.size());
            if (n < 0 && errno == ERANGE) {
                continue;  // an attribute was added in between
            }
            if (n < 0) {
                return n;
            }
            names.clear();
            for (std::size_t at = 0; at < static_cast<std::size_t>(n);) {
                names.emplace_back(buffer.data() + at);
                at += names.back().size() + 1;
            }
            return static_cast<ssize_t>(names.size());
        }
    }
    ssize_t fgetxattr(int fd, const std::string& name, std::string& value) override {
        for (;;) {
            const ssize_t size = ::fgetxattr(fd, name.c_str(), nullptr, 0);
            if (size < 0) {
                return size;
            }
            value.resize(static_cast<std::size_t>(size));
            const ssize_t n = ::fgetxattr(fd, name.c_str(), value.data(), value.size());
            if (n < 0 && errno == ERANGE) {
                continue;
            }
            if (n >= 0) {
                value.resize(static_cast<std::size_t>(n));
            }
            return n;
        }
    }
    int fsetxattr(int fd, const std::string& name, const std::string& value) override {
        return ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0);
    }

    int rename(int dir, const std::string& from, const std::string& to, bool replace) override {
        if (replace) {
            return ::renameat(native(dir), from.c_str(), native(dir), to.c_str());
        }
        const int result =
            ::renameat2(native(dir), from.c_str(), native(dir), to.c_str(), RENAME_NOREPLACE);
        if (result != 0 && errno == ENOSYS) {
            errno = EINVAL;
        }
        return result;
    }
    int link(int dir, const std::string& from, const std::string& to) override {
        return ::linkat(native(dir), from.c_str(), native(dir), to.c_str(), 0);
    }
    int remove(int dir, const std::string& name) override {
        return ::unlinkat(native(dir), name.c_str(), 0);
    }
};

}  // namespace

uid_t effectiveUser() {
    return ::geteuid();
}

gid_t effectiveGroup() {
    return ::getegid();
}

FileSystem& realFileSystem() {
    static RealFileSystem fs;
    return fs;
}

}  // namespace plimbrook
