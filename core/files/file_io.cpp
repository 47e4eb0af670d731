#include "core/files/file_io.h"

#include <fcntl.h>

namespace plimbrook::file_io {

namespace {

// Windows takes either slash; the root of a drive keeps its own, as in "C:\" or "C:/".
#ifdef _WIN32
constexpr const char* kSeparators = "/\\";
constexpr char kSeparator = '\\';
#else
constexpr const char* kSeparators = "/";
constexpr char kSeparator = '/';
#endif

}  // namespace

std::string joined(const std::string& folder, const std::string& name) {
    if (folder == ".") {
        return name;
    }
    const bool ends = !folder.empty() && folder.find_last_of(kSeparators) == folder.size() - 1;
    return ends ? folder + name : folder + kSeparator + name;
}

SplitPath split(const std::string& path) {
    const auto slash = path.find_last_of(kSeparators);
    if (slash == std::string::npos) {
        return {".", path};
    }
    const bool root = slash == 0 || (slash == 2 && path[1] == ':' && kSeparator == '\\');
    return {root ? path.substr(0, slash + 1) : path.substr(0, slash), path.substr(slash + 1)};
}

int openRegular(FileSystem& fs, const std::string& path, int flags, FileStatus& info) {
    if (fs.stat(path, info) != 0) {
        fail(FileStep::Open, path);
    }
    if (!S_ISREG(info.st_mode)) {
        fail(FileStep::NotRegular, path, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    }
    const int fd =
        retried([&] { return fs.open(path, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0); });
    if (fd < 0) {
        fail(FileStep::Open, path);
    }
    // A disk error is told as one; anything but a regular file, swapped in meanwhile, is not
    // read.
    if (fs.fstat(fd, info) != 0) {
        const int error = errno;
        fs.close(fd);
        fail(FileStep::Open, path, error);
    }
    if (!S_ISREG(info.st_mode)) {
        fs.close(fd);
        fail(FileStep::NotRegular, path, EINVAL);
    }
    return fd;
}

std::vector<std::uint8_t> readAt(FileSystem& fs, int fd, const std::string& path,
                                 std::uint64_t offset, std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n =
            fs.pread(fd, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(FileStep::Read, path);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

void writeAt(FileSystem& fs, int fd, const std::string& path, std::uint64_t offset,
             std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = fs.pwrite(fd, bytes.data() + done, bytes.size() - done,
                                    static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // A write that makes no progress would make none the next time either.
        if (n <= 0) {
            fail(FileStep::Write, path, n < 0 ? errno : ENOSPC);
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace plimbrook::file_io
