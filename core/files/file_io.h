#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/files/file_system.h"

// Helpers of the input and replacement files: not part of what the rest of the program sees.
namespace plimbrook::file_io {

[[noreturn]] inline void fail(FileStep step, const std::string& path, int errorNumber = errno) {
    throw FileError(step, path, errorNumber);
}

// Runs a seam call until it is not interrupted by a signal: a handler installed without
// SA_RESTART, or a file system such as FUSE or NFS, can make any of them fail with EINTR.
template <typename Call>
auto retried(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

// The name a user would give: "x" rather than "./x".
std::string joined(const std::string& folder, const std::string& name);

struct SplitPath {
    std::string folder;
    std::string name;  // empty where the path ends in a slash
};

SplitPath split(const std::string& path);

// Opens a path that must be a regular file. The stat comes first so that a FIFO or a device
// is never opened at all; O_NONBLOCK and the second check cover a swap in between.
int openRegular(FileSystem& fs, const std::string& path, int flags, FileStatus& info);

// Up to `size` bytes from `offset`; fewer only where the file ends.
std::vector<std::uint8_t> readAt(FileSystem& fs, int fd, const std::string& path,
                                 std::uint64_t offset, std::size_t size);
void writeAt(FileSystem& fs, int fd, const std::string& path, std::uint64_t offset,
             std::span<const std::uint8_t> bytes);

// Closes quietly whatever it still holds.
struct Descriptor {
    FileSystem& fs;
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) {
            fs.close(fd);
        }
    }
    int release() { return std::exchange(fd, -1); }
};

}  // namespace plimbrook::file_io
