#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "core/files/file_system.h"

namespace plimbrook {

namespace {

int native(int dir) {
    return dir == kWorkingFolder ? AT_FDCWD : dir;
}

template <typename Call>
auto retried(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

class RealFileSystem final : public FileSystem {
public:
    int open(const std::string& path, int flags, mode_t mode) override {
        return retried([&] { return ::open(path.c_str(), flags, mode); });
    }
    int openat(int dir, const std::string& path, int flags, mode_t mode) override {
        return retried([&] { return ::openat(native(dir), path.c_str(), flags, mode); });
    }
    int openDirectory(int dir, const std::string& path) override {
        const int fd = openat(dir, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
        if (fd < 0 && errno == EACCES) {
            // A folder we may write in but not list serves for all but its sync.
            return openat(dir, path, O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
        }
        return fd;
    }
    int openUnnamed(int dir, mode_t mode) override {
        // Without /proc, such a file could be named only by a privileged process. /proc does
        // not come or go while the program runs.
        static const bool canName = ::access("/proc/self/fd", X_OK) == 0;
        if (!canName) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    }
    int linkUnnamed(int fd, int dir, const std::string& name) override {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        return ::linkat(AT_FDCWD, self.c_str(), native(dir), name.c_str(), AT_SYMLINK_FOLLOW);
    }
    int close(int fd) override { return ::close(fd); }

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
    off_t lseek(int fd, off_t offset, int whence) override { return ::lseek(fd, offset, whence); }
    int ftruncate(int fd, off_t length) override {
        return retried([&] { return ::ftruncate(fd, length); });
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

    int renameat(int fromDir, const std::string& from, int toDir, const std::string& to,
                 bool replace) override {
        if (replace) {
            return ::renameat(native(fromDir), from.c_str(), native(toDir), to.c_str());
        }
        const int result =
            ::renameat2(native(fromDir), from.c_str(), native(toDir), to.c_str(), RENAME_NOREPLACE);
        if (result != 0 && errno == ENOSYS) {
            errno = EINVAL;
        }
        return result;
    }
    int linkat(int fromDir, const std::string& from, int toDir, const std::string& to) override {
        return ::linkat(native(fromDir), from.c_str(), native(toDir), to.c_str(), 0);
    }
    int unlinkat(int dir, const std::string& name) override {
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
