#include "file_access.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

namespace plimbrook {

namespace {

class RealFileSystem final : public FileSystem {
public:
    int open(const std::string& path, int flags, mode_t mode) override {
        int fd;
        do {
            fd = ::open(path.c_str(), flags, mode);
        } while (fd < 0 && errno == EINTR);
        return fd;
    }
    int close(int fd) override { return ::close(fd); }
    int stat(const std::string& path, struct stat& info) override {
        return ::stat(path.c_str(), &info);
    }
    int lstat(const std::string& path, struct stat& info) override {
        return ::lstat(path.c_str(), &info);
    }
    int fstat(int fd, struct stat& info) override { return ::fstat(fd, &info); }
    ssize_t readlink(const std::string& path, std::string& target) override {
        std::vector<char> buffer(256);
        for (;;) {
            const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
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
    int fsync(int fd) override { return ::fsync(fd); }
    int fchmod(int fd, mode_t mode) override { return ::fchmod(fd, mode); }
    int fchown(int fd, uid_t owner, gid_t group) override { return ::fchown(fd, owner, group); }
    int rename(const std::string& from, const std::string& to) override {
        return ::rename(from.c_str(), to.c_str());
    }
    int unlink(const std::string& path) override { return ::unlink(path.c_str()); }
};

[[noreturn]] void fail(FileStep step, const std::string& path, int errorNumber = errno) {
    throw FileError(step, path, errorNumber);
}

// Opens a path that must be a regular file. The stat comes first so that a FIFO or a device
// is never opened at all; O_NONBLOCK and the second check cover a swap in between.
int openRegular(FileSystem& fs, const std::string& path, int flags, struct stat& info) {
    if (fs.stat(path, info) != 0) {
        fail(FileStep::Open, path);
    }
    if (!S_ISREG(info.st_mode)) {
        fail(FileStep::NotRegular, path, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    }
    const int fd = fs.open(path, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0);
    if (fd < 0) {
        fail(FileStep::Open, path);
    }
    if (fs.fstat(fd, info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        fs.close(fd);
        fail(FileStep::NotRegular, path, error ? error : EINVAL);
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
        if (n <= 0) {
            fail(FileStep::Write, path, n < 0 ? errno : ENOSPC);
        }
        done += static_cast<std::size_t>(n);
    }
}

// Follows symbolic links by hand, so that writing "through" a link replaces the file it names
// and leaves the link itself in place. A target that does not exist yet is a new file.
std::string resolveTarget(FileSystem& fs, const std::string& chosen, bool& exists,
                          struct stat& info) {
    namespace stdfs = std::filesystem;
    std::string path = chosen;
    for (int hops = 0; hops < 40; ++hops) {
        if (fs.lstat(path, info) != 0) {
            if (errno == ENOENT) {
                exists = false;
                return path;
            }
            fail(FileStep::Open, path);
        }
        if (S_ISREG(info.st_mode)) {
            exists = true;
            return path;
        }
        if (!S_ISLNK(info.st_mode)) {
            fail(FileStep::NotRegular, path, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        }
        std::string target;
        if (fs.readlink(path, target) < 0) {
            fail(FileStep::Resolve, path);
        }
        const stdfs::path link(path);
        path = stdfs::path(target).is_absolute() ? target : (link.parent_path() / target).string();
    }
    fail(FileStep::Resolve, chosen, ELOOP);
}

std::string randomSuffix() {
    static std::mt19937_64 generator{std::random_device{}()};
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    std::string suffix(8, 'x');
    for (char& c : suffix) {
        c = kAlphabet[pick(generator)];
    }
    return suffix;
}

void copyWhole(FileSystem& fs, int from, const std::string& fromPath, int to,
               const std::string& toPath) {
    constexpr std::size_t kChunk = 256 * 1024;
    std::uint64_t offset = 0;
    for (;;) {
        const auto chunk = readAt(fs, from, fromPath, offset, kChunk);
        if (chunk.empty()) {
            return;
        }
        writeAt(fs, to, toPath, offset, chunk);
        offset += chunk.size();
    }
}

// Temporaries not yet committed or discarded. A program ended by a signal, or by exit() as
// Qt's X11 plugin does when the display goes away, never unwinds to the destructors that would
// remove them; this list lets a handler do it. Fixed storage, as a signal handler may only
// read memory and call unlink.
constexpr int kPendingSlots = 8;
char pendingPaths[kPendingSlots][PATH_MAX];
volatile std::sig_atomic_t pendingUsed[kPendingSlots];

int rememberPending(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return -1;
    }
    for (int slot = 0; slot < kPendingSlots; ++slot) {
        if (!pendingUsed[slot]) {
            std::memcpy(pendingPaths[slot], path.c_str(), path.size() + 1);
            pendingUsed[slot] = 1;
            return slot;
        }
    }
    return -1;
}

void forgetPending(int slot) {
    if (slot >= 0) {
        pendingUsed[slot] = 0;
    }
}

void removePending() {
    for (int slot = 0; slot < kPendingSlots; ++slot) {
        if (pendingUsed[slot]) {
            ::unlink(pendingPaths[slot]);
            pendingUsed[slot] = 0;
        }
    }
}

extern "C" void removePendingAndDie(int signal) {
    removePending();
    // The handler was reset on entry; the signal raised again ends the program as it would have.
    ::raise(signal);
}

}  // namespace

const char* toString(FileStep step) {
    switch (step) {
        case FileStep::Open:
            return "open";
        case FileStep::NotRegular:
            return "not a regular file";
        case FileStep::Resolve:
            return "resolve link";
        case FileStep::Read:
            return "read";
        case FileStep::Write:
            return "write";
        case FileStep::Sync:
            return "sync";
        case FileStep::Rename:
            return "rename";
        case FileStep::Close:
            return "close";
    }
    return "?";
}

FileError::FileError(FileStep step, std::string path, int errorNumber)
    : std::runtime_error(path + ": " + toString(step) + ": " + std::strerror(errorNumber)),
      step_(step),
      path_(std::move(path)),
      errorNumber_(errorNumber) {}

FileSystem& realFileSystem() {
    static RealFileSystem fs;
    return fs;
}

void removeTemporariesOnTermination() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    std::atexit(removePending);
    for (const int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
        struct sigaction action {};
        if (::sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) {
            continue;  // a signal ignored on purpose, as under nohup, stays ignored
        }
        action = {};
        action.sa_handler = removePendingAndDie;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

// ---- InputFile

InputFile::InputFile(FileSystem& fs, std::string path, int fd)
    : fs_(fs), path_(std::move(path)), fd_(fd) {}

InputFile::~InputFile() {
    if (fd_ >= 0) {
        fs_.close(fd_);
    }
}

std::unique_ptr<InputFile> InputFile::open(FileSystem& fs, const std::string& path) {
    struct stat info {};
    const int fd = openRegular(fs, path, O_RDONLY, info);
    return std::unique_ptr<InputFile>(new InputFile(fs, path, fd));
}

std::vector<std::uint8_t> InputFile::read(std::uint64_t offset, std::size_t size) {
    return readAt(fs_, fd_, path_, offset, size);
}

std::uint64_t InputFile::size() {
    struct stat info {};
    if (fs_.fstat(fd_, info) != 0) {
        fail(FileStep::Read, path_);
    }
    return static_cast<std::uint64_t>(info.st_size);
}

void InputFile::close() {
    if (fd_ < 0) {
        return;
    }
    const int fd = fd_;
    fd_ = -1;
    if (fs_.close(fd) != 0) {
        fail(FileStep::Close, path_);
    }
}

// ---- ReplacementFile

ReplacementFile::ReplacementFile(FileSystem& fs, std::string target, std::string temporary, int fd)
    : fs_(fs),
      target_(std::move(target)),
      temporary_(std::move(temporary)),
      fd_(fd),
      pendingSlot_(rememberPending(temporary_)) {}

ReplacementFile::~ReplacementFile() {
    discard();
}

std::unique_ptr<ReplacementFile> ReplacementFile::open(FileSystem& fs, const std::string& path) {
    namespace stdfs = std::filesystem;
    bool exists = false;
    struct stat info {};
    const std::string target = resolveTarget(fs, path, exists, info);

    const stdfs::path targetPath(target);
    const std::string name = targetPath.filename().string();
    if (name.empty() || name == "." || name == "..") {
        fail(FileStep::NotRegular, path, EISDIR);
    }
    const stdfs::path folder = targetPath.has_parent_path() ? targetPath.parent_path() : ".";

    // Open the old file first: it must be a regular file we may write, and its bytes become
    // the starting contents of the new one.
    int old = -1;
    if (exists) {
        old = openRegular(fs, target, O_RDWR, info);
    }

    // A long name keeps its start only, so that the temporary name stays within NAME_MAX.
    const std::string stem = name.substr(0, 200);

    // A new file gets 0666 less the umask, as any other program's output. A replacement starts
    // private, since the old contents are copied in before the old mode is put on it.
    const mode_t mode = exists ? 0600 : 0666;
    int fd = -1;
    std::string temporary;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = (folder / ("." + stem + kTemporaryMarker + randomSuffix())).string();
        fd = fs.open(temporary, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        const int error = errno;
        if (old >= 0) {
            fs.close(old);
        }
        fail(FileStep::Open, temporary, error);
    }
    std::unique_ptr<ReplacementFile> replacement(new ReplacementFile(fs, target, temporary, fd));

    if (old >= 0) {
        try {
            copyWhole(fs, old, target, fd, temporary);
        } catch (...) {
            fs.close(old);
            throw;
        }
        if (fs.close(old) != 0) {
            fail(FileStep::Close, target);
        }
        if (fs.fchmod(fd, info.st_mode & 07777) != 0) {
            fail(FileStep::Write, temporary);
        }
        // Keep the old owner where we are allowed to; a user cannot give files away, and
        // that must not stop the save.
        if (info.st_uid != ::geteuid() || info.st_gid != ::getegid()) {
            fs.fchown(fd, info.st_uid, info.st_gid);
        }
    }
    return replacement;
}

void ReplacementFile::write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    writeAt(fs_, fd_, temporary_, offset, bytes);
}

void ReplacementFile::commit() {
    if (fs_.fsync(fd_) != 0) {
        fail(FileStep::Sync, temporary_);
    }
    const int fd = fd_;
    fd_ = -1;
    if (fs_.close(fd) != 0) {
        fail(FileStep::Close, temporary_);
    }
    if (fs_.rename(temporary_, target_) != 0) {
        fail(FileStep::Rename, target_);
    }
    committed_ = true;
    forgetPending(pendingSlot_);
    pendingSlot_ = -1;

    // The new file is complete and in place; syncing the folder only makes the rename itself
    // durable, so a failure here is not worth reporting as a lost save.
    const std::filesystem::path targetPath(target_);
    const std::string folder =
        targetPath.has_parent_path() ? targetPath.parent_path().string() : std::string(".");
    const int dir = fs_.open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dir >= 0) {
        fs_.fsync(dir);
        fs_.close(dir);
    }
}

void ReplacementFile::discard() noexcept {
    if (fd_ >= 0) {
        fs_.close(fd_);
        fd_ = -1;
    }
    if (!committed_ && !temporary_.empty()) {
        fs_.unlink(temporary_);
        temporary_.clear();
    }
    forgetPending(pendingSlot_);
    pendingSlot_ = -1;
}

}  // namespace plimbrook
